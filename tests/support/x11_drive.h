// Driving the real satclock from outside through the X server, for the tests
// and benchmarks: its main window, whether a window shows, key strokes.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

// The main window of satclock's process pid ("Satclock 1.2.1"; the tray
// icon's own window is titled "Satclock"), shown or not; 0 when it has none.
Window x11_satclock_window(Display* display, pid_t pid);

// Whether the window is mapped and every one of its ancestors too.
bool x11_viewable(Display* display, Window window);

// A key press and its release sent to the window itself (XSendEvent), so no
// focus is needed and no key is ever left held in the server. Pressed through
// XTest instead (xdotool does so when the window has the focus), a Ctrl+Q that
// ends the program loses its release, and the server then repeats Ctrl+Q into
// every later window on the display.
void x11_send_key(Display* display, Window window, KeySym symbol, unsigned modifiers = 0);
