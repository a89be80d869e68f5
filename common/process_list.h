// Finding running programs by the name of their executable file.
#pragma once

#include <string_view>

// Whether a process runs whose executable's base name equals name, compared
// without regard to case, with a ".exe" ending of either name ignored. The
// executable is read from /proc/<pid>/exe (a program replaced or deleted while
// running still counts); a process whose link this process may not read (an
// ordinary user looking at another user's process) is judged by its command
// name. False when the process list cannot be read.
// SATCLOCK_PROC_DIR, when set, is read instead of /proc (tests fill a folder
// with <pid>/exe links so that other programs running on the machine do not
// count).
bool is_process_running(std::string_view name);

// Whether the desktop program "satclock" is running.
bool is_program_running();
