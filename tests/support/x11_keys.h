// Key strokes sent to another program's window through the X server, for the
// tests and benchmarks that drive the real satclock from outside.
#pragma once

#include <X11/Xlib.h>

// A key press and its release sent to the window itself (XSendEvent), so no
// focus is needed and no key is ever left held in the server. Pressed through
// XTest instead (xdotool does so when the window has the focus), a Ctrl+Q that
// ends the program loses its release, and the server then repeats Ctrl+Q into
// every later window on the display.
void x11_send_key(Display* display, Window window, KeySym symbol, unsigned modifiers = 0);
