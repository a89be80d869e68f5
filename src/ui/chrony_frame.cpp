// The chrony frame of the GPS configuration page.
#include "src/ui/chrony_frame.h"

#include "src/correction/chrony_feed.h"
#include "src/settings/settings.h"
#include "src/ui/widget_helpers.h"

#include <glib/gi18n.h>
#include <string>

namespace {

struct ChronyWidgets {
    GtkWidget* lines = nullptr;  // a selectable label
    std::string shown;
};

ChronyWidgets chrony_widgets;

void on_feed_toggled(GtkToggleButton* box, gpointer)
{
    bool on = gtk_toggle_button_get_active(box);
    chrony_feed.store(on ? 1 : 0);
    settings_post_bool(settings_keys::chrony_feed, on);
}

void on_copy_clicked(GtkButton*, gpointer)
{
    const std::string& text = chrony_widgets.shown;
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(), int(text.size()));
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_PRIMARY), text.c_str(), int(text.size()));
}

void on_frame_destroyed(GtkWidget*, gpointer) { chrony_widgets = ChronyWidgets{}; }

GtkWidget* lines_label_new()
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    return label;
}

}  // namespace

void chrony_frame_load_settings(void)
{
    bool on = setting_default_bool(settings_keys::chrony_feed);
    settings_load(settings_keys::chrony_feed, on);
    chrony_feed.store(on ? 1 : 0);
}

GtkWidget* chrony_frame_create(void)
{
    chrony_frame_load_settings();
    GtkWidget* frame = titled_frame_new(_("chrony"));
    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 4);
    gtk_container_add(GTK_CONTAINER(frame), box);
    GtkWidget* check = wrap_button_label(
        check_box_new(_("Give GPS time to chrony instead of setting the clock"),
                      _("Send the GPS time of every second to chrony through the time service; chrony steers the "
                        "clock smoothly and can serve the time to other machines. Satclock then sets no clock. "
                        "Add the lines below to chrony's configuration."),
                      chrony_feed.load() != 0, G_CALLBACK(on_feed_toggled)),
        60);
    gtk_box_pack_start(GTK_BOX(box), check, FALSE, FALSE, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 4);
    chrony_widgets.lines = lines_label_new();
    gtk_box_pack_start(GTK_BOX(row), chrony_widgets.lines, TRUE, TRUE, 0);
    GtkWidget* copy = gtk_button_new_with_label(_("Copy"));
    set_tip(copy, _("Copy the lines for /etc/chrony/conf.d/satclock.conf"));
    g_signal_connect(copy, "clicked", G_CALLBACK(on_copy_clicked), nullptr);
    gtk_box_pack_start(GTK_BOX(row), copy, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
    g_signal_connect(frame, "destroy", G_CALLBACK(on_frame_destroyed), nullptr);
    chrony_frame_refresh();
    return frame;
}

void chrony_frame_refresh(void)
{
    if (!chrony_widgets.lines)
        return;
    std::string lines = chrony_refclock_lines(chrony_line_facts_now());
    if (lines == chrony_widgets.shown)
        return;
    chrony_widgets.shown = lines;
    // The last line end would leave an empty line under the text.
    gchar* markup = g_markup_printf_escaped("<tt><small>%s</small></tt>", lines.substr(0, lines.size() - 1).c_str());
    gtk_label_set_markup(GTK_LABEL(chrony_widgets.lines), markup);
    g_free(markup);
}

const char* chrony_frame_lines(void) { return chrony_widgets.shown.c_str(); }
