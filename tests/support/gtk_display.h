// GTK on the test display for an in-process GUI test program.
#pragma once

#include <functional>

// Initialises GTK on $DISPLAY once per process; false when there is no
// display to open.
bool open_gtk_display();

// Runs the GTK main loop until done() holds or timeout_ms of the monotonic
// clock have passed; returns done(). Every caller checks the result.
[[nodiscard]] bool pump_until(const std::function<bool()>& done, int timeout_ms = 10000);

// Runs the GTK main loop for about ms milliseconds.
void pump_for(int ms);
