// GPS configuration page: port, speed, 1PPS line and the NMEA view.
#include "src/ui/config_page.h"

GtkWidget* create_config_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(page), 6);
    return page;
}
