// Paths of the named shell folders that the desktop program and the installer use.
#pragma once

#include <cstddef>

// Stores the path of the named folder in buffer (size bytes, NUL included) and
// returns 1. Names, compared case-sensitively:
//   "Common AppData"  -> $SATCLOCK_COMMON_APPDATA, else /var/lib
//   "Common Programs" -> $SATCLOCK_COMMON_PROGRAMS, else /usr/share/applications
//   "Common Desktop"  -> $SATCLOCK_COMMON_DESKTOP, else the XDG desktop folder of the
//                        user who started the program (PKEXEC_UID, SUDO_UID, else the
//                        calling user)
//   "Desktop", "AppData", "Local AppData", "Programs", "Startup", "Personal"
//                     -> the calling user's XDG folders
// When the name is unknown, the user cannot be found or the path does not fit,
// stores "/" (the root stands in for a missing folder) and returns 0.
int get_shell_folder(char* buffer, size_t size, const char* name);
