// One running copy per user: a lock file held with flock, and a Unix socket
// beside it through which a second copy asks the first to show its window.
#pragma once

#include <string>

// The folder of the marker: $XDG_RUNTIME_DIR, else a private folder
// satclock-<uid> in $TMPDIR or /tmp. Empty when none can be made safely.
std::string instance_dir();

// Takes the marker. 1: this is the first copy (the lock is held and the socket
// listens); 0: another copy holds it; -1: the marker could not be made (the
// program then runs without one).
int instance_acquire();

// First copy: calls on_show on the main loop whenever a later copy asks.
void instance_listen(void (*on_show)());

// Later copy: asks the holder to show its window. 1 when it answered within timeout_ms.
int instance_ask_show(int timeout_ms);

// First copy at exit: removes the socket; the lock goes with the process.
void instance_release();
