// Help viewer and link opening. The viewer is any program that takes the help
// file as its argument; its windows are recognised by _NET_WM_PID.
#include "src/ui/help.h"

#include "platform/env.h"
#include "platform/process.h"
#include "src/ui/app.h"
#include "src/ui/x11_windows.h"

#include <X11/Xlib.h>
#include <gtk/gtk.h>
#include <mutex>
#include <string>

namespace {

// Serialises help_show and help_close around the one viewer record.
std::mutex help_lock;
// The viewer the program started; 0 when none is tracked.
pid_t help_process = 0;
// Whether that viewer shows nothing but our help, so that Quit may close it.
// A general browser (x-www-browser, xdg-open) may be the user's whole browser
// with all its other windows and work: it is left running.
bool help_process_ours = false;

std::string dedicated_viewer()
{
    return env_value("SATCLOCK_HELP_VIEWER");
}

std::string help_viewer_program()
{
    if (std::string viewer = dedicated_viewer(); !viewer.empty())
        return viewer;
    if (gchar* found = g_find_program_in_path("x-www-browser")) {
        g_free(found);
        return "x-www-browser";
    }
    return "xdg-open";
}

// The help file as an absolute path: a viewer that hands the file over to an
// already running instance must not resolve it against another directory.
std::string help_file_absolute()
{
    const gchar* relative = help_file_path ? help_file_path : "";
    gchar* absolute = g_canonicalize_filename(relative, nullptr);
    std::string path = absolute;
    g_free(absolute);
    return path;
}

void help_start_viewer()
{
    pid_t pid = process_spawn({help_viewer_program(), help_file_absolute()});
    if (pid > 0) {
        help_process = pid;
        help_process_ours = !dedicated_viewer().empty();
    }
}

bool help_raise_viewer()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    std::vector<Window> windows = x11_windows_of_pid(display, help_process);
    if (!windows.empty())
        window_to_front(display, windows.front());
    XCloseDisplay(display);
    return !windows.empty();
}

void close_windows_of(pid_t pid)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return;
    for (Window window : x11_windows_of_pid(display, pid))
        x11_send_delete(display, window);
    XCloseDisplay(display);
}

// A viewer asked to close gets this long before it is killed.
constexpr int kViewerCloseMs = 200;

}  // namespace

void help_show()
{
    std::lock_guard<std::mutex> hold(help_lock);
    if (help_process != 0) {
        if (!process_running(help_process))
            help_process = 0;
        else if (help_raise_viewer())
            return;
    }
    help_start_viewer();
}

pid_t help_close_ask()
{
    std::lock_guard<std::mutex> hold(help_lock);
    pid_t viewer = help_process != 0 && help_process_ours && process_running(help_process) ? help_process : 0;
    if (viewer != 0)
        close_windows_of(viewer);
    help_process = 0;
    help_process_ours = false;
    return viewer;
}

void help_close_wait(pid_t viewer)
{
    if (viewer > 0)
        process_end_or_kill(viewer, kViewerCloseMs);
}

void help_close() { help_close_wait(help_close_ask()); }

int process_close(pid_t pid, int timeout_ms)
{
    if (pid <= 0 || !process_running(pid))
        return 0;
    close_windows_of(pid);
    return process_end_or_kill(pid, timeout_ms);
}

void open_url(const char* text)
{
    if (!text || !*text)
        return;
    if (gtk_show_uri(nullptr, text, GDK_CURRENT_TIME, nullptr))
        return;
    pid_t pid = process_spawn({"xdg-open", text}, true);
    if (pid > 0)
        g_child_watch_add(pid, [](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
}
