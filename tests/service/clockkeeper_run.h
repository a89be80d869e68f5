// Running the real clockkeeper program from tests, with its output in files.
#pragma once

#include "tests/support/test_env.h"

#include <string>
#include <sys/types.h>
#include <vector>

std::string clockkeeper_path();
// A file under tests/service/ of the source tree (the stubs).
std::string service_test_file(const std::string& name);

// A clockkeeper process started with the sandbox's environment; standard
// output and error go to <sandbox>/<name>.out and .err.
class ClockkeeperRun {
public:
    // `prefix` runs before the program (for instance setpriv to drop root);
    // `program` replaces the built program (a copy of it elsewhere).
    ClockkeeperRun(const TestSandbox& sandbox, const std::string& name, const std::vector<std::string>& args,
                   const std::vector<std::string>& prefix = {}, const std::string& program = {});
    ~ClockkeeperRun();

    pid_t pid() const { return pid_; }
    // Exit status, -2 when still running after timeout_ms.
    int wait(int timeout_ms = 30000);
    void signal(int signo) const;
    std::string out() const;
    std::string err() const;
    // Wait until standard error holds `text` `count` times; false after timeout_ms.
    bool wait_for_err(const std::string& text, int count = 1, int timeout_ms = 10000) const;

private:
    std::string out_path_;
    std::string err_path_;
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// How often `text` occurs in `haystack`.
int count_of(const std::string& haystack, const std::string& text);
std::string read_file(const std::string& path);

// How far the sandbox clock was moved since the sandbox was made, in milliseconds.
double clock_moved_ms(const TestSandbox& sandbox);

void sleep_ms(int ms);
