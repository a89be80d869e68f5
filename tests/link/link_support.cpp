// Pty, simulator and output-capture helpers of the receiver-link tests.
#include "tests/link/link_support.h"

#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

LinkedPty::LinkedPty(const TestSandbox& box, int port)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        return;
    slave_ = name;
    fcntl(master_, F_SETFL, O_NONBLOCK);
    symlink(name, box.path("ports/COM" + std::to_string(port)).c_str());
}

LinkedPty::~LinkedPty() { close_master(); }

void LinkedPty::close_master()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

bool LinkedPty::write_all(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd out {master_, POLLOUT, 0};
        if (poll(&out, 1, 2000) <= 0)
            return false;
    }
    return true;
}

std::string LinkedPty::read_for(int timeout_ms, size_t want)
{
    std::string text;
    struct timespec start {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    while (text.size() < want) {
        struct timespec now {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= timeout_ms)
            break;
        pollfd in {master_, POLLIN, 0};
        if (poll(&in, 1, int(timeout_ms - elapsed)) < 0)
            break;
        char bytes[4096];
        ssize_t n = read(master_, bytes, sizeof bytes);
        if (n > 0) {
            text.append(bytes, size_t(n));
            continue;
        }
        // EIO while no one has the slave open (not yet, or between two opens).
        struct timespec ms {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    return text;
}

std::string simulator_path() { return build_dir() + "/bin/satclock-gpssim"; }

SimProcess::SimProcess(const TestSandbox& box, int port, const std::vector<std::string>& options)
{
    link_ = box.path("ports/COM" + std::to_string(port));
    static int instances = 0;
    log_ = box.path("gpssim-" + std::to_string(port) + "-" + std::to_string(++instances) + ".log");
    std::vector<std::string> argv = {simulator_path(), "--port", std::to_string(port), "--port-dir",
                                     box.path("ports"), "--log", log_, "--replace"};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = spawn_test_child(argv);
}

SimProcess::~SimProcess() { stop(SIGKILL); }

bool SimProcess::wait_ready(int timeout_ms)
{
    return wait_until([&] {
        auto start = log_events("start");
        char target[256];
        ssize_t n = readlink(link_.c_str(), target, sizeof target - 1);
        return !start.empty() && n > 0 && json_field(start[0], "pty") == std::string(target, size_t(n));
    }, timeout_ms);
}

int SimProcess::stop(int signal_number)
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, signal_number);
    int status = process_wait(pid_, 5000);
    pid_ = -1;
    return status;
}

std::vector<std::string> SimProcess::log_events(const std::string& event) const
{
    std::vector<std::string> lines;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line))
        if (event.empty() || json_field(line, "event") == event)
            lines.push_back(line);
    return lines;
}

bool SimProcess::wait_events(const std::string& event, size_t count, int timeout_ms)
{
    return wait_until([&] { return log_events(event).size() >= count; }, timeout_ms);
}

std::string json_field(const std::string& line, const std::string& name)
{
    std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    if (line[at] != '"') {
        size_t end = line.find_first_of(",}", at);
        return line.substr(at, end - at);
    }
    std::string value;
    for (size_t i = at + 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        value += line[i];
    }
    return value;
}

int64_t json_int(const std::string& line, const std::string& name)
{
    return std::strtoll(json_field(line, name).c_str(), nullptr, 10);
}

StdoutCapture::StdoutCapture(const TestSandbox& box)
{
    std::fflush(stdout);
    path_ = box.path("stdout.XXXXXX");
    int fd = mkstemp(path_.data());
    saved_ = dup(1);
    dup2(fd, 1);
    close(fd);
}

StdoutCapture::~StdoutCapture()
{
    std::string captured = text();
    dup2(saved_, 1);
    close(saved_);
    unlink(path_.c_str());
    // GoogleTest writes its failure messages to standard output too.
    if (::testing::Test::HasFailure())
        std::fprintf(stderr, "--- captured standard output ---\n%s", captured.c_str());
}

std::string StdoutCapture::text() const
{
    std::fflush(stdout);
    std::ifstream in(path_);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}
