// The installer's process-wide state, shared by the wizard, the installation
// worker and the unattended mode.
#pragma once

#include "common/program_version.h"

#include <atomic>
#include <string>

// The worker's result.
enum InstallResult : int {
    kInstalled = 0,
    kInterrupted = 1,          // Cancel; the rollback has run
    kNoRun = -1,               // no run yet, or nothing to report progress to
    kFolderFailed = -3,        // the install or data folder cannot be created
    kResourceMissing = -4,     // a part of the payload is missing
    kResourceCreateFailed = -5,
    kResourceWriteFailed = -6,
    kResourceShort = -7,
    kTempDeleteFailed = -8,
    kUnpackFailed = -9,        // the extraction tool reported a failure
    kDesktopFolderFailed = -10,
    kProgramsFolderFailed = -11,
    kMenuFolderFailed = -12,
    kDestinationRefused = -13,  // relative, or a folder on the way others may change
    kServiceRefused = -14,      // clockkeeper install failed
    kUserFolderRefused = -15,   // an entry in a user's folder was refused
};

// Written by the UI thread before the worker starts (or by the unattended
// mode), read by the worker.
extern std::string install_dir;   // destination with its trailing slash
extern std::string bin_dir;       // install_dir + "bin/"
extern std::string data_dir;      // Common AppData + "/satclock/"
extern bool create_desktop_icon;  // "Create a desktop icon"
extern bool create_menu_folder;   // "Create the Start Menu folder"
// "Let USER set the clock": the account added to the channel's group (made
// when missing) before the service starts; empty for none.
extern std::string clock_user;

// Written by the worker; both start true, so a rollback without a worker run
// removes neither folder.
extern bool install_dir_existed;
extern bool data_dir_existed;
// Steps of this run that the rollback undoes beyond the list: the service was
// asked to install itself; the uninstall entry and the program link were written.
extern bool service_install_started;
extern bool registry_entries_written;

// -1 before any run; written by the worker or the cancel path before the
// wizard moves to its finish page.
extern std::atomic<int> install_result;
// The cause of a failed run in words (a path and why), or empty; written by
// the worker before install_result.
void set_install_failure_detail(const std::string& detail);
std::string install_failure_detail();
// Set when backup_settings made at least one copy; never cleared.
extern bool settings_backed_up;
// Only in an elevated copy: the file through which the program to launch is
// handed back to the first copy.
extern std::string handover_file;

// install_dir, bin_dir and data_dir from the destination text.
void form_install_paths(const std::string& destination);
