// Starting, waiting for and ending child processes (posix_spawn).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Start argv[0] (searched on PATH when it has no slash). A detached child runs
// in a session of its own, so it outlives the caller's terminal. Returns the
// pid, or -1 when it could not be started.
pid_t process_spawn(const std::vector<std::string>& argv, bool detached = false);

// Wait at most timeout_ms (-1: for ever) for the child to end. Returns its exit
// status (128 + signal number when killed), -1 on error, -2 when still running.
int process_wait(pid_t pid, int timeout_ms = -1);

// Run to the end and give the exit status; 127 when it could not be started.
int process_run(const std::vector<std::string>& argv);

// Run argv with its standard output in *out (at most 64 KiB kept); its
// standard error stays ours. Exit status as process_run.
int process_run_capture(const std::vector<std::string>& argv, std::string* out);

// The absolute path of the running program (/proc/self/exe).
std::string process_self_path();
