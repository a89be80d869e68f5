// Child processes with their standard output read through a pipe.
#include "platform/process_capture.h"

#include "platform/process.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr size_t kMaxOutput = 64 * 1024;

pid_t spawn_with_stdout(const std::vector<std::string>& argv, int write_end)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, write_end, STDOUT_FILENO);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

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

int process_run_capture(const std::vector<std::string>& argv, std::string* out)
{
    if (out)
        out->clear();
    if (argv.empty())
        return 127;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 127;
    pid_t pid = spawn_with_stdout(argv, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return 127;
    }
    read_all(fds[0], out);
    close(fds[0]);
    return process_wait(pid);
}
