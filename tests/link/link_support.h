// Helpers for the receiver-link tests: ptys linked into the sandbox's port
// folder, the simulated receiver as a child process, captured standard output.
#pragma once

#include "tests/support/test_env.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <time.h>
#include <vector>

// A raw pty whose slave is linked as COM<port> in the sandbox's port folder.
// The test writes to and reads from master().
class LinkedPty {
public:
    LinkedPty(const TestSandbox& box, int port);
    ~LinkedPty();
    int master() const { return master_; }
    const std::string& slave() const { return slave_; }
    bool write_all(const std::string& bytes);
    // Reads what arrives within timeout_ms, until at least want bytes came.
    std::string read_for(int timeout_ms, size_t want = SIZE_MAX);
    void close_master();

private:
    int master_ = -1;
    std::string slave_;
};

// satclock-gpssim from the build tree, logging into the sandbox.
class SimProcess {
public:
    SimProcess(const TestSandbox& box, int port, const std::vector<std::string>& options = {});
    ~SimProcess();
    // Waits until the COM link exists; false if the simulator ended first.
    bool wait_ready(int timeout_ms = 5000);
    // Signals it and collects its exit status.
    int stop(int signal_number = 15);
    const std::string& link() const { return link_; }
    // Log lines whose "event" is the given one (all when empty).
    std::vector<std::string> log_events(const std::string& event = "") const;
    // Waits until the log holds count events of that kind.
    bool wait_events(const std::string& event, size_t count, int timeout_ms);

private:
    pid_t pid_ = -1;
    std::string link_;
    std::string log_;
};

std::string simulator_path();

// The raw text of a field of a one-line JSON object ("" when missing);
// strings come back without their quotes and escapes undone for \" and \\.
std::string json_field(const std::string& line, const std::string& name);
int64_t json_int(const std::string& line, const std::string& name);

// Redirects file descriptor 1 into a file of the sandbox for the life of the object.
class StdoutCapture {
public:
    explicit StdoutCapture(const TestSandbox& box);
    ~StdoutCapture();
    std::string text() const;

private:
    int saved_ = -1;
    std::string path_;
};
