// The intro window shown at start-up: what the tray icon is for, with a
// picture of it, and "Never show this dialog again".
#pragma once

#include <gtk/gtk.h>

// The intro window while it exists; null otherwise.
extern GtkWidget* intro_dialog;

// Unless screen_no_show is TRUE, shows the intro window and runs a nested main
// loop until it is closed (the ticks and tray requests go on meanwhile).
void intro_dialog_show();
