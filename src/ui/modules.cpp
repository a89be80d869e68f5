// Start and stop of the modules the desktop program drives.
#include "src/ui/modules.h"

#include "src/settings/settings.h"

void settings_start()
{
    settings_init_path();
}

bool settings_above_all()
{
    // The start-up keeps the window above others unless the file says otherwise.
    bool above_all = true;
    settings_read_bool("above_all", true, above_all);
    return above_all;
}

// TEMPORARY placeholder bodies: the receiver link is wired in here when it lands on main.
void receiver_start() {}

void receiver_stop() {}
