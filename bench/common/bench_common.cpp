// The benchmarks' shared pieces.
#include "bench/common/bench_common.h"

#include "common/smem.h"
#include "platform/env.h"
#include "platform/process.h"
#include "platform/time_units.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

int bench_count_arg(int argc, char** argv, int fallback)
{
    int count = argc > 1 ? std::atoi(argv[1]) : fallback;
    return count > 0 ? count : fallback;
}

std::string bench_temp_folder(const std::string& name, const std::string& base)
{
    std::string dir = base.empty() ? env_value("TMPDIR") : base;
    std::string folder = (dir.empty() ? std::string("/tmp") : dir) + "/" + name + ".XXXXXX";
    return mkdtemp(folder.data()) ? folder : std::string();
}

void bench_sandbox_environment(const std::string& dir, const std::string& channel_prefix)
{
    for (const char* sub : {"ports", "appdata"})
        std::filesystem::create_directories(dir + "/" + sub);
    setenv("SATCLOCK_CLOCK_FILE", (dir + "/clock").c_str(), 1);
    setenv("SATCLOCK_CHANNEL_PREFIX", channel_prefix.c_str(), 1);
    setenv("SATCLOCK_CHANNEL_DIR", (dir + "/channel").c_str(), 1);
    setenv("SATCLOCK_PORT_DIR", (dir + "/ports").c_str(), 1);
    setenv("SATCLOCK_COMMON_APPDATA", (dir + "/appdata").c_str(), 1);
}

std::string bench_sandbox(const char* program, const std::string& name, const std::string& channel_prefix,
                          const std::string& base)
{
    std::string dir = bench_temp_folder(name, base);
    if (dir.empty())
        std::perror((std::string(program) + ": mkdtemp").c_str());
    else
        bench_sandbox_environment(dir, channel_prefix);
    return dir;
}

std::string bench_bin_dir() { return std::filesystem::path(process_self_path()).parent_path().string(); }

bool bench_wait_until(int timeout_ms, const std::function<bool()>& done)
{
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

bool bench_wait_for_service(int timeout_ms)
{
    return bench_wait_until(timeout_ms, [] { return smem_peer_present() == 1; });
}

void bench_stop_child(pid_t pid, int signal, int timeout_ms)
{
    if (pid > 0 && process_running(pid) && kill(pid, signal) == 0)
        process_end_or_kill(pid, timeout_ms);
}

double percentile_ms(std::vector<int64_t> values_ns, double p)
{
    if (values_ns.empty())
        return 0;
    std::sort(values_ns.begin(), values_ns.end());
    size_t rank = std::clamp<size_t>(size_t(p * double(values_ns.size()) + 0.999999), 1, values_ns.size());
    return double(values_ns[rank - 1]) / double(kNsPerMs);
}

BenchFigures figures_ms(const std::vector<int64_t>& values_ns)
{
    return {percentile_ms(values_ns, 0.5), percentile_ms(values_ns, 0.99), percentile_ms(values_ns, 1.0)};
}
