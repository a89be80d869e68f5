// Picture lookup in the GIO resource bundle under /org/gtk/app/pictures.
#include "src/ui/resources.h"

#include <cstdlib>
#include <gio/gio.h>

#ifdef SATCLOCK_HAVE_PICTURES
#include "src/pictures/pictures.h"
#endif

namespace {

constexpr char res_prefix[] = "/org/gtk/app/pictures";
constexpr char res_uri_scheme[] = "resource://";

}  // namespace

void res_register_bundle()
{
#ifdef SATCLOCK_HAVE_PICTURES
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    satclock_pictures_register_resource();
    std::atexit(satclock_pictures_unregister_resource);
#endif
}

gchar* res_get_res_path(const gchar* pixfile)
{
    if (!pixfile || !*pixfile) {
        g_return_if_fail_warning(nullptr, "res_get_res_path", "pixfile != NULL");
        return nullptr;
    }
    gchar* path = g_strdup_printf("%s/%s", res_prefix, pixfile);
    gchar* uri = g_strconcat(res_uri_scheme, path, nullptr);
    GFile* file = g_file_new_for_uri(uri);
    gboolean exists = g_file_query_exists(file, nullptr);
    g_object_unref(file);
    g_free(uri);
    if (!exists) {
        g_log(nullptr, G_LOG_LEVEL_WARNING, "Resource file not found: %s", path);
        g_free(path);
        return nullptr;
    }
    return path;
}

GdkPixbuf* res_load_pixbuf(const gchar* pixfile)
{
    gchar* path = res_get_res_path(pixfile);
    if (!path)
        return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_resource(path, nullptr);
    g_free(path);
    return pixbuf;
}
