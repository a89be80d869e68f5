// Preferences page: start with the desktop session, start in the tray, keep
// the window above others; and the user's autostart entry.
#pragma once

#include <gtk/gtk.h>

// The page widget; built once by the main window before the other pages. Loads
// auto_run, turn_to_tray and above_all into app_settings and brings the
// autostart entry into line with auto_run.
GtkWidget* create_preferences_page();

// The page's settings (the checks before a step among them) into
// app_settings and the correction's flags.
void preferences_page_load_settings();

// The user's autostart entry $XDG_CONFIG_HOME/autostart/satclock.desktop
// (else ~/.config/autostart), starting the running program file. 1 on success, 0 on failure.
int autostart_register();
int autostart_unregister();

// "clicked" of the three check boxes: each writes its setting at once.
void on_auto_run_toggled(GtkToggleButton* button);
void on_turn_to_tray_toggled(GtkToggleButton* button);
void on_above_all_toggled(GtkToggleButton* button);
