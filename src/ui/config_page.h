// GPS configuration page: port, speed, 1PPS line and the NMEA view.
#pragma once

#include <gtk/gtk.h>

// The page widget; built once by the main window.
GtkWidget* create_config_page();
