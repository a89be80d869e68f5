// Start and stop of the modules the desktop program drives.
#include "src/ui/modules.h"

#include "src/gps/serial.h"
#include "src/receiver/receiver_threads.h"
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

void receiver_start()
{
    // Port and speed as the settings file holds them at start; the GPS
    // configuration page restarts the reader when the user changes them.
    int com_port = 1;
    int baudrate = 4800;
    settings_read_int("com_port", 1, com_port);
    settings_read_int("baudrate", 4800, baudrate);
    com_init();
    start_receiver_threads(com_port, baudrate);
}

bool receiver_stop(int timeout_ms)
{
    return stop_receiver_threads(timeout_ms);
}
