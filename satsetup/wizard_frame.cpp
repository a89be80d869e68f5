// The wizard's frame: banner, page area, the Back, Next and Cancel row, the
// moves between pages, and the program entry.
#include "common/install_text.h"
#include "common/process_list.h"
#include "common/user_admin.h"
#include "satsetup/elevation.h"
#include "satsetup/install_registrations.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/installation.h"
#include "satsetup/settings_backup.h"
#include "satsetup/wizard.h"
#include "satsetup/wizard_parts.h"
#include "satsetup/wizard_pictures.h"

#include <algorithm>
#include <cstdio>

namespace {

bool frame_closed = false;
int frame_exit_code = 0;

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

void tell(const std::string& text)
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(wizard.frame), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                            GTK_BUTTONS_OK, "%s", shown_text(text.c_str()).c_str());
    gtk_window_set_title(GTK_WINDOW(box), translate_text("Satclock Setup"));
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

// The checks before the Installing page: a destination only root may change,
// no running Satclock, consent to taking over an earlier installation, then
// the settings backup.
bool ready_to_install()
{
    form_install_paths(gtk_entry_get_text(GTK_ENTRY(wizard.destination_field)));
    if (std::string why = destination_refusal(install_dir); !why.empty()) {
        tell(why);
        return false;
    }
    while (is_program_running()) {
        const char* text = translate_text(
            "Setup has detected that Satclock is currently running.\n\rPlease close all instances of it now, then "
            "click OK to continue, or Cancel to exit.");
        if (ask(text, translate_text("Satclock Setup"), GTK_MESSAGE_INFO, false) != GTK_RESPONSE_OK)
            return false;
    }
    std::string earlier = earlier_installation_notice(install_dir);
    if (!earlier.empty() && ask(earlier, translate_text("Satclock Setup"), GTK_MESSAGE_INFO, false) != GTK_RESPONSE_OK)
        return false;
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
        go_to_page(10);
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
    GtkWidget* row = wizard.button_row = gtk_fixed_new();
    request_at_least(row, kFrameWidth, kButtonHeight + 12);
    wizard.back = gtk_button_new_with_mnemonic("");
    wizard.next = gtk_button_new_with_mnemonic("");
    wizard.cancel = gtk_button_new_with_mnemonic("");
    for (GtkWidget* button : {wizard.back, wizard.next, wizard.cancel})
        gtk_fixed_put(GTK_FIXED(row), button, 0, 4);
    g_signal_connect(wizard.back, "clicked", G_CALLBACK(on_back), nullptr);
    g_signal_connect(wizard.next, "clicked", G_CALLBACK(on_next), nullptr);
    g_signal_connect(wizard.cancel, "clicked", G_CALLBACK(on_cancel), nullptr);
    return row;
}

GtkWidget* page_area()
{
    GtkWidget* area = gtk_vbox_new(FALSE, 0);
    request_at_least(area, kPageWidth, kPageHeight);
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

int ask(const std::string& text, const char* caption, GtkMessageType type, bool cancel_default)
{
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(wizard.frame), GTK_DIALOG_MODAL, type, GTK_BUTTONS_OK_CANCEL,
                                            "%s", shown_text(text.c_str()).c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption);
    gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(box), cancel_default ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK);
    int answer = gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
    return answer;
}

void go_to_page(int step)
{
    page_index = std::min(page_index + step, int(kFinishPage));
    for (GtkWidget* page : wizard.pages)
        gtk_widget_hide(page);
    gtk_widget_set_visible(wizard.back, page_index == kLicensePage || page_index == kDestinationPage);
    gtk_widget_set_visible(wizard.next, page_index <= kDestinationPage);
    set_button(wizard.next, next_button_text());
    // The elevation shield: Next of the Welcome page may ask for the administrator's password.
    GtkWidget* shield = page_index == kWelcomePage
                            ? gtk_image_new_from_stock(GTK_STOCK_DIALOG_AUTHENTICATION, GTK_ICON_SIZE_BUTTON)
                            : nullptr;
    gtk_button_set_image(GTK_BUTTON(wizard.next), shield);
    if (page_index == kFinishPage)
        set_button(wizard.cancel, "Finish");
    if (page_index == kInstallingPage)
        start_installation([] { go_to_page(10); });
    else if (page_index == kFinishPage)
        show_finish_page();
    place_buttons();
    gtk_widget_show(wizard.pages[page_index]);
    update_title();
}

bool wizard_create()
{
    frame_closed = false;
    frame_exit_code = 0;
    page_index = 0;
    wizard.frame = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(wizard.frame), FALSE);
    gtk_window_set_position(GTK_WINDOW(wizard.frame), GTK_WIN_POS_CENTER);
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
