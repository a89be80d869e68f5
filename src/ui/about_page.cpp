// About page: program name, version, authors and links.
#include "src/ui/about_page.h"

const char* program_version() { return "1.2.1"; }

GtkWidget* build_about_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(page), 6);
    gchar* name = g_strdup_printf("Satclock v.%s", program_version());
    gtk_box_pack_start(GTK_BOX(page), gtk_label_new(name), FALSE, FALSE, 0);
    g_free(name);
    return page;
}
