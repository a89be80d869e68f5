// A detached idle-priority child that waits on a pipe for our exit.
#include "platform/process_after_exit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <unistd.h>

extern char** environ;

namespace {

// Write ends handed out; they close only when the process ends.
std::vector<int> held_write_ends;

pid_t spawn_with_stdin(const std::vector<std::string>& argv, int stdin_fd, int fd3)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdin_fd, STDIN_FILENO);
    if (fd3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc == 0 ? pid : -1;
}

}  // namespace

pid_t process_spawn_after_exit(const std::vector<std::string>& argv, int fd3)
{
    if (argv.empty())
        return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    // dup2 in the child clears the close-on-exec flag of the copies it makes.
    pid_t pid = spawn_with_stdin(argv, fds[0], fd3);
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        return -1;
    }
    // The child blocks on its standard input until we end, so lowering its
    // priority now, after the start, is in time for all of its work.
    setpriority(PRIO_PROCESS, id_t(pid), 19);
    held_write_ends.push_back(fds[1]);
    return pid;
}
