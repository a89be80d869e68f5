// The picture bundle compiled into the program: lookup by file name.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

// Registers the picture bundle with GIO; called once before anything looks a picture up.
void res_register_bundle();

// "/org/gtk/app/pictures/<pixfile>" (caller frees), or null with a warning when
// the bundle has no such picture.
gchar* res_get_res_path(const gchar* pixfile);

// A new reference to the picture, or null.
GdkPixbuf* res_load_pixbuf(const gchar* pixfile);
