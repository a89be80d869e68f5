// About page: program name, version, authors and links.
#pragma once

#include <gtk/gtk.h>

// The version text shown in titles and on the About page.
const char* program_version();

// The page widget; built once by the main window.
GtkWidget* build_about_page();
