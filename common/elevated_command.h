// Running a program as root through pkexec (SATCLOCK_ELEVATE in tests): the
// installer's and the uninstaller's elevated copies.
#pragma once

#include <string>
#include <vector>

// The words that run a command as root: SATCLOCK_ELEVATE split on blanks, or pkexec.
std::vector<std::string> elevation_prefix();

// The command that runs argv as root: the elevation prefix, argv[0] itself
// (what the administrator is asked to approve), the words that carry this
// process's display, X authority and language (elevated_environment_words),
// then the rest of argv. Nothing else of the environment goes along.
std::vector<std::string> elevated_command(const std::vector<std::string>& argv);
