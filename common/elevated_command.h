// Running a program as root through pkexec (SATCLOCK_ELEVATE in tests): the
// installer's and the uninstaller's elevated copies.
#pragma once

#include <string>
#include <vector>

// The words that run a command as root: SATCLOCK_ELEVATE split on blanks, or pkexec.
std::vector<std::string> elevation_prefix();

// The command that runs argv as root: the elevation prefix, then env with the
// display, the language and the SATCLOCK_ variables of this process (pkexec
// clears the environment), then argv.
std::vector<std::string> elevated_command(const std::vector<std::string>& argv);
