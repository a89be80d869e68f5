// Running the uninstaller again with administrator rights (pkexec).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// pkexec's exit codes: the user dismissed the prompt; not authorized, or no
// authority to ask.
inline constexpr int kElevationDeclined = 126;
inline constexpr int kElevationRefused = 127;

// Starts program with args as root through elevated_command, without
// waiting. The pid, or -1.
pid_t start_elevated_copy(const std::string& program, const std::vector<std::string>& args);

// The exit code in a wait status; 128 + the signal number for a killed copy.
int elevation_exit_code(int wait_status);
