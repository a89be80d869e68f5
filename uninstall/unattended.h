// The removal without a window or display: uninstall --unattended.
#pragma once

#include <string>

// Exit codes of the unattended removal and of the command line.
inline constexpr int kExitRemoved = 0;     // everything listed is gone
inline constexpr int kExitIncomplete = 1;  // something listed stayed, or nothing could be done
inline constexpr int kExitUsage = 2;

// Removes the installation of the uninstaller at program as the window's Next
// does, rerunning itself elevated first unless it is an administrator or
// already the elevated copy. A running Satclock fails it at once. The result
// text goes to standard output; the reasons, and each listed file that stayed,
// to standard error.
int run_unattended_uninstall(const std::string& program, bool elevated);
