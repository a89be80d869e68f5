// The wizard's texts in the selected language: the command line's preset,
// the language choice, the title, every page's texts and the disk lines.
#include "common/install_text.h"
#include "common/locale_language.h"
#include "platform/disk_space.h"
#include "platform/user_accounts.h"
#include "satsetup/install_state.h"
#include "satsetup/wizard.h"
#include "satsetup/wizard_parts.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t kRequiredMb = 20;

const char* const kPageNames[kPageCount] = {"Welcome", "License Agreement", "Select Destination Directory",
                                            "Installing", "Install complete"};

// The finish page's name: what the installation came to.
const char* finish_page_name()
{
    int result = install_result.load();
    if (result == kInterrupted)
        return "Install interrupted";
    return result == kInstalled ? "Install complete" : "Install not complete";
}

}  // namespace

void set_label(GtkWidget* label, const char* english)
{
    gtk_label_set_text(GTK_LABEL(label), shown_text(translate_text(english)).c_str());
}

void set_button(GtkWidget* button, const char* english)
{
    gtk_button_set_label(GTK_BUTTON(button), mnemonic_text(translate_text(english)).c_str());
}

void set_check_text(GtkWidget* box, const char* english)
{
    gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(box))), shown_text(translate_text(english)).c_str());
}

// "Let USER set the clock", USER the account that started the installer.
void set_clock_user_text()
{
    Account user;
    std::string name = invoking_account(&user) ? user.name : "";
    char* text = g_strdup_printf(translate_text("Let %s set the clock"), name.c_str());
    gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(wizard.clock_user_box))), shown_text(text).c_str());
    g_free(text);
}

const char* next_button_text()
{
    return page_index == kDestinationPage ? "&Install" : page_index == kLicensePage ? "I &Agree" : "&Next>";
}

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
    const char* page = page_index == kFinishPage                        ? translate_text(finish_page_name())
                       : page_index >= 0 && page_index < kPageCount ? translate_text(kPageNames[page_index])
                                                                        : "";
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
    set_clock_user_text();
    set_label(wizard.installing_text, "Currently installing Satclock");
    set_check_text(wizard.keep_settings_box, "Save the setting of the previous Satclock installing");
    set_check_text(wizard.autorun_box, "Run the application at startup");
    set_check_text(wizard.launch_box, "Launch Satclock Now");
    apply_finish_texts();
    set_button(wizard.back, "<&Back");
    set_button(wizard.next, next_button_text());
    set_button(wizard.cancel, page_index == kFinishPage ? "Finish" : "C&ancel");
    place_buttons();
    update_disk_space(nullptr);
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
