// The setup wizard: one frame window with a banner, five pages shown one at a
// time and the Back, Next and Cancel buttons.
#pragma once

#include "common/install_text.h"

#include <cstdint>
#include <gtk/gtk.h>
#include <string>

enum WizardPage { kWelcomePage, kLicensePage, kDestinationPage, kInstallingPage, kFinishPage, kPageCount };

// The widgets, named after the controls of each page.
struct WizardWindow {
    GtkWidget* frame = nullptr;
    GtkWidget* back = nullptr;
    GtkWidget* next = nullptr;
    GtkWidget* cancel = nullptr;
    GtkWidget* button_row = nullptr;  // the fixed that holds Back, Next and Cancel
    GtkWidget* pages[kPageCount] = {};
    // Welcome
    GtkWidget* welcome_heading = nullptr;
    GtkWidget* welcome_guide = nullptr;     // 1006
    GtkWidget* welcome_continue = nullptr;  // 1007
    GtkWidget* language_label = nullptr;    // 1004
    GtkWidget* language_list = nullptr;     // 1003
    // License Agreement
    GtkWidget* license_intro = nullptr;     // 1005
    GtkWidget* license_view = nullptr;      // 1000
    GtkWidget* license_accept = nullptr;    // 1006
    // Select Destination Directory
    GtkWidget* destination_intro = nullptr;  // 1022
    GtkWidget* destination_field = nullptr;  // 1024
    GtkWidget* browse = nullptr;             // 1021
    GtkWidget* by_default = nullptr;         // 1008
    GtkWidget* destination_hint = nullptr;   // 1010
    GtkWidget* menu_folder_box = nullptr;    // 1023
    GtkWidget* desktop_icon_box = nullptr;   // 1009
    GtkWidget* clock_user_box = nullptr;     // "Let USER set the clock" (hidden when root installs for itself)
    GtkWidget* free_space_line = nullptr;    // 1012
    GtkWidget* requirement_line = nullptr;   // 1013
    // Installing
    GtkWidget* installing_text = nullptr;    // 1014
    GtkWidget* status_line = nullptr;        // 1013
    GtkWidget* progress = nullptr;           // 1002
    // Install complete
    GtkWidget* finish_heading = nullptr;
    GtkWidget* finish_result = nullptr;      // 1011
    GtkWidget* keep_settings_box = nullptr;  // 1022
    GtkWidget* autorun_box = nullptr;        // 1021
    GtkWidget* launch_box = nullptr;         // 1020
    GtkWidget* finish_hint = nullptr;        // 1010
};

extern WizardWindow wizard;
extern int page_index;
extern int language_index;
extern std::string default_install_dir;

// Program entry of the wizard: the command line after the program name.
// Returns the exit code: 0, or 3 when the program is to be launched.
int wizard_main(int argc, char** argv);

// Reads "admin_20<digit> <hand-over file>" into language_index and handover_file.
void parse_wizard_command_line(const std::string& command_line);
// Builds and shows the frame (GTK initialised); false when it cannot.
bool wizard_create();
// Whether the frame was closed, and the exit code it was closed with.
bool wizard_closed();
int wizard_exit_code();

void go_to_page(int step);
void update_title();
void apply_page_texts();
void select_language();
void guess_language();
bool update_disk_space(const char* path);

// The two disk lines for a file system's free bytes and mount point, in the
// selected language.
std::string free_space_text(uint64_t free_bytes, const std::string& mount_point);
std::string requirement_text();

// The Installing page (wizard_install.cpp): start the worker when the page is
// shown (finished runs on the UI thread once it has ended), cancel it (the
// rollback done when it returns), set up the finish page, apply Finish.
void start_installation(void (*finished)());
void cancel_installation();
void show_finish_page();
void apply_finish_page();
bool installation_running();
// The finish page's texts for the installation's result (wizard_texts.cpp).
void apply_finish_texts();
