// Start-up and shutdown of the desktop program, and its process-wide widgets.
#pragma once

#include <gtk/gtk.h>

extern GtkWidget* main_window;         // null once the shutdown has begun
extern GtkTooltips* shared_tooltips;   // the one tooltips object of every page
extern gchar* help_file_path;          // relative to the bin directory

// The entry of the program; returns the exit status (0).
int app_main(int argc, char** argv);

// "destroy" of main_window: hides every window, has what must be stopped
// stopped off the GTK thread and returns; once that is done (at most 1 s), the
// process exits with status 0.
void app_quit(GtkWidget* widget);

// "delete_event" of main_window: hides the window instead of destroying it.
gboolean main_window_hide_on_delete(GtkWidget* widget, GdkEvent* event);
// Close of the main window (its close box and the Close button): hidden to
// the tray where a notification area holds the icon, else minimized.
void main_window_close(GtkWidget* window);

// The start-up's first steps, with the window or without: the bin
// directory, the settings (found, their problems looked for), the language.
void app_prepare();

// The steps of the start-up that tests run on their own.
void app_set_working_directory();   // the program's own bin directory
void app_choose_language();         // locale, help file, message catalogue
GtkWidget* app_create_main_window();  // tooltips, window and its contents

// The language gettext uses for messages: the first of LANGUAGE (its first
// entry), LC_ALL, LC_MESSAGES and LANG that is set, cut before '_', '.', '@'.
gchar* app_message_language();

// The help file for a language: Russian for the Russian-speaking set
// (ru uk be lt kk ky uz), English otherwise.
const char* help_file_for_language(const char* language);
