// Hidden children through posix_spawn.
#include "platform/hidden_process.h"

#include "platform/process.h"
#include "platform/spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

pid_t process_spawn_hidden(const std::vector<std::string>& argv, int stderr_fd)
{
    SpawnSettings settings;
    settings.stderr_fd = stderr_fd;
    settings.flags = POSIX_SPAWN_SETPGROUP;
    settings.null_streams = true;
    return spawn_child(argv, settings);
}

int process_run_hidden(const std::vector<std::string>& argv, std::atomic<pid_t>* running, std::string* errors)
{
    int fds[2] = {-1, -1};
    if (errors && pipe2(fds, O_CLOEXEC) != 0)
        return 127;
    pid_t pid = process_spawn_hidden(argv, fds[1]);
    if (fds[1] >= 0)
        close(fds[1]);
    if (pid < 0) {
        if (fds[0] >= 0)
            close(fds[0]);
        return 127;
    }
    running->store(pid);
    char chunk[4096];
    for (ssize_t n; fds[0] >= 0 && ((n = read(fds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0 && errors->size() < 65536)
            errors->append(chunk, size_t(n));
    if (fds[0] >= 0)
        close(fds[0]);
    int status = process_wait(pid);
    running->store(-1);
    return status;
}

void process_end(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
}
