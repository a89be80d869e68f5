// A stand-in help viewer: one X window carrying _NET_WM_PID and WM_DELETE_WINDOW.
// Appends "start <pid> <file>" to $FAKE_VIEWER_LOG when its window is mapped and
// "close <pid>" when asked to close. With FAKE_VIEWER_IGNORE_CLOSE=1 it ignores
// the request, as a hung viewer would.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

void log_line(const char* format, const char* arg)
{
    const char* path = std::getenv("FAKE_VIEWER_LOG");
    if (!path)
        return;
    if (FILE* log = std::fopen(path, "a")) {
        std::fprintf(log, format, static_cast<long>(getpid()), arg);
        std::fclose(log);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 2;
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 10, 10, 200, 100, 0, 0, 0);
    long pid = getpid();
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    Atom delete_atom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &delete_atom, 1);
    XStoreName(display, window, "fake help viewer");
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    bool ignore_close = std::getenv("FAKE_VIEWER_IGNORE_CLOSE") != nullptr;
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            log_line("start %ld %s\n", argc > 1 ? argv[1] : "");
        if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == delete_atom) {
            log_line("close %ld%s\n", "");
            if (!ignore_close)
                break;
        }
    }
    XCloseDisplay(display);
    return 0;
}
