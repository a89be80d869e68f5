// GPS info page: fix, time, position and the correction controls.
#pragma once

#include <gtk/gtk.h>

// The page widget; built once by the main window.
GtkWidget* create_info_page();
