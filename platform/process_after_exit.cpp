// A detached idle-priority child that waits on a pipe for our exit.
#include "platform/process_after_exit.h"

#include "platform/spawn.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Write ends handed out; they close only when the process ends.
std::vector<int> held_write_ends;

pid_t spawn_with_stdin(const std::vector<std::string>& argv, int stdin_fd, int fd3)
{
    SpawnSettings settings;
    settings.flags = POSIX_SPAWN_SETSID;
    settings.search_path = false;
    settings.stdin_fd = stdin_fd;
    settings.fd3 = fd3;
    settings.null_streams = true;
    return spawn_child(argv, settings);
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

bool process_start_script_after_exit(const std::string& prefix,
                                     const std::function<std::string(const std::string& path)>& text)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string((dir && *dir) ? dir : "/tmp") + "/" + prefix + "XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string script = text(path);
    bool started = write(fd, script.data(), script.size()) == ssize_t(script.size()) &&
                   process_spawn_after_exit({"/bin/sh", "/dev/fd/3"}, fd) > 0;
    close(fd);
    if (!started)
        unlink(path.c_str());
    return started;
}
