// Children started without a window of their own: standard input, output and
// error on /dev/null; and ending such a child.
#pragma once

#include <atomic>
#include <string>
#include <sys/types.h>
#include <vector>

// Start argv[0] (a path, or searched on PATH) with /dev/null as its standard
// input, output and error (or stderr_fd as its standard error), in a process
// group of its own so that ending it ends its children too. The pid, or -1
// when it could not be started.
pid_t process_spawn_hidden(const std::vector<std::string>& argv, int stderr_fd = -1);

// Runs argv hidden to its end; its standard error is kept in *errors (at most
// 64 KiB) when errors is given. *running holds the child's pid meanwhile
// (-1 before and after), so that another thread can end it. The exit status,
// 128 + signal when it was killed, 127 when it could not be started.
int process_run_hidden(const std::vector<std::string>& argv, std::atomic<pid_t>* running,
                       std::string* errors = nullptr);

// End a child started so, and its process group, at once (SIGKILL).
void process_end(pid_t pid);
