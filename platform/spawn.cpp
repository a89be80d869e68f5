#include "platform/spawn.h"

#include <fcntl.h>
#include <unistd.h>

extern char** environ;

pid_t spawn_child(const std::vector<std::string>& argv, const SpawnSettings& settings)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (settings.flags != 0)
        posix_spawnattr_setflags(&attr, settings.flags);
    if (settings.flags & POSIX_SPAWN_SETPGROUP)
        posix_spawnattr_setpgroup(&attr, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (settings.stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, settings.stdin_fd, STDIN_FILENO);
    else if (settings.null_streams)
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (settings.fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, settings.fd3, 3);
    if (settings.stdout_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, settings.stdout_fd, STDOUT_FILENO);
    else if (settings.null_streams)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (settings.stderr_fd >= 0)
        posix_spawn_file_actions_adddup2(&actions, settings.stderr_fd, STDERR_FILENO);
    else if (settings.null_streams)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = settings.search_path ? posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                                  : posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}
