// The wizard's banner (497 x 61) and side picture (140 x 223), from the
// picture bundle compiled into satsetup.
#pragma once

#include <gtk/gtk.h>

GtkWidget* wizard_banner_picture();
GtkWidget* wizard_side_picture();
