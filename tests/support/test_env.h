// Per-test sandbox: a temp folder, a sandbox clock file, a channel folder and
// prefix and the folder seams, all unique to one test so parallel runs never
// meet and nothing touches the machine's own clock, channel or settings.
#pragma once

#include <functional>
#include <string>

class TestSandbox {
public:
    TestSandbox();
    ~TestSandbox();
    TestSandbox(const TestSandbox&) = delete;
    TestSandbox& operator=(const TestSandbox&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& clock_file() const { return clock_file_; }
    const std::string& channel_prefix() const { return prefix_; }

private:
    std::string dir_;
    std::string clock_file_;
    std::string prefix_;
};

// Folder of the built programs (bin/) and of the sources, from the test's environment.
std::string build_dir();
std::string source_dir();

// Polls done() until it holds or timeout_ms of the monotonic clock have
// passed; returns whether it came to hold. Every caller checks the result.
[[nodiscard]] bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);
