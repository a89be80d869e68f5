// A lock file held with flock for the life of the process: one holder at a time.
#pragma once

#include <string>

enum class LockTake { held, busy, cannot_open, cannot_lock };

// Opens (creating with mode 0600, never through a link) and locks the file at
// path without waiting. held: its descriptor is in *fd, to be kept open for
// the life of the process; busy: another process holds it; cannot_open and
// cannot_lock with errno set.
LockTake lock_file_take(const std::string& path, int* fd);
