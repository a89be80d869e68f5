// Starting a process that does its work only after this process has ended.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Starts argv detached (a session of its own), at the lowest CPU priority
// (nice 19), with standard output and error on /dev/null and standard input
// the read end of a pipe whose only write end stays in this process, closed on
// exec: the child reads end-of-file once this process has ended, however it
// ends. A file descriptor given as fd3 becomes the child's descriptor 3 (the
// caller keeps its own). Returns the pid, or -1 when it could not be started.
pid_t process_spawn_after_exit(const std::vector<std::string>& argv, int fd3 = -1);
