// The elevated rerun through pkexec or its stand-in.
#include "uninstall/elevation.h"

#include "common/elevated_command.h"
#include "platform/process.h"

#include <sys/wait.h>

pid_t start_elevated_copy(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return process_spawn(elevated_command(argv));
}

int elevation_exit_code(int wait_status)
{
    if (WIFEXITED(wait_status))
        return WEXITSTATUS(wait_status);
    return WIFSIGNALED(wait_status) ? 128 + WTERMSIG(wait_status) : -1;
}
