// Small GTK helpers that every page of the main window builds with.
#pragma once

#include <atomic>
#include <gtk/gtk.h>
#include <string>

// The text of a g_strdup_printf (or other g_malloc'd) result, which it frees.
std::string owned_text(gchar* text);

// Stores the widget in the slot and clears the slot when the widget is destroyed.
GtkWidget* keep(GtkWidget*& slot, GtkWidget* widget);

// The tip through the window's shared tooltips, or the widget's own tooltip before they exist.
void set_tip(GtkWidget* widget, const char* tip);

// Sets the label's markup only when it differs, and frees the markup.
void set_markup(GtkWidget* label, gchar* owned_markup);

// A check box with the tip, ticked as `active`, whose toggles go to the handler.
GtkWidget* check_box_new(const char* text, const char* tip, bool active, GCallback toggled);

// Lets the text of a button (a check box) wrap at about chars characters.
GtkWidget* wrap_button_label(GtkWidget* button, int chars);

// A frame whose title is bold, as every frame of the window has it.
GtkWidget* titled_frame_new(const char* title);

// A titled frame at the table cell; returns the box inside it.
GtkWidget* add_frame(GtkWidget* table, const char* title, guint left, guint right, guint top,
                     GtkAttachOptions vertical);

// A refresh of the window that other threads ask for: run on the GUI thread
// as soon as its main loop is idle; asks made while one waits are one.
struct GuiRefresh {
    void (*run)();
    std::atomic<bool> posted{false};
};

// Any thread.
void gui_refresh_post(GuiRefresh& refresh);
