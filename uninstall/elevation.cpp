// The elevated rerun through pkexec or its stand-in.
#include "uninstall/elevation.h"

#include "platform/process.h"

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>

pid_t start_elevated_copy(const std::string& program, const std::vector<std::string>& args)
{
    const char* command = std::getenv("SATCLOCK_ELEVATE");
    std::istringstream words((command && *command) ? command : "pkexec");
    std::vector<std::string> argv;
    for (std::string word; words >> word;)
        argv.push_back(word);
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return process_spawn(argv);
}

int elevation_exit_code(int wait_status)
{
    if (WIFEXITED(wait_status))
        return WEXITSTATUS(wait_status);
    return WIFSIGNALED(wait_status) ? 128 + WTERMSIG(wait_status) : -1;
}
