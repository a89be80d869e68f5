// Per-test sandbox folders and environment seams.
#include "tests/support/test_env.h"

#include "platform/process.h"
#include "tests/support/clock_start.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

std::string env_or(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return (value && *value) ? value : fallback;
}

// Whole content of a file; empty when it does not exist.
std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TestSandbox::TestSandbox()
{
    std::string tmpl = env_or("TMPDIR", "/tmp") + "/satclock-test.XXXXXX";
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
    clock_file_ = path("clock");
    start_offset_ns_ = start_sandbox_clock(clock_file_);
    start_text_ = file_text(clock_file_);
    prefix_ = "sctest" + std::to_string(getpid()) + "_" + dir_.substr(dir_.size() - 6) + "_";
    for (const char* sub : {"ports", "appdata", "programs", "desktop", "systemd", "config", "bin", "tmp", "channel"})
        std::filesystem::create_directory(path(sub));
    setenv("SATCLOCK_CLOCK_FILE", clock_file_.c_str(), 1);
    setenv("SATCLOCK_CHANNEL_PREFIX", prefix_.c_str(), 1);
    setenv("SATCLOCK_CHANNEL_DIR", path("channel").c_str(), 1);
    setenv("SATCLOCK_PORT_DIR", path("ports").c_str(), 1);
    setenv("SATCLOCK_COMMON_APPDATA", path("appdata").c_str(), 1);
    setenv("SATCLOCK_COMMON_PROGRAMS", path("programs").c_str(), 1);
    setenv("SATCLOCK_COMMON_DESKTOP", path("desktop").c_str(), 1);
    setenv("SATCLOCK_SYSTEMD_DIR", path("systemd").c_str(), 1);
    setenv("SATCLOCK_BIN_LINK_DIR", path("bin").c_str(), 1);
    setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
    setenv("SATCLOCK_CHRONY_SOCKET", path("chrony.sock").c_str(), 1);  // never the machine's chronyd
}

bool TestSandbox::clock_was_set() const
{
    return file_text(clock_file_) != start_text_;
}

TestSandbox::~TestSandbox()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string build_dir() { return env_or("SATCLOCK_BUILD_DIR", "."); }
std::string source_dir() { return env_or("SATCLOCK_SOURCE_DIR", "."); }

pid_t spawn_test_child(const std::vector<std::string>& argv)
{
    std::vector<std::string> tied = {"setpriv", "--pdeathsig", "KILL", "--"};
    tied.insert(tied.end(), argv.begin(), argv.end());
    return argv.empty() ? -1 : process_spawn(tied);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
