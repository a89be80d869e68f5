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

// Whether the process runs: a child of ours that has ended is reaped here (so
// it leaves no zombie) and counts as gone.
bool process_running(pid_t pid);

// Waits at most timeout_ms for the process to be gone; true when it is.
bool process_gone_within(pid_t pid, int timeout_ms);

// Gives the process grace_ms to end by itself, then kills it (SIGKILL) and
// waits up to 1 s for it to be gone. 1: it ended; 2: it was killed; 0: it
// could not be killed.
int process_end_or_kill(pid_t pid, int grace_ms);

// How long a run below may take: a question to systemctl and the like
// answers within milliseconds, and one that hangs must not hang its caller.
inline constexpr int process_bound_ms = 5000;

// Run to the end and give the exit status; 127 when it could not be started.
// The child runs in a process group of its own; past bound_ms it and its
// group are killed (status 128 + SIGKILL).
int process_run(const std::vector<std::string>& argv, int bound_ms = process_bound_ms);

// Run argv with its standard output in *out (at most 64 KiB kept, what came
// before the bound when it was killed); its standard error stays ours. Exit
// status and bound as process_run.
int process_run_capture(const std::vector<std::string>& argv, std::string* out, int bound_ms = process_bound_ms);

// This process's id.
pid_t process_own_id();

// The absolute path of the running program (/proc/self/exe).
std::string process_self_path();
