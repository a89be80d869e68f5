// Running a copy of satsetup as root through pkexec (SATCLOCK_ELEVATE in
// tests), and handing the program to launch back to the first copy.
#pragma once

#include "common/elevated_command.h"

#include <string>
#include <vector>

enum class ElevatedRun {
    failed,    // not started, or no authority: go on without elevation
    declined,  // the user dismissed the prompt
    finished,  // the elevated copy ran to its end; this copy is done
};

// The wizard's Next on the Welcome page: a hand-over file, then
// "admin_20<language> <hand-over file>" as root; waits for it, and when it
// exits with 3 starts the program named in the hand-over file.
ElevatedRun run_elevated_wizard(int language);

// The unattended mode: the same arguments and "--handover FILE" as root;
// waits; after a success starts the program named in the hand-over file, if
// any. *exit_code gets the elevated copy's exit code.
ElevatedRun run_elevated_unattended(const std::vector<std::string>& args, int* exit_code);
