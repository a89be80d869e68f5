// Preferences page: start with the desktop, start in the tray, keep above others.
#include "src/ui/preferences_page.h"

GtkWidget* create_preferences_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(page), 6);
    return page;
}
