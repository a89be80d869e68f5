// The main window's contents: menu bar, notebook of four pages, button row.
#pragma once

#include <gtk/gtk.h>

extern GtkAccelGroup* main_accel_group;
extern GtkWidget* main_notebook;
extern int menu_current_page;  // page last chosen through a radio menu item; -1 at start

// The product's home page, opened by Help > Satclock Homepage, and the
// maker's e-mail address; the About page links both.
extern const char satclock_home_page[];
extern const char satclock_email[];

GtkWidget* create_main_contents();
GtkWidget* create_menu_bar();
GtkWidget* menu_item_new(GtkWidget* menu, const gchar* pixfile, const gchar* text,
                         const gchar* accel_text, const gchar* action);
GtkWidget* radio_menu_item_new(GtkWidget* menu, GSList* group, const gchar* pixfile,
                               const gchar* text, const gchar* accel_text, const gchar* action);
void menu_activate(GtkMenuItem* item, const gchar* action);
