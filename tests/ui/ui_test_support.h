// Helpers of the GUI tests: one GTK display per process, main-loop pumping,
// the main window built the way the program builds it, and widget lookup.
#pragma once

#include <functional>
#include <gtk/gtk.h>
#include "tests/support/gtk_display.h"
#include <string>
#include <vector>


// Builds main_window as the start-up does (working directory, language,
// contents) and shows it; destroys it. Neither its Quit item nor its
// destruction ends the process, and any Quit activation fails the test.
void build_main_window();
void destroy_main_window();

// Writes the settings file in the folder, each line ending in CR LF, points the
// settings at it and builds the main window, which reads it.
void build_main_window_with_settings(const std::string& folder, const std::vector<std::string>& lines);

// Sends a key press and release to the main window through the X server.
void press_key(guint keyval, GdkModifierType modifiers);

// Clicks the middle of a widget that has an input window of its own.
void click_window(GdkWindow* window, int x, int y);

// Clicks the middle of a button.
void click_button(GtkWidget* button);

// Menu items of the bar's n-th menu, in order (separators included).
std::vector<GtkWidget*> menu_items(int menu_index);

// The text of a menu item (its picture-and-text label or plain label).
std::string menu_item_text(GtkWidget* item);

// All descendants of a container of a given type.
std::vector<GtkWidget*> find_widgets(GtkWidget* root, GType type);

// Whole content of a file; empty when it does not exist.
std::string read_file(const std::string& path);

// Listens on the root window to the requests a window manager receives.
class WindowManagerRequests {
public:
    WindowManagerRequests();
    ~WindowManagerRequests();
    WindowManagerRequests(const WindowManagerRequests&) = delete;
    WindowManagerRequests& operator=(const WindowManagerRequests&) = delete;

    // The keep-above changes asked for the window since the last call: 1 on, 0 off.
    std::vector<long> above_changes(unsigned long window);
    // How many times the window was asked to be minimized since the last call.
    int iconify_requests(unsigned long window);

private:
    // The client messages of that type for the window since the last call.
    std::vector<std::vector<long>> messages(unsigned long window, unsigned long type);
    struct _XDisplay* display_;
    unsigned long state_, above_, change_state_;
};

// Collects the GLib messages logged without a domain while alive.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    const std::vector<std::string>& messages() const { return messages_; }

private:
    static void handler(const gchar*, GLogLevelFlags, const gchar*, gpointer);
    std::vector<std::string> messages_;
    guint id_;
};

// The main window in each of its states (every page; the info page with the
// step question, the status lines and the settings notice all shown at their
// longest), sized as it asks: what does not fit a 1024x768 screen (less a
// title bar and a panel) or is cut, one line each.
std::vector<std::string> window_fit_problems();
