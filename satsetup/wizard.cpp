// The wizard's frame, its pages, navigation, texts and language.
#include "satsetup/wizard.h"

#include "common/install_text.h"
#include "common/locale_language.h"
#include "common/process_list.h"
#include "common/user_admin.h"
#include "platform/disk_space.h"
#include "satsetup/elevation.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/installation.h"
#include "satsetup/wizard_pictures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

WizardWindow wizard;
int page_index = 0;
int language_index = -1;
std::string default_install_dir;

namespace {

// Dialog units of the design (MS Sans Serif 8) in pixels: 1.5 across, 1.625 down.
constexpr int kFrameWidth = 497;
constexpr int kFrameHeight = 349;
constexpr int kPageWidth = 483;
constexpr int kPageHeight = 223;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kSidePictureWidth = 140;
constexpr uint64_t kRequiredMb = 20;

bool frame_closed = false;
int frame_exit_code = 0;

const char* const kPageNames[kPageCount] = {"Welcome", "License Agreement", "Select Destination Directory",
                                            "Installing", "Install complete"};

GtkWidget* wrapped_label()
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0);
    gtk_widget_set_size_request(label, kPageWidth - 12, -1);
    return label;
}

void set_label(GtkWidget* label, const char* english) { gtk_label_set_text(GTK_LABEL(label), shown_text(translate_text(english)).c_str()); }

void set_button(GtkWidget* button, const char* english)
{
    gtk_button_set_label(GTK_BUTTON(button), mnemonic_text(translate_text(english)).c_str());
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

void set_check_text(GtkWidget* box, const char* english)
{
    gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(box))), shown_text(translate_text(english)).c_str());
}

// The painted heading of the Welcome and finish pages: face "Super font".
GtkWidget* heading_label(int points, bool wrap)
{
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    gtk_label_set_line_wrap(GTK_LABEL(label), wrap);
    if (wrap)
        gtk_widget_set_size_request(label, kPageWidth - kSidePictureWidth - 16, -1);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Super font");
    pango_font_description_set_weight(font, PANGO_WEIGHT_NORMAL);
    pango_font_description_set_size(font, points * PANGO_SCALE);
    gtk_widget_modify_font(label, font);
    pango_font_description_free(font);
    return label;
}

// The side picture on the left, the page's controls beside it.
GtkWidget* side_picture_page(GtkWidget** column)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), wizard_side_picture(), FALSE, FALSE, 0);
    *column = gtk_vbox_new(FALSE, 8);
    gtk_container_set_border_width(GTK_CONTAINER(*column), 6);
    gtk_box_pack_start(GTK_BOX(row), *column, TRUE, TRUE, 0);
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

GtkWidget* build_welcome_page()
{
    GtkWidget* column = nullptr;
    GtkWidget* page = side_picture_page(&column);
    wizard.welcome_heading = heading_label(14, true);
    gtk_box_pack_start(GTK_BOX(column), wizard.welcome_heading, FALSE, FALSE, 4);
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
    GtkWidget* page = side_picture_page(&column);
    wizard.finish_heading = heading_label(16, false);
    gtk_box_pack_start(GTK_BOX(column), wizard.finish_heading, FALSE, FALSE, 4);
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

int ask(const char* text, const char* caption, GtkMessageType type, bool cancel_default)
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(wizard.frame), GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK_CANCEL,
                                            "%s", shown_text(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(box), cancel_default ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK);
    int answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return answer;
}

void close_frame()
{
    bool launch = page_index == kFinishPage && gtk_widget_is_sensitive(wizard.launch_box) &&
                  gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(wizard.launch_box));
    frame_exit_code = launch ? 3 : 0;
    frame_closed = true;
    gtk_widget_destroy(wizard.frame);
    wizard = WizardWindow{};
    if (gtk_main_level() > 0)
        gtk_main_quit();
}

// The running-program check and the settings backup before the Installing page.
bool ready_to_install()
{
    while (is_program_running()) {
        const char* text = translate_text(
            "Setup has detected that Satclock is currently running.\n\rPlease close all instances of it now, then "
            "click OK to continue, or Cancel to exit.");
        if (ask(text, translate_text("Satclock Setup"), GTK_MESSAGE_INFO, false) != GTK_RESPONSE_OK)
            return false;
    }
    form_install_paths(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)));
    if (backup_settings(data_dir))
        settings_backed_up = true;
    return true;
}

void on_next(GtkButton*, gpointer)
{
    if (page_index == kWelcomePage && !is_user_admin()) {
        gtk_widget_hide(wizard.frame);
        ElevatedRun run = run_elevated_wizard(text_catalogue_is_russian() ? 1 : 0);
        if (run == ElevatedRun::finished) {
            close_frame();
            return;
        }
        gtk_widget_show(wizard.frame);
        if (run == ElevatedRun::declined)
            return;
    }
    if (page_index == kDestinationPage && !ready_to_install())
        return;
    go_to_page(+1);
}

void on_back(GtkButton*, gpointer) { go_to_page(-1); }

void on_cancel(GtkButton*, gpointer)
{
    if (page_index == kInstallingPage) {
        cancel_installation();
        return;
    }
    if (page_index == kFinishPage) {
        apply_finish_page();
    } else {
        const char* text = translate_text("Setup is not complete.\n\rYou really want to exit Setup?");
        if (ask(text, translate_text("Warning"), GTK_MESSAGE_WARNING, true) != GTK_RESPONSE_OK)
            return;
    }
    close_frame();
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer)
{
    on_cancel(nullptr, nullptr);
    return TRUE;
}

GtkWidget* button_row()
{
    GtkWidget* row = gtk_fixed_new();
    gtk_widget_set_size_request(row, kFrameWidth, kButtonHeight + 12);
    wizard.back = gtk_button_new_with_mnemonic("");
    wizard.next = gtk_button_new_with_mnemonic("");
    wizard.cancel = gtk_button_new_with_mnemonic("");
    const struct {
        GtkWidget* button;
        int x;
    } places[] = {{wizard.back, 218}, {wizard.next, 300}, {wizard.cancel, 411}};
    for (const auto& place : places) {
        gtk_widget_set_size_request(place.button, kButtonWidth, kButtonHeight);
        gtk_fixed_put(GTK_FIXED(row), place.button, place.x, 4);
    }
    g_signal_connect(wizard.back, "clicked", G_CALLBACK(on_back), nullptr);
    g_signal_connect(wizard.next, "clicked", G_CALLBACK(on_next), nullptr);
    g_signal_connect(wizard.cancel, "clicked", G_CALLBACK(on_cancel), nullptr);
    return row;
}

GtkWidget* page_area()
{
    GtkWidget* area = gtk_vbox_new(FALSE, 0);
    gtk_widget_set_size_request(area, kPageWidth, kPageHeight);
    GtkWidget* (*builders[kPageCount])() = {build_welcome_page, build_license_page, build_destination_page,
                                            build_installing_page, build_finish_page};
    for (int i = 0; i < kPageCount; ++i) {
        wizard.pages[i] = builders[i]();
        gtk_box_pack_start(GTK_BOX(area), wizard.pages[i], TRUE, TRUE, 0);
        gtk_widget_show_all(wizard.pages[i]);
        gtk_widget_set_no_show_all(wizard.pages[i], TRUE);
        gtk_widget_hide(wizard.pages[i]);
    }
    GtkWidget* frame = gtk_alignment_new(0, 0, 1, 1);
    gtk_alignment_set_padding(GTK_ALIGNMENT(frame), 6, 0, 6, 6);
    gtk_container_add(GTK_CONTAINER(frame), area);
    return frame;
}

}  // namespace

void parse_wizard_command_line(const std::string& command_line)
{
    if (command_line.compare(0, 8, "admin_20") != 0)
        return;
    language_index = std::atoi(command_line.c_str() + 8);
    handover_file = command_line.size() > 10 ? command_line.substr(10) : "";
}

void guess_language()
{
    if (language_index == -1)
        language_index = locale_is_russian_speaking() ? 1 : 0;
}

void select_language()
{
    int entry = gtk_combo_box_get_active(GTK_COMBO_BOX(wizard.language_list));
    if (entry == 1)
        select_text_catalogue(true);
    else if (entry == 0)
        select_text_catalogue(false);
    apply_page_texts();
    update_title();
    gtk_widget_queue_draw(wizard.pages[kWelcomePage]);
}

void update_title()
{
    const char* page = page_index >= 0 && page_index < kPageCount ? translate_text(kPageNames[page_index]) : "";
    std::string title = std::string(translate_text("Satclock Setup")) + " - " + page;
    gtk_window_set_title(GTK_WINDOW(wizard.frame), title.c_str());
}

void apply_page_texts()
{
    if (!wizard.frame)
        return;
    std::string heading = shown_text(translate_text("Welcome to the setup wizard\n for Satclock"));
    gtk_label_set_text(GTK_LABEL(wizard.welcome_heading), (heading + " " + program_version).c_str());
    set_label(wizard.welcome_guide, "This wizard will guide you through the installation of Satclock.");
    set_label(wizard.welcome_continue, "Click Next to continue, or Cancel to exit Setup.");
    set_label(wizard.language_label, "Language");
    set_label(wizard.license_intro,
              "Please read the following License Agreement. Use the scroll bar to view the rest of this agreement.");
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(wizard.license_view)),
                             translate_text(kLicenseAgreementText), -1);
    set_label(wizard.license_accept, "If you accept the terms of the agreement, click I Agree to continue. You must "
                                     "accept the agreement to install Satclock.");
    set_label(wizard.destination_intro, "Setup will install Satclock in the following folder:");
    set_button(wizard.browse, "Browse...");
    set_button(wizard.by_default, "By default");
    set_label(wizard.destination_hint, "To install in a different folder, click Browse and select another "
                                       "folder.\n\rTo restore an initial folder, click By default.\n\rClick Next to "
                                       "continue.");
    set_check_text(wizard.menu_folder_box, "Create the Start Menu folder");
    set_check_text(wizard.desktop_icon_box, "Create a desktop icon");
    set_label(wizard.installing_text, "Currently installing Satclock");
    set_check_text(wizard.keep_settings_box, "Save the setting of the previous Satclock installing");
    set_check_text(wizard.autorun_box, "Run the application at startup");
    set_check_text(wizard.launch_box, "Launch Satclock Now");
    apply_finish_texts();
    set_button(wizard.back, "<&Back");
    set_button(wizard.next, page_index == kDestinationPage ? "&Install"
                            : page_index == kLicensePage   ? "I &Agree"
                                                           : "&Next>");
    set_button(wizard.cancel, page_index == kFinishPage ? "Finish" : "C&ancel");
    update_disk_space(nullptr);
}

void go_to_page(int step)
{
    page_index = std::min(page_index + step, int(kFinishPage));
    for (GtkWidget* page : wizard.pages)
        gtk_widget_hide(page);
    gtk_widget_set_visible(wizard.back, page_index == kLicensePage || page_index == kDestinationPage);
    gtk_widget_set_visible(wizard.next, page_index <= kDestinationPage);
    set_button(wizard.next, page_index == kDestinationPage ? "&Install"
                            : page_index == kLicensePage   ? "I &Agree"
                                                           : "&Next>");
    // The elevation shield: Next of the Welcome page may ask for the administrator's password.
    GtkWidget* shield = page_index == kWelcomePage
                            ? gtk_image_new_from_stock(GTK_STOCK_DIALOG_AUTHENTICATION, GTK_ICON_SIZE_BUTTON)
                            : nullptr;
    gtk_button_set_image(GTK_BUTTON(wizard.next), shield);
    if (page_index == kFinishPage)
        set_button(wizard.cancel, "Finish");
    if (page_index == kInstallingPage)
        start_installation();
    else if (page_index == kFinishPage)
        show_finish_page();
    gtk_widget_show(wizard.pages[page_index]);
    update_title();
}

std::string free_space_text(uint64_t free_bytes, const std::string& mount_point)
{
    double figure = 0;
    const char* unit = "Gb";
    if (free_bytes < 10485760ull) {
        figure = double(free_bytes) / 1024;
        unit = "Kb";
    } else if (free_bytes < 10737418240ull) {
        figure = double(free_bytes) / 1048576;
        unit = "Mb";
    } else {
        figure = double(free_bytes) / 1073741824;
    }
    char number[64];
    std::snprintf(number, sizeof number, "%.2f", figure);
    // The separator of the selected language's numbers.
    if (text_catalogue_is_russian())
        if (char* point = std::strchr(number, '.'))
            *point = ',';
    char line[512];
    std::snprintf(line, sizeof line, "%s %s: %s %s.", translate_text("Free space on a disk "), mount_point.c_str(),
                  number, translate_text(unit));
    return line;
}

std::string requirement_text()
{
    char line[256];
    std::snprintf(line, sizeof line, "%s %d %s.", translate_text("Requirements to install program:"), int(kRequiredMb),
                  translate_text("Mb"));
    return line;
}

bool update_disk_space(const char* path)
{
    std::string where = path ? path : default_install_dir;
    if (where.empty() || !wizard.frame)
        return false;
    uint64_t free_bytes = 0;
    std::string mount_point;
    if (!disk_free_space(where, &free_bytes, &mount_point))
        return false;
    gtk_label_set_text(GTK_LABEL(wizard.free_space_line), free_space_text(free_bytes, mount_point).c_str());
    gtk_label_set_text(GTK_LABEL(wizard.requirement_line), requirement_text().c_str());
    return true;
}

bool wizard_create()
{
    frame_closed = false;
    frame_exit_code = 0;
    page_index = 0;
    wizard.frame = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(wizard.frame), FALSE);
    gtk_window_set_position(GTK_WINDOW(wizard.frame), GTK_WIN_POS_CENTER);
    gtk_widget_set_size_request(wizard.frame, kFrameWidth, kFrameHeight);
    g_signal_connect(wizard.frame, "delete-event", G_CALLBACK(on_delete), nullptr);
    GtkWidget* layout = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout), wizard_banner_picture(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout), gtk_hseparator_new(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout), page_area(), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(layout), gtk_hseparator_new(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(layout), button_row(), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(wizard.frame), layout);
    set_up_destination_page();
    set_up_welcome_page();
    apply_page_texts();
    go_to_page(0);
    gtk_widget_show_all(wizard.frame);
    gtk_widget_set_visible(wizard.back, FALSE);
    return true;
}

bool wizard_closed() { return frame_closed; }
int wizard_exit_code() { return frame_exit_code; }

int wizard_main(int argc, char** argv)
{
    std::string command_line;
    for (int i = 1; i < argc; ++i)
        command_line += (i > 1 ? " " : "") + std::string(argv[i]);
    parse_wizard_command_line(command_line);
    if (!gtk_init_check(&argc, &argv)) {
        std::fputs("satsetup: no display; for an installation without one: satsetup --unattended\n", stderr);
        return 0;
    }
    if (!wizard_create())
        return 0;
    gtk_main();
    return frame_exit_code;
}
