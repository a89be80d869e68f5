// Preferences page: start with the desktop, start in the tray, keep above others.
#pragma once

#include <gtk/gtk.h>

// The page widget; built once by the main window.
GtkWidget* create_preferences_page();
