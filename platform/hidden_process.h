// Children started without a window of their own: standard input, output and
// error on /dev/null; and ending such a child.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Start argv[0] (a path, or searched on PATH) with /dev/null as its standard
// input, output and error, in a process group of its own so that ending it ends its
// children too. The pid, or -1 when it could not be started.
pid_t process_spawn_hidden(const std::vector<std::string>& argv);

// End a child started so, and its process group, at once (SIGKILL).
void process_end(pid_t pid);
