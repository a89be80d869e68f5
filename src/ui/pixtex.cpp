// The picture-and-text widget: a two-column GtkTable holding an image and a label.
#include "src/ui/pixtex.h"

#include "src/ui/resources.h"

GType mygtk_pixtex_get_type()
{
    static GType type = 0;
    if (type == 0) {
        static const GTypeInfo info = {
            sizeof(Mygtk_pixtexClass), nullptr, nullptr, nullptr, nullptr, nullptr,
            sizeof(Mygtk_pixtex), 0, nullptr, nullptr,
        };
        type = g_type_register_static(GTK_TYPE_TABLE, "Mygtk_pixtex", &info, GTypeFlags(0));
    }
    return type;
}

namespace {

Mygtk_pixtex* pixtex_new_empty()
{
    auto* pixtex = MYGTK_PIXTEX(g_object_new(MYGTK_TYPE_PIXTEX, nullptr));
    gtk_table_resize(GTK_TABLE(pixtex), 2, 1);
    return pixtex;
}

void pixtex_set_label(Mygtk_pixtex* pixtex, const gchar* text)
{
    pixtex->label = gtk_label_new(text);
    gtk_widget_set_name(GTK_WIDGET(pixtex), text);
}

GtkWidget* image_from_resource(const gchar* pixfile, gint width, gint height)
{
    GdkPixbuf* pixbuf = nullptr;
    if (gchar* path = res_get_res_path(pixfile)) {
        pixbuf = gdk_pixbuf_new_from_resource(path, nullptr);
        g_free(path);
    }
    if (!pixbuf)
        return gtk_image_new();
    GtkWidget* image;
    if (width == 0 && height == 0) {
        image = gtk_image_new_from_pixbuf(pixbuf);
    } else {
        GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pixbuf, width, height, GDK_INTERP_HYPER);
        image = scaled ? gtk_image_new_from_pixbuf(scaled) : gtk_image_new();
        if (scaled)
            g_object_unref(scaled);
    }
    g_object_unref(pixbuf);
    return image;
}

// The size a stock icon is drawn at: the first size of its icon set, or the
// menu size when the set has one; -1 when the stock id is unknown.
GtkIconSize stock_icon_size(const gchar* stock_id)
{
    GtkIconSet* set = gtk_icon_factory_lookup_default(stock_id);
    if (!set)
        return GtkIconSize(-1);
    GtkIconSize* sizes = nullptr;
    gint count = 0;
    gtk_icon_set_get_sizes(set, &sizes, &count);
    GtkIconSize size = count > 0 ? sizes[0] : GtkIconSize(-1);
    for (gint i = 0; i < count; ++i)
        if (sizes[i] == GTK_ICON_SIZE_MENU)
            size = GTK_ICON_SIZE_MENU;
    g_free(sizes);
    return size;
}

GtkWidget* image_from_stock(GtkWidget* owner, const gchar* stock_id, gint width, gint height)
{
    GtkIconSize size = stock_icon_size(stock_id);
    if (width == 0 && height == 0)
        return size == GtkIconSize(-1) ? nullptr : gtk_image_new_from_stock(stock_id, size);
    GdkPixbuf* icon = gtk_widget_render_icon(owner, stock_id, size, nullptr);
    if (!icon)
        return gtk_image_new();
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(icon, width, height, GDK_INTERP_BILINEAR);
    GtkWidget* image = scaled ? gtk_image_new_from_pixbuf(scaled) : gtk_image_new();
    if (scaled)
        g_object_unref(scaled);
    g_object_unref(icon);
    return image;
}

}  // namespace

GtkWidget* pixtex_new_from_resource(const gchar* pixfile, const gchar* text, gint width, gint height)
{
    Mygtk_pixtex* pixtex = pixtex_new_empty();
    pixtex->image = image_from_resource(pixfile, width, height);
    pixtex_set_label(pixtex, text);
    GtkTable* table = GTK_TABLE(pixtex);
    gtk_table_attach(table, pixtex->image, 0, 1, 0, 1, GTK_FILL, GtkAttachOptions(0), 4, 0);
    gtk_table_attach(table, pixtex->label, 1, 2, 0, 1, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                     GtkAttachOptions(0), 0, 0);
    gtk_widget_show(pixtex->image);
    gtk_widget_show(pixtex->label);
    return GTK_WIDGET(pixtex);
}

GtkWidget* pixtex_new_from_stock(const gchar* stock_id, const gchar* text, gint width, gint height)
{
    Mygtk_pixtex* pixtex = pixtex_new_empty();
    pixtex->image = image_from_stock(GTK_WIDGET(pixtex), stock_id, width, height);
    pixtex_set_label(pixtex, text);
    GtkTable* table = GTK_TABLE(pixtex);
    const auto fill_expand = GtkAttachOptions(GTK_EXPAND | GTK_FILL);
    if (pixtex->image) {
        gtk_table_attach(table, pixtex->image, 0, 1, 0, 1, GTK_FILL, fill_expand, 4, 0);
        gtk_widget_show(pixtex->image);
    }
    gtk_table_attach(table, pixtex->label, 1, 2, 0, 1, fill_expand, fill_expand, 0, 0);
    gtk_widget_show(pixtex->label);
    return GTK_WIDGET(pixtex);
}
