// Xlib helpers for the help viewer: finding, raising and closing its windows.
#include "src/ui/x11_windows.h"

#include <X11/Xatom.h>

namespace {

// The 32-bit CARDINAL property of a window, or -1 when it has none.
long window_cardinal(Display* display, Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        type == XA_CARDINAL && format == 32 && count == 1)
        value = reinterpret_cast<long*>(data)[0];
    if (data)
        XFree(data);
    return value;
}

bool client_list(Display* display, std::vector<Window>& out)
{
    Atom list_atom = XInternAtom(display, "_NET_CLIENT_LIST", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), list_atom, 0, 4096, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) != Success ||
        type != XA_WINDOW) {
        if (data)
            XFree(data);
        return false;
    }
    auto* windows = reinterpret_cast<Window*>(data);
    out.assign(windows, windows + count);
    XFree(data);
    return true;
}

void tree_windows(Display* display, Window parent, int depth, std::vector<Window>& out)
{
    Window root = 0, up = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        out.push_back(children[i]);
        // Reparenting window managers put each client one or two levels down.
        if (depth < 2)
            tree_windows(display, children[i], depth + 1, out);
    }
    if (children)
        XFree(children);
}

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

}  // namespace

std::vector<Window> x11_windows_of_pid(Display* display, pid_t pid)
{
    // Windows can vanish between the listing and the property read.
    XErrorHandler previous = XSetErrorHandler(ignore_x_errors);
    std::vector<Window> candidates;
    if (!client_list(display, candidates))
        tree_windows(display, DefaultRootWindow(display), 0, candidates);
    Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
    std::vector<Window> found;
    for (Window window : candidates)
        if (window_cardinal(display, window, pid_atom) == pid)
            found.push_back(window);
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

int window_to_front(Display* display, Window window)
{
    XMapRaised(display, window);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source: a pager-like request, honoured without focus stealing checks
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
    return 1;
}

void x11_send_delete(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}
