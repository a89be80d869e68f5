// Key strokes sent to another program's window through the X server.
#include "tests/support/x11_keys.h"

#include <initializer_list>

void x11_send_key(Display* display, Window window, KeySym symbol, unsigned modifiers)
{
    XKeyEvent event{};
    event.display = display;
    event.window = window;
    event.root = DefaultRootWindow(display);
    event.time = CurrentTime;
    event.same_screen = True;
    event.state = modifiers;
    event.keycode = XKeysymToKeycode(display, symbol);
    // The window may be gone by the release: that error is no failure.
    auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    for (int type : {KeyPress, KeyRelease}) {
        event.type = type;
        XSendEvent(display, window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                   reinterpret_cast<XEvent*>(&event));
    }
    XSync(display, False);
    XSetErrorHandler(previous);
}
