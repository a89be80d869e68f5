// The uninstaller's confirmation window: Next removes Satclock, Cancel leaves.
#pragma once

#include <gtk/gtk.h>
#include <string>

struct UninstallWindow {
    GtkWidget* window = nullptr;
    GtkWidget* icon = nullptr;
    GtkWidget* text_1001 = nullptr;
    GtkWidget* text_1002 = nullptr;
    GtkWidget* next = nullptr;
    GtkWidget* cancel = nullptr;
};

// The window while it exists (all members null otherwise).
const UninstallWindow& uninstall_window();

// Creates the window for the uninstaller at program, with the texts of the
// selected catalogue, shows it centred and brings it to the front. The
// elevated copy (started with "admin_20") acts at once as if Next had been
// pressed. The main loop, if running, ends when the window is gone.
GtkWidget* create_uninstall_window(const std::string& program, bool elevated);

// Sets the title and the texts of the window through translate_text.
void apply_uninstall_texts();
