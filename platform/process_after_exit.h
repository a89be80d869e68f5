// Starting a process that does its work only after this process has ended.
#pragma once

#include <functional>
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

// Writes the script that text(its own path) gives into a fresh file only its
// owner can read, prefix + six characters in the temp folder ($TMPDIR, else
// /tmp), and starts /bin/sh on it as above. The shell reads the script through
// the descriptor it was written with, never by its name: whoever may rename
// entries in the temp folder cannot swap in another script. The file is
// removed again when the start fails. True when started.
bool process_start_script_after_exit(const std::string& prefix,
                                     const std::function<std::string(const std::string& path)>& text);
