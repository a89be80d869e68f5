// Start and stop of the modules the desktop program drives.
#include "src/ui/modules.h"

#include "src/correction/offset_history.h"
#include "src/receiver/receiver_threads.h"
#include "src/settings/settings.h"

#include <cstdio>

namespace {

// Changes still being written at Quit get this long.
constexpr int kSettingsFlushMs = 2000;

}  // namespace

void settings_start()
{
    settings_init_path();
    settings_scan();
}

void settings_stop()
{
    if (!settings_flush(kSettingsFlushMs))
        std::printf("settings: changes still unwritten at the end\n");
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
