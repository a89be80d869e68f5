// Hidden children through posix_spawn.
#include "platform/hidden_process.h"

#include "platform/spawn.h"

#include <csignal>

pid_t process_spawn_hidden(const std::vector<std::string>& argv)
{
    SpawnSettings settings;
    settings.flags = POSIX_SPAWN_SETPGROUP;
    settings.null_streams = true;
    return spawn_child(argv, settings);
}

void process_end(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
}
