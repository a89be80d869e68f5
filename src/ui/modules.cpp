// Start and stop of the modules the desktop program drives.
#include "src/ui/modules.h"

// TEMPORARY placeholder bodies: the settings module and the receiver link are
// wired in here when they land on main.
void settings_start() {}

bool settings_above_all() { return true; }

void receiver_start() {}

void receiver_stop() {}
