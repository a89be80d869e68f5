// Mygtk_pixtex: a picture beside a text, used for tabs, menu items and buttons.
#pragma once

#include <gtk/gtk.h>

struct Mygtk_pixtex {
    GtkTable table;
    GtkWidget* image;  // GtkImage, or null when a stock id has no icon set
    GtkWidget* label;  // GtkLabel
};

struct Mygtk_pixtexClass {
    GtkTableClass parent_class;
};

GType mygtk_pixtex_get_type();
#define MYGTK_TYPE_PIXTEX (mygtk_pixtex_get_type())
#define MYGTK_PIXTEX(obj) (G_TYPE_CHECK_INSTANCE_CAST((obj), MYGTK_TYPE_PIXTEX, Mygtk_pixtex))
#define MYGTK_IS_PIXTEX(obj) (G_TYPE_CHECK_INSTANCE_TYPE((obj), MYGTK_TYPE_PIXTEX))

// A picture of the bundle scaled to width x height (0 x 0: as stored) beside text.
GtkWidget* pixtex_new_from_resource(const gchar* pixfile, const gchar* text, gint width, gint height);

// A GTK stock icon scaled to width x height (0 x 0: at its own size) beside text.
GtkWidget* pixtex_new_from_stock(const gchar* stock_id, const gchar* text, gint width, gint height);
