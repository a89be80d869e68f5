#include "src/ui/widget_helpers.h"

#include "src/ui/app.h"

namespace {

void forget_widget(GtkWidget* widget, gpointer slot)
{
    GtkWidget** kept = static_cast<GtkWidget**>(slot);
    if (*kept == widget)
        *kept = nullptr;
}

}  // namespace

GtkWidget* keep(GtkWidget*& slot, GtkWidget* widget)
{
    slot = widget;
    g_signal_connect(widget, "destroy", G_CALLBACK(forget_widget), &slot);
    return widget;
}

void set_tip(GtkWidget* widget, const char* tip)
{
    if (shared_tooltips)
        gtk_tooltips_set_tip(shared_tooltips, widget, tip, nullptr);
    else
        gtk_widget_set_tooltip_text(widget, tip);
}

void set_markup(GtkWidget* label, gchar* owned_markup)
{
    // The labels are refreshed 10 to 20 times a second: relayout only on change.
    if (label && g_strcmp0(gtk_label_get_label(GTK_LABEL(label)), owned_markup) != 0)
        gtk_label_set_markup(GTK_LABEL(label), owned_markup);
    g_free(owned_markup);
}

GtkWidget* check_box_new(const char* text, const char* tip, bool active, GCallback toggled)
{
    GtkWidget* check = gtk_check_button_new_with_label(text);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), active);
    set_tip(check, tip);
    g_signal_connect(check, "toggled", toggled, nullptr);
    return check;
}

GtkWidget* titled_frame_new(const char* title)
{
    GtkWidget* frame = gtk_frame_new(nullptr);
    GtkWidget* title_label = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped("<b>%s</b>", title);
    gtk_label_set_markup(GTK_LABEL(title_label), markup);
    g_free(markup);
    gtk_frame_set_label_widget(GTK_FRAME(frame), title_label);
    gtk_frame_set_label_align(GTK_FRAME(frame), 0, 0.7);
    gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_ETCHED_IN);
    return frame;
}

GtkWidget* add_frame(GtkWidget* table, const char* title, guint left, guint right, guint top,
                     GtkAttachOptions vertical)
{
    GtkWidget* frame = titled_frame_new(title);
    GtkAttachOptions fill = GtkAttachOptions(GTK_EXPAND | GTK_FILL);
    gtk_table_attach(GTK_TABLE(table), frame, left, right, top, top + 1, fill, vertical, 2, 2);
    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 4);
    gtk_container_add(GTK_CONTAINER(frame), box);
    return box;
}

namespace {

// GTK 2 wraps a label at the width it guessed when asked for its size, not at
// the width it is given: a narrower place would cut its lines. Asking for the
// width given makes it wrap there (and ask for the height that takes).
void rewrap_at_allocation(GtkWidget* label, GtkAllocation* allocation, gpointer)
{
    int xpad = 0;
    gtk_misc_get_padding(GTK_MISC(label), &xpad, nullptr);
    int width = allocation->width - 2 * xpad;
    int asked = -1;
    gtk_widget_get_size_request(label, &asked, nullptr);
    if (width > 1 && width != asked)
        gtk_widget_set_size_request(label, width, -1);
}

}  // namespace

GtkWidget* wrap_button_label(GtkWidget* button, int chars)
{
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (GTK_IS_LABEL(label)) {
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
        g_signal_connect(label, "size-allocate", G_CALLBACK(rewrap_at_allocation), nullptr);
    }
    return button;
}

namespace {

gboolean run_posted_refresh(gpointer data)
{
    auto* refresh = static_cast<GuiRefresh*>(data);
    refresh->posted = false;
    refresh->run();
    return G_SOURCE_REMOVE;
}

}  // namespace

void gui_refresh_post(GuiRefresh& refresh)
{
    if (!refresh.posted.exchange(true))
        g_idle_add(run_posted_refresh, &refresh);
}

std::string owned_text(gchar* text)
{
    std::string out = text ? text : "";
    g_free(text);
    return out;
}
