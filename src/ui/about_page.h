// About page: program picture, name, version and date of the last change, and
// a text view with links (home page, e-mail, GTK), the translator's credit and
// the GTK version.
#pragma once

#include "common/program_version.h"

#include <gtk/gtk.h>

// The page widget; built once by the main window.
GtkWidget* build_about_page();

// Link targets: 1 rebuilds the page's text, 2 opens the home page, 3 writes an
// e-mail to the maker, 4 opens the GTK site; other pages do nothing.
void about_open_page(GtkTextBuffer* buffer, int page);

// Opens the target of the first link tag at iter, if any.
void about_follow_link(GtkTextView* view, GtkTextIter* iter);

// Hand pointer over a link, text pointer elsewhere; changed only on a change.
void about_update_cursor(GtkTextView* view, gint x, gint y);

// The credit of a catalogue header: the rest of its first line that begins with
// exactly "Last-Translator:", blank included; null when there is none. g_free it.
gchar* about_translator_credit(const char* header);

// " v.2.24.32", or " v.2.24" when the micro number is 0. g_free it.
gchar* about_gtk_version_text(guint major, guint minor, guint micro);

// The page's text view; null until the page is built.
extern GtkWidget* about_text_view;
// Whether the pointer was over a link at the last check.
extern bool about_link_hover;
