// The wizard's five pages: their controls, and how the Welcome and destination
// pages start.
#include "common/install_text.h"
#include "platform/user_accounts.h"
#include "satsetup/install_steps.h"
#include "satsetup/wizard.h"
#include "satsetup/wizard_parts.h"
#include "satsetup/wizard_pictures.h"

#include <algorithm>
#include <string>

namespace {

struct MinimumSize {
    int width;
    int height;
};

void on_size_request(GtkWidget*, GtkRequisition* requisition, gpointer data)
{
    auto* minimum = static_cast<MinimumSize*>(data);
    requisition->width = std::max(requisition->width, minimum->width);
    requisition->height = std::max(requisition->height, minimum->height);
}

void free_minimum(gpointer data, GClosure*) { delete static_cast<MinimumSize*>(data); }

GtkWidget* wrapped_label()
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0);
    gtk_widget_set_size_request(label, kPageWidth - 12, -1);
    return label;
}

// A check box whose text wraps within the page.
GtkWidget* check_box(int width)
{
    GtkWidget* box = gtk_check_button_new();
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_widget_set_size_request(label, width, -1);
    gtk_container_add(GTK_CONTAINER(box), label);
    return box;
}

// The painted heading of the Welcome and finish pages: face "Super font".
GtkWidget* heading_label(int points)
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, kPageWidth - kSidePictureWidth - 16, -1);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Super font");
    pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
    pango_font_description_set_size(font, points * PANGO_SCALE);
    gtk_widget_modify_font(label, font);
    pango_font_description_free(font);
    return label;
}

// The side picture on the left; beside it a column of controls under the
// painted heading.
GtkWidget* side_picture_page(int heading_points, GtkWidget** heading, GtkWidget** column)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* picture = gtk_alignment_new(0, 0, 0, 0);
    gtk_container_add(GTK_CONTAINER(picture), wizard_side_picture());
    gtk_box_pack_start(GTK_BOX(row), picture, FALSE, FALSE, 0);
    *column = gtk_vbox_new(FALSE, 8);
    gtk_container_set_border_width(GTK_CONTAINER(*column), 6);
    gtk_box_pack_start(GTK_BOX(row), *column, TRUE, TRUE, 0);
    *heading = heading_label(heading_points);
    gtk_box_pack_start(GTK_BOX(*column), *heading, FALSE, FALSE, 4);
    return row;
}

GtkWidget* column_label(GtkWidget* column)
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0);
    gtk_widget_set_size_request(label, kPageWidth - kSidePictureWidth - 16, -1);
    gtk_box_pack_start(GTK_BOX(column), label, FALSE, FALSE, 0);
    return label;
}

void on_language_changed(GtkComboBox*, gpointer) { select_language(); }

void on_browse(GtkButton*, gpointer)
{
    GtkWidget* chooser = gtk_file_chooser_dialog_new(
        translate_text("Select directory for installing"), GTK_WINDOW(wizard.frame),
        GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN,
        GTK_RESPONSE_ACCEPT, nullptr);
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (folder)
            gtk_entry_set_text(GTK_ENTRY(wizard.destination_field), folder);
        g_free(folder);
    }
    gtk_widget_destroy(chooser);
}

void on_by_default(GtkButton*, gpointer)
{
    gtk_entry_set_text(GTK_ENTRY(wizard.destination_field), default_install_dir.c_str());
}

void on_destination_changed(GtkEditable*, gpointer)
{
    std::string text = gtk_entry_get_text(GTK_ENTRY(wizard.destination_field));
    update_disk_space(text.substr(0, 500).c_str());
}

}  // namespace

void request_at_least(GtkWidget* widget, int width, int height)
{
    g_signal_connect_data(widget, "size-request", G_CALLBACK(on_size_request), new MinimumSize{width, height},
                          free_minimum, G_CONNECT_AFTER);
}

GtkWidget* build_welcome_page()
{
    GtkWidget* column = nullptr;
    GtkWidget* page = side_picture_page(14, &wizard.welcome_heading, &column);
    wizard.welcome_guide = column_label(column);
    wizard.welcome_continue = column_label(column);
    GtkWidget* row = gtk_hbox_new(FALSE, 8);
    wizard.language_label = gtk_label_new(nullptr);
    wizard.language_list = gtk_combo_box_new_text();
    gtk_combo_box_append_text(GTK_COMBO_BOX(wizard.language_list), "English");
    gtk_combo_box_append_text(GTK_COMBO_BOX(wizard.language_list), "Russian");
    gtk_box_pack_start(GTK_BOX(row), wizard.language_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), wizard.language_list, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(column), row, FALSE, FALSE, 0);
    return page;
}

GtkWidget* build_license_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 6);
    wizard.license_intro = wrapped_label();
    gtk_box_pack_start(GTK_BOX(page), wizard.license_intro, FALSE, FALSE, 0);
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_ALWAYS);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    wizard.license_view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(wizard.license_view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(wizard.license_view), GTK_WRAP_WORD);
    gtk_container_add(GTK_CONTAINER(scroller), wizard.license_view);
    gtk_box_pack_start(GTK_BOX(page), scroller, TRUE, TRUE, 0);
    wizard.license_accept = wrapped_label();
    gtk_box_pack_start(GTK_BOX(page), wizard.license_accept, FALSE, FALSE, 0);
    return page;
}

GtkWidget* build_destination_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 6);
    wizard.destination_intro = wrapped_label();
    gtk_box_pack_start(GTK_BOX(page), wizard.destination_intro, FALSE, FALSE, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 6);
    wizard.destination_field = gtk_entry_new();
    gtk_entry_set_max_length(GTK_ENTRY(wizard.destination_field), 500);
    wizard.browse = gtk_button_new();
    wizard.by_default = gtk_button_new();
    gtk_box_pack_start(GTK_BOX(row), wizard.destination_field, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(row), wizard.browse, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), wizard.by_default, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), row, FALSE, FALSE, 0);
    wizard.destination_hint = wrapped_label();
    gtk_box_pack_start(GTK_BOX(page), wizard.destination_hint, FALSE, FALSE, 0);
    wizard.menu_folder_box = check_box(kPageWidth - 40);
    wizard.desktop_icon_box = check_box(kPageWidth - 40);
    gtk_box_pack_start(GTK_BOX(page), wizard.menu_folder_box, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), wizard.desktop_icon_box, FALSE, FALSE, 0);
    wizard.clock_user_box = check_box(kPageWidth - 40);
    gtk_box_pack_start(GTK_BOX(page), wizard.clock_user_box, FALSE, FALSE, 0);
    wizard.free_space_line = wrapped_label();
    wizard.requirement_line = wrapped_label();
    gtk_box_pack_end(GTK_BOX(page), wizard.requirement_line, FALSE, FALSE, 0);
    gtk_box_pack_end(GTK_BOX(page), wizard.free_space_line, FALSE, FALSE, 0);
    g_signal_connect(wizard.browse, "clicked", G_CALLBACK(on_browse), nullptr);
    g_signal_connect(wizard.by_default, "clicked", G_CALLBACK(on_by_default), nullptr);
    g_signal_connect(wizard.destination_field, "changed", G_CALLBACK(on_destination_changed), nullptr);
    return page;
}

GtkWidget* build_installing_page()
{
    GtkWidget* page = gtk_vbox_new(FALSE, 12);
    gtk_container_set_border_width(GTK_CONTAINER(page), 12);
    wizard.installing_text = wrapped_label();
    wizard.status_line = wrapped_label();
    wizard.progress = gtk_progress_bar_new();
    gtk_box_pack_start(GTK_BOX(page), wizard.installing_text, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), wizard.status_line, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), wizard.progress, FALSE, FALSE, 0);
    return page;
}

GtkWidget* build_finish_page()
{
    GtkWidget* column = nullptr;
    GtkWidget* page = side_picture_page(16, &wizard.finish_heading, &column);
    wizard.finish_result = column_label(column);
    for (GtkWidget** box : {&wizard.keep_settings_box, &wizard.autorun_box, &wizard.launch_box})
        *box = check_box(kPageWidth - kSidePictureWidth - 44);
    for (GtkWidget* box : {wizard.keep_settings_box, wizard.autorun_box, wizard.launch_box})
        gtk_box_pack_start(GTK_BOX(column), box, FALSE, FALSE, 0);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.keep_settings_box), FALSE);
    gtk_widget_set_sensitive(wizard.keep_settings_box, FALSE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.autorun_box), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.launch_box), TRUE);
    wizard.finish_hint = column_label(column);
    return page;
}

void set_up_destination_page()
{
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.menu_folder_box), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.desktop_icon_box), TRUE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(wizard.clock_user_box), TRUE);
    // Root may set the clock already: the box is only for an ordinary user.
    Account user;
    gtk_widget_set_no_show_all(wizard.clock_user_box, !invoking_account(&user) || user.uid == 0);
    default_install_dir = add_trailing_slash("/opt") + "Satclock";
    gtk_entry_set_text(GTK_ENTRY(wizard.destination_field), default_install_dir.c_str());
    if (!update_disk_space(default_install_dir.c_str()))
        gtk_label_set_text(GTK_LABEL(wizard.free_space_line), (std::string("0 ") + translate_text("Kb") + ".").c_str());
}

void set_up_welcome_page()
{
    guess_language();
    gtk_combo_box_set_active(GTK_COMBO_BOX(wizard.language_list), language_index);
    select_language();
    g_signal_connect(wizard.language_list, "changed", G_CALLBACK(on_language_changed), nullptr);
}
