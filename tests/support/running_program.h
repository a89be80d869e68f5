// A real process of the machine that carries a given program name (a copy of
// sleep), for the checks that look at the machine's own process list.
#pragma once

#include "tests/support/test_env.h"

#include <string>
#include <sys/types.h>

class RunningProgram {
public:
    RunningProgram(const TestSandbox& sandbox, const std::string& name);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    // Whether the process runs and /proc shows it under its name.
    bool started() const { return started_; }

private:
    pid_t pid_ = -1;
    bool started_ = false;
};
