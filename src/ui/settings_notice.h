// The line at the top of the main window that says what is wrong with the
// settings file, or why a change could not be saved, and what to do about it;
// hidden while nothing is.
#pragma once

#include "src/settings/settings_table.h"

#include <gtk/gtk.h>

// The notice; from now on it follows the settings' problems (it takes the
// settings' one problem listener).
GtkWidget* settings_notice_new();

// Its label, null before it is built or after it is destroyed.
GtkWidget* settings_notice_label();

// What the notice says of one problem of the file at path (g_free it).
gchar* settings_problem_text(const SettingsProblem& problem, const char* path);
