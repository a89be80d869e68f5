// Loading the wizard's pictures from its resource bundle.
#include "satsetup/wizard_pictures.h"

#include <string>

extern "C" {
#include "satsetup_pictures.h"
}

namespace {

GtkWidget* bundled_picture(const char* name)
{
    static bool registered = false;
    if (!registered) {
        satsetup_pictures_register_resource();
        registered = true;
    }
    std::string path = std::string("/org/satclock/satsetup/") + name;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(path.c_str(), nullptr);
    GtkWidget* image = pixbuf ? gtk_image_new_from_pixbuf(pixbuf) : gtk_image_new();
    if (pixbuf)
        g_object_unref(pixbuf);
    gtk_misc_set_alignment(GTK_MISC(image), 0, 0);
    return image;
}

}  // namespace

GtkWidget* wizard_banner_picture() { return bundled_picture("banner.png"); }
GtkWidget* wizard_side_picture() { return bundled_picture("side.png"); }
