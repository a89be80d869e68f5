// The intro window: texts, program picture, tray picture, check box, OK and Help.
#include "src/ui/intro.h"

#include "src/settings/settings.h"
#include "src/ui/about_page.h"
#include "src/ui/help.h"
#include "src/ui/resources.h"

#include <glib/gi18n.h>

GtkWidget* intro_dialog = nullptr;

namespace {

GtkWidget* paragraph(const char* text)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0, 0.5);
    return label;
}

void on_never_show_toggled(GtkToggleButton* box, gpointer)
{
    settings_post_bool(settings_keys::screen_no_show, gtk_toggle_button_get_active(box));
}

void on_help_clicked(GtkButton*, gpointer) { help_show(); }

void on_destroy(GtkWidget*, gpointer)
{
    intro_dialog = nullptr;
    gtk_main_quit();
}

void add_pictures_and_texts(GtkWidget* row)
{
    if (GdkPixbuf* icon = res_load_pixbuf("icon.png")) {
        GtkWidget* align = gtk_alignment_new(0.0, 0.0, 0.5, 0.0);
        gtk_container_add(GTK_CONTAINER(align), gtk_image_new_from_pixbuf(icon));
        g_object_unref(icon);
        gtk_box_pack_start(GTK_BOX(row), align, TRUE, FALSE, 0);
    }
    GtkWidget* texts = gtk_vbox_new(FALSE, 6);
    gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(texts),
                       paragraph(_("Satclock can be started in the background quietly. You can access settings, "
                                   "correct the PC clock or quit Satclock by right-clicking on the taskbar icon. "
                                   "There you can select various items from a menu.")),
                       TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(texts), paragraph(_("Below are the examples of Satclock in the tray bar.")), TRUE,
                       TRUE, 0);
    if (GdkPixbuf* sample = res_load_pixbuf("tray_sample.png")) {
        gtk_box_pack_start(GTK_BOX(texts), gtk_image_new_from_pixbuf(sample), FALSE, TRUE, 0);
        g_object_unref(sample);
    }
}

void add_check_box_and_buttons(GtkWidget* row)
{
    GtkWidget* box = gtk_check_button_new();
    GtkWidget* label = gtk_label_new(nullptr);
    gchar* markup = g_markup_printf_escaped("<span size=\"small\">%s</span>", _("Never show this dialog again"));
    gtk_label_set_markup(GTK_LABEL(label), markup);
    g_free(markup);
    gtk_container_add(GTK_CONTAINER(box), label);
    g_signal_connect(box, "toggled", G_CALLBACK(on_never_show_toggled), nullptr);
    gtk_box_pack_start(GTK_BOX(row), box, TRUE, TRUE, 0);

    GtkWidget* buttons = gtk_hbutton_box_new();
    gtk_box_set_spacing(GTK_BOX(buttons), 6);
    gtk_box_pack_end(GTK_BOX(row), buttons, FALSE, FALSE, 0);
    GtkWidget* help = gtk_button_new_from_stock(GTK_STOCK_HELP);
    GtkWidget* ok = gtk_button_new_from_stock(GTK_STOCK_OK);
    // A button box places its children in the order they were added: OK, then Help.
    gtk_box_pack_start(GTK_BOX(buttons), ok, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(buttons), help, TRUE, TRUE, 0);
    g_signal_connect(help, "clicked", G_CALLBACK(on_help_clicked), nullptr);
    g_signal_connect_swapped(ok, "clicked", G_CALLBACK(gtk_widget_destroy), intro_dialog);
    GTK_WIDGET_SET_FLAGS(ok, GTK_CAN_DEFAULT);
    gtk_widget_grab_focus(help);
    gtk_widget_grab_focus(ok);
}

void show_raised(GtkWindow* window)
{
    gtk_widget_show_all(GTK_WIDGET(window));
    gtk_window_deiconify(window);
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_set_keep_above(window, FALSE);
    if (GTK_WIDGET(window)->window)
        gdk_window_show(GTK_WIDGET(window)->window);
}

}  // namespace

void intro_dialog_show()
{
    bool never_show = setting_default_bool(settings_keys::screen_no_show);
    settings_load(settings_keys::screen_no_show, never_show);
    if (never_show || intro_dialog)
        return;
    intro_dialog = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gchar* title = g_strdup_printf("Satclock %s", program_version);
    gtk_window_set_title(GTK_WINDOW(intro_dialog), title);
    g_free(title);

    GtkWidget* outer = gtk_vbox_new(FALSE, 8);
    gtk_container_set_border_width(GTK_CONTAINER(outer), 4);
    gtk_container_add(GTK_CONTAINER(intro_dialog), outer);
    GtkWidget* top = gtk_hbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(outer), top, TRUE, TRUE, 0);
    add_pictures_and_texts(top);
    GtkWidget* bottom = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(outer), bottom, TRUE, TRUE, 0);
    add_check_box_and_buttons(bottom);

    // The close box destroys the window like OK does.
    g_signal_connect(intro_dialog, "delete_event", G_CALLBACK(gtk_false), nullptr);
    g_signal_connect(intro_dialog, "destroy", G_CALLBACK(on_destroy), nullptr);
    gtk_window_set_position(GTK_WINDOW(intro_dialog), GTK_WIN_POS_CENTER);
    show_raised(GTK_WINDOW(intro_dialog));
    gtk_main();
}
