// Where the installer registers the package for removal and the uninstaller
// deletes that registration again.
#pragma once

#include <string>

// The uninstall entry "satclock-uninstall.desktop" in Common Programs.
std::string uninstall_entry_path();

// The program's link "satclock" in the command folder
// (SATCLOCK_BIN_LINK_DIR, else /usr/local/bin).
std::string program_link_path();
