// satclock's own start-up with its Quit chosen while every thread is busy: the
// reader on the port of the settings file, the analysis thread in a pulse
// check waiting for CTS, and the port's 1PPS watcher publishing DSR edges as
// fast as a thread raises them on the test device. The Quit test runs it as a
// child and waits for its end; it prints the monotonic time of the Quit.
#include "platform/clock.h"
#include "src/correction/analiz.h"
#include "src/gps/com_reader.h"
#include "tests/support/com_test_device.h"
#include "src/gps/serial.h"
#include "src/ui/app.h"
#include "src/ui/main_window.h"
#include "tests/ui/ui_test_support.h"

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 3;

gboolean quit_once_busy(gpointer)
{
    if (!main_window || !com_read_running())
        return TRUE;
    if (com_event_mask(0) != kComEvCts) {
        check_1PPS_request.store(1);
        return TRUE;
    }
    std::printf("quit at %lld\n", static_cast<long long>(platform_monotonic_ns()));
    gtk_menu_item_activate(GTK_MENU_ITEM(menu_items(0).back()));
    return FALSE;
}

}  // namespace

int main(int argc, char** argv)
{
    com_test_device_register(kPort);
    std::thread([] {
        for (;;) {
            com_test_device_raise_pulse(kPort, TIOCM_DSR, 0);
            usleep(500);
        }
    }).detach();
    g_timeout_add(10, quit_once_busy, nullptr);
    return app_main(argc, argv);
}
