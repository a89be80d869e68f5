// The main window within a 1024x768 screen: it never asks for more than
// such a screen holds, and each notebook page scrolls when it would like more
// room than the window has.
#pragma once

#include <gtk/gtk.h>

// A 1024x768 screen less a title bar and a desktop panel.
inline constexpr int kFitWidth = 1024;
inline constexpr int kFitHeight = 720;

// A scroller around a notebook page: it asks for the page's whole size, so a
// window with room shows no scroll bar, and scrolls the page vertically when
// the window gives it less.
GtkWidget* window_fit_page(GtkWidget* page);

// Caps what the window asks for at kFitWidth x kFitHeight; the user may still
// make it larger.
void window_fit_screen(GtkWidget* window);
