// Start and stop of the modules the desktop program drives.
#include "src/ui/modules.h"

#include "src/correction/offset_history.h"
#include "src/receiver/receiver_threads.h"
#include "src/settings/settings.h"

#include <cstdio>

void settings_start()
{
    settings_init_path();
    settings_scan();
}

void receiver_start()
{
    // Port and speed in force, as the GPS configuration page loaded them; the
    // page restarts the reader when the user changes them.
    receiver_init();
    offset_history_start(offset_history_path());
    start_receiver_threads(app_settings.com_port, app_settings.baudrate);
}

bool receiver_stop(int timeout_ms)
{
    return stop_receiver_threads(timeout_ms);
}

void modules_say_what_is_left(bool reader_ended, int reader_wait_ms, bool settings_written)
{
    if (!reader_ended)
        std::printf("quit: the reader has not ended within %d ms, leaving without it\n", reader_wait_ms);
    if (!settings_written)
        std::printf("settings: changes still unwritten at the end\n");
}

void modules_stop(int reader_wait_ms, int settings_wait_ms)
{
    bool reader_ended = receiver_stop(reader_wait_ms);
    modules_say_what_is_left(reader_ended, reader_wait_ms, settings_flush(settings_wait_ms));
}
