// Child processes through posix_spawn.
#include "platform/process.h"

#include "platform/deadline.h"
#include "platform/files.h"
#include "platform/spawn.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

// posix_spawnp with an optional descriptor to become the child's standard
// output; a bounded child leads a process group of its own, so that ending it
// ends what it started.
pid_t spawn(const std::vector<std::string>& argv, bool detached, int stdout_fd, bool own_group = false)
{
    SpawnSettings settings;
    settings.flags = detached ? POSIX_SPAWN_SETSID : own_group ? POSIX_SPAWN_SETPGROUP : 0;
    settings.stdout_fd = stdout_fd;
    return spawn_child(argv, settings);
}

constexpr size_t kMaxOutput = 64 * 1024;

// The child's exit status, or, once the deadline has passed, the status it
// has after it and its group were killed.
int wait_until_deadline(pid_t pid, int64_t deadline_ns)
{
    int status = process_wait(pid, platform_ms_left(deadline_ns));
    if (status != -2)
        return status;
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    return process_wait(pid);
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

bool process_running(pid_t pid)
{
    int status = process_wait(pid, 0);
    if (status == -2)
        return true;
    if (status >= 0)
        return false;
    // Not a child of ours: it is there while a signal could reach it.
    return kill(pid, 0) == 0 || errno == EPERM;
}

bool process_gone_within(pid_t pid, int timeout_ms)
{
    const int64_t deadline = platform_deadline_after_ms(timeout_ms);
    const timespec pause{0, 5 * kNsPerMs};
    while (process_running(pid)) {
        if (platform_ms_left(deadline) == 0)
            return false;
        nanosleep(&pause, nullptr);
    }
    return true;
}

int process_end_or_kill(pid_t pid, int grace_ms)
{
    if (process_gone_within(pid, grace_ms))
        return 1;
    if (kill(pid, SIGKILL) != 0)
        return 0;
    process_gone_within(pid, 1000);
    return 2;
}

int process_run_capture(const std::vector<std::string>& argv, std::string* out, int bound_ms)
{
    if (out)
        out->clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 127;
    int64_t deadline = platform_deadline_after_ms(bound_ms);
    pid_t pid = spawn(argv, false, fds[1], true);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return 127;
    }
    file_read_to_end(fds[0], out, deadline, kMaxOutput);
    close(fds[0]);
    return wait_until_deadline(pid, deadline);
}

int process_run(const std::vector<std::string>& argv, int bound_ms)
{
    int64_t deadline = platform_deadline_after_ms(bound_ms);
    pid_t pid = spawn(argv, false, -1, true);
    return pid < 0 ? 127 : wait_until_deadline(pid, deadline);
}

pid_t process_own_id() { return getpid(); }

std::string process_self_path()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    path[n] = '\0';
    return path;
}
