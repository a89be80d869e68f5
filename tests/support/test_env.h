// Per-test sandbox: a temp folder, a sandbox clock file, a channel folder and
// prefix and the folder seams, all unique to one test so parallel runs never
// meet and nothing touches the machine's own clock, channel or settings. The
// sandbox clock starts at SATCLOCK_TEST_CLOCK_START when that is set
// (tests/support/clock_start.h), else at the machine's time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

class TestSandbox {
public:
    TestSandbox();
    ~TestSandbox();
    TestSandbox(const TestSandbox&) = delete;
    TestSandbox& operator=(const TestSandbox&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    const std::string& clock_file() const { return clock_file_; }
    // The sandbox clock's offset from real time when it was made (ns).
    int64_t clock_start_offset_ns() const { return start_offset_ns_; }
    // Whether anything set the sandbox clock since it was made.
    bool clock_was_set() const;
    const std::string& channel_prefix() const { return prefix_; }

private:
    std::string dir_;
    std::string clock_file_;
    std::string prefix_;
    int64_t start_offset_ns_ = 0;
    std::string start_text_;  // the clock file's text when made
};

// How long a test lets a child of its own run (a build of locales, an
// installation, a benchmark's smoke run) before process_run kills it: far
// more than any takes on a loaded machine. The product's own bound is 5 s.
inline constexpr int kTestChildBoundMs = 150000;

// Folder of the built programs (bin/) and of the sources, from the test's environment.
std::string build_dir();
std::string source_dir();

// Starts a program (searched in PATH) as a child that the kernel kills when
// the test process ends, however it ends (setpriv's parent-death signal): a
// crash or the runner's kill leaves no helper behind on the display or
// holding the runner's output pipe. Returns its pid, or -1.
pid_t spawn_test_child(const std::vector<std::string>& argv);

// Polls done() until it holds or timeout_ms of the monotonic clock have
// passed; returns whether it came to hold. Every caller checks the result.
[[nodiscard]] bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);
