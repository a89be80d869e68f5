// Child processes through posix_spawn.
#include "platform/process.h"

#include "platform/spawn.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// posix_spawnp with an optional descriptor to become the child's standard output.
pid_t spawn(const std::vector<std::string>& argv, bool detached, int stdout_fd)
{
    SpawnSettings settings;
    settings.flags = detached ? POSIX_SPAWN_SETSID : 0;
    settings.stdout_fd = stdout_fd;
    return spawn_child(argv, settings);
}

constexpr size_t kMaxOutput = 64 * 1024;

void read_all(int fd, std::string* out)
{
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        if (out && out->size() < kMaxOutput)
            out->append(chunk, size_t(n));
    }
}

}  // namespace

pid_t process_spawn(const std::vector<std::string>& argv, bool detached)
{
    return spawn(argv, detached, -1);
}

namespace {

int decode_status(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

int process_wait(pid_t pid, int timeout_ms)
{
    const timespec pause{0, 5 * 1000 * 1000};
    for (int waited = 0;; waited += 5) {
        int status = 0;
        pid_t done = waitpid(pid, &status, timeout_ms < 0 ? 0 : WNOHANG);
        if (done == pid)
            return decode_status(status);
        if (done < 0 && errno != EINTR)
            return -1;
        if (timeout_ms >= 0 && waited >= timeout_ms)
            return -2;
        if (done == 0)
            nanosleep(&pause, nullptr);
    }
}

int process_run_capture(const std::vector<std::string>& argv, std::string* out)
{
    if (out)
        out->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 127;
    pid_t pid = spawn(argv, false, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return 127;
    }
    read_all(fds[0], out);
    close(fds[0]);
    return process_wait(pid);
}

int process_run(const std::vector<std::string>& argv)
{
    pid_t pid = process_spawn(argv);
    return pid < 0 ? 127 : process_wait(pid);
}

std::string process_self_path()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    path[n] = '\0';
    return path;
}
