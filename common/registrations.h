// Where the installer registers the package for removal, and the removal of
// those registrations by the uninstaller or a rollback.
#pragma once

#include <string>

// The uninstall entry "satclock-uninstall.desktop" in Common Programs.
std::string uninstall_entry_path();

// The program's link "satclock" in the command folder
// (SATCLOCK_BIN_LINK_DIR, else /usr/local/bin).
std::string program_link_path();

// The install folder (with its trailing slash) that the uninstall entry names
// by its uninstaller, or empty when there is no entry.
std::string registered_install_dir();

// Removes the uninstall entry, the program's link and the wizard's polkit
// policy, each only when it belongs to the installation in install_dir: a
// later installation's registrations stay.
void remove_registrations(const std::string& install_dir);
