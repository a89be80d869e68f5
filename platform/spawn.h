// posix_spawn with the few settings the platform's process starters differ in.
#pragma once

#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <vector>

struct SpawnSettings {
    short flags = 0;           // POSIX_SPAWN_SETSID or POSIX_SPAWN_SETPGROUP (own group)
    bool search_path = true;   // look the program up in PATH
    int stdin_fd = -1;         // becomes the child's standard input
    int fd3 = -1;              // becomes the child's descriptor 3
    int stdout_fd = -1;        // becomes the child's standard output
    int stderr_fd = -1;        // becomes the child's standard error
    bool null_streams = false; // the standard streams not given above read and write /dev/null
};

// The child's process id, or -1 when argv is empty or it could not be started.
pid_t spawn_child(const std::vector<std::string>& argv, const SpawnSettings& settings);
