// Driving the real satclock from outside through the X server.
#include "tests/support/x11_drive.h"

#include "src/ui/x11_windows.h"

#include <X11/Xutil.h>
#include <initializer_list>
#include <string>

Window x11_satclock_window(Display* display, pid_t pid)
{
    for (Window window : x11_windows_of_pid(display, pid)) {
        char* name = nullptr;
        bool match = XFetchName(display, window, &name) && name && std::string(name).rfind("Satclock ", 0) == 0;
        if (name)
            XFree(name);
        if (match)
            return window;
    }
    return 0;
}

bool x11_viewable(Display* display, Window window)
{
    XWindowAttributes attributes{};
    return window && XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

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
