#include "tests/support/gtk_display.h"

#include <X11/Xlib.h>
#include <chrono>
#include <gtk/gtk.h>

bool open_gtk_display()
{
    static int opened = -1;
    if (opened >= 0)
        return opened == 1;
    // Xvfb resets itself when its last client leaves and refuses connections
    // meanwhile: wait for a connection, and hold it until GTK has its own.
    Display* probe = nullptr;
    for (int attempt = 0; attempt < 100 && !(probe = XOpenDisplay(nullptr)); ++attempt)
        g_usleep(20000);
    bool ready = gtk_init_check(nullptr, nullptr);
    if (probe)
        XCloseDisplay(probe);
    opened = ready ? 1 : 0;
    return ready;
}

bool pump_until(const std::function<bool()>& done, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return done();
        if (!gtk_events_pending())
            g_usleep(2000);
        while (gtk_events_pending())
            gtk_main_iteration_do(FALSE);
    }
    return true;
}

void pump_for(int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    (void)pump_until([&] { return std::chrono::steady_clock::now() > end; }, ms + 1000);
}
