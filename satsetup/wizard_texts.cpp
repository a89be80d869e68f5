// The wizard's state and texts in the selected language: the command line's
// preset, the language choice, the title, every page's texts, the finish
// page's result, the button row placed for its texts and the disk lines.
#include "common/install_text.h"
#include "common/locale_language.h"
#include "platform/disk_space.h"
#include "platform/user_accounts.h"
#include "satsetup/install_state.h"
#include "satsetup/installation.h"
#include "satsetup/wizard.h"
#include "satsetup/wizard_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

WizardWindow wizard;
int page_index = 0;
int language_index = -1;
std::string default_install_dir;

namespace {

constexpr uint64_t kRequiredMb = 20;

// The design's row: Cancel ends 11 pixels from the right edge, Next 36 before
// it, Back 7 before Next.
constexpr int kRightMargin = 11;
constexpr int kNextCancelGap = 36;
constexpr int kBackNextGap = 7;

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

int button_width(GtkWidget* button)
{
    gtk_widget_set_size_request(button, -1, -1);
    GtkRequisition natural{};
    gtk_widget_size_request(button, &natural);
    int width = std::max(kButtonWidth, natural.width);
    gtk_widget_set_size_request(button, width, std::max(kButtonHeight, natural.height));
    return width;
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

void place_buttons()
{
    GtkWidget* row = wizard.button_row;
    if (!row)
        return;
    int cancel_width = button_width(wizard.cancel);
    int next_width = button_width(wizard.next);
    int back_width = button_width(wizard.back);
    int row_width = std::max(kFrameWidth, row->allocation.width);
    int cancel_x = row_width - kRightMargin - cancel_width;
    int next_x = cancel_x - kNextCancelGap - next_width;
    gtk_fixed_move(GTK_FIXED(row), wizard.cancel, cancel_x, 4);
    gtk_fixed_move(GTK_FIXED(row), wizard.next, next_x, 4);
    gtk_fixed_move(GTK_FIXED(row), wizard.back, std::max(4, next_x - kBackNextGap - back_width), 4);
}

void apply_finish_texts()
{
    int result = install_result.load();
    const char* heading = result == kInstalled     ? "Install complete."
                          : result == kInterrupted ? "Install interrupt."
                                                   : "Install is not complete.";
    gtk_label_set_text(GTK_LABEL(wizard.finish_heading), shown_text(translate_text(heading)).c_str());
    const char* text = "Satclock was successfully installed.";
    const char* hint = "Click Finish to complete Setup.";
    std::string reason;
    if (result == kInterrupted) {
        text = "The wizard was interrupted before Satclock could be completely installed.";
        hint = "To install Satclock at a later time, please run the installation again.";
    } else if (result < 0 && page_index == kFinishPage) {
        text = "Satclock was not completely installed.";
        hint = "Click Finish to exit Setup.";
        // The cause and, where the user can act, the remedy.
        reason = "\n" + install_failure_text(result);
    }
    gtk_label_set_text(GTK_LABEL(wizard.finish_result), (shown_text(translate_text(text)) + reason).c_str());
    gtk_label_set_text(GTK_LABEL(wizard.finish_hint), shown_text(translate_text(hint)).c_str());
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
