// pkexec and the hand-over file.
#include "satsetup/elevation.h"

#include "platform/files.h"
#include "platform/process.h"

#include <cstdio>

namespace {

// At most 260 bytes: the path of the program to start.
std::string read_handover(const std::string& path)
{
    std::string text;
    file_read_whole(path, &text);
    return text.substr(0, 260);
}

ElevatedRun outcome(int status)
{
    // pkexec: 126 the user dismissed the prompt, 127 not authorized or no authority.
    if (status == 126)
        return ElevatedRun::declined;
    if (status < 0 || status == 127)
        return ElevatedRun::failed;
    return ElevatedRun::finished;
}

}  // namespace

ElevatedRun run_elevated_wizard(int language)
{
    std::string self = process_self_path();
    std::string handover = file_create_temp("hndov");
    if (self.empty() || handover.empty())
        return ElevatedRun::failed;
    char parameter[32];
    std::snprintf(parameter, sizeof parameter, "admin_20%d", language);
    pid_t pid = process_spawn(elevated_command({self, parameter, handover}));
    int status = pid < 0 ? -1 : process_wait(pid);
    ElevatedRun run = outcome(status);
    if (run == ElevatedRun::finished && status == 3) {
        std::string program = read_handover(handover);
        if (!program.empty())
            process_spawn({program}, true);
    }
    file_remove(handover);
    return run;
}

ElevatedRun run_elevated_unattended(const std::vector<std::string>& args, int* exit_code)
{
    std::string self = process_self_path();
    std::string handover = file_create_temp("hndov");
    if (self.empty() || handover.empty())
        return ElevatedRun::failed;
    std::vector<std::string> argv = {self};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("--handover");
    argv.push_back(handover);
    pid_t pid = process_spawn(elevated_command(argv));
    int status = pid < 0 ? -1 : process_wait(pid);
    ElevatedRun run = outcome(status);
    if (run == ElevatedRun::finished) {
        *exit_code = status;
        std::string program = read_handover(handover);
        if (status == 0 && !program.empty())
            process_spawn({program}, true);
    }
    file_remove(handover);
    return run;
}
