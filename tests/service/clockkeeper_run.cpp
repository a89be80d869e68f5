// Spawning clockkeeper for tests and reading what it wrote.
#include "tests/service/clockkeeper_run.h"

#include "platform/clock.h"
#include "platform/process.h"

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

std::string clockkeeper_path() { return build_dir() + "/bin/clockkeeper"; }

std::string service_test_file(const std::string& name)
{
    return source_dir() + "/tests/service/" + name;
}

ClockkeeperRun::ClockkeeperRun(const TestSandbox& sandbox, const std::string& name,
                               const std::vector<std::string>& args, const std::vector<std::string>& prefix,
                               const std::string& program)
    : out_path_(sandbox.path(name + ".out")), err_path_(sandbox.path(name + ".err"))
{
    // The shell opens the two files, then becomes the program (or the prefix).
    std::vector<std::string> argv = {"sh", "-c", "exec \"$@\" >\"$0.out\" 2>\"$0.err\"", sandbox.path(name)};
    argv.insert(argv.end(), prefix.begin(), prefix.end());
    argv.push_back(program.empty() ? clockkeeper_path() : program);
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = process_spawn(argv);
}

ClockkeeperRun::~ClockkeeperRun()
{
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        process_wait(pid_, 5000);
    }
    // In the sanitizer builds the program reports its own races and leaks here.
    EXPECT_EQ(count_of(err(), "Sanitizer"), 0) << err();
}

int ClockkeeperRun::wait(int timeout_ms)
{
    int status = process_wait(pid_, timeout_ms);
    if (status != -2)
        reaped_ = true;
    return status;
}

void ClockkeeperRun::signal(int signo) const { kill(pid_, signo); }

std::string ClockkeeperRun::out() const { return read_file(out_path_); }
std::string ClockkeeperRun::err() const { return read_file(err_path_); }

bool ClockkeeperRun::wait_for_err(const std::string& text, int count, int timeout_ms) const
{
    for (int waited = 0; waited <= timeout_ms; waited += 5) {
        if (count_of(err(), text) >= count)
            return true;
        sleep_ms(5);
    }
    return false;
}

int count_of(const std::string& haystack, const std::string& text)
{
    int count = 0;
    for (size_t at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + text.size()))
        ++count;
    return count;
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

double clock_moved_ms(const TestSandbox& sandbox)
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    int64_t real = int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    return double(platform_clock_read_ns() - real - sandbox.clock_start_offset_ns()) / 1e6;
}

void sleep_ms(int ms)
{
    timespec pause{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
}
