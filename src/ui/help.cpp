// Help viewer and link opening. The viewer is any program that takes the help
// file as its argument; its windows are recognised by _NET_WM_PID.
#include "src/ui/help.h"

#include "platform/env.h"
#include "platform/process.h"
#include "src/ui/app.h"
#include "src/ui/x11_windows.h"

#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
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

bool process_alive(pid_t pid)
{
    // Our own child is reaped here, so that an ended viewer is not a zombie.
    int status = process_wait(pid, 0);
    if (status == -2)
        return true;
    if (status >= 0)
        return false;
    return kill(pid, 0) == 0 || errno == EPERM;
}

bool wait_for_end(pid_t pid, int timeout_ms)
{
    const timespec pause{0, 5 * 1000 * 1000};
    for (int waited = 0;; waited += 5) {
        if (!process_alive(pid))
            return true;
        if (waited >= timeout_ms)
            return false;
        nanosleep(&pause, nullptr);
    }
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

}  // namespace

void help_show()
{
    std::lock_guard<std::mutex> hold(help_lock);
    if (help_process != 0) {
        if (!process_alive(help_process))
            help_process = 0;
        else if (help_raise_viewer())
            return;
    }
    help_start_viewer();
}

void help_close()
{
    std::lock_guard<std::mutex> hold(help_lock);
    if (help_process != 0 && help_process_ours && process_alive(help_process))
        process_close(help_process, 200);
    help_process = 0;
    help_process_ours = false;
}

int process_close(pid_t pid, int timeout_ms)
{
    if (pid <= 0 || (kill(pid, 0) != 0 && errno != EPERM))
        return 0;
    close_windows_of(pid);
    if (wait_for_end(pid, timeout_ms))
        return 1;
    if (kill(pid, SIGKILL) != 0)
        return 0;
    wait_for_end(pid, 1000);
    return 2;
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
