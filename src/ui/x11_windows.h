// Top-level windows of other programs on the X display: lookup by _NET_WM_PID,
// raising through the window manager, polite closing.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>
#include <vector>

// Client windows whose _NET_WM_PID is pid: the window manager's client list
// when it keeps one, else every window of the tree that carries the property.
std::vector<Window> x11_windows_of_pid(Display* display, pid_t pid);

// Maps and raises the window and asks the window manager to activate it.
int window_to_front(Display* display, Window window);

// Sends WM_DELETE_WINDOW, as a window manager's close box does.
void x11_send_delete(Display* display, Window window);
