// GTK on the test display for an in-process GUI test program.
#pragma once

#include <functional>

// Initialises GTK on $DISPLAY; false when there is no display to open.
bool open_gtk_display();

// Runs the GTK main loop until done() holds or timeout_ms passes; returns done().
bool pump_main_loop_until(const std::function<bool()>& done, int timeout_ms);
