// GPS info page: fix, time, position and the correction controls.
#include "src/ui/info_page.h"

GtkWidget* create_info_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(page), 6);
    return page;
}
