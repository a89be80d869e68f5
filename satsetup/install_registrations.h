// The installation's registrations: the uninstall entry, the program's link
// on the command path, the polkit policy of its programs; and what an earlier
// installation had registered.
#pragma once

#include <string>

// The uninstall entry in Common Programs, the program's link in the command
// folder (SATCLOCK_BIN_LINK_DIR, else /usr/local/bin) and the polkit policy
// (SATCLOCK_POLKIT_DIR, else /usr/share/polkit-1/actions).
void write_registry_entries();
// Deletes them again when they are this installation's.
void delete_registry_entries();

// What an installation into install_dir does to an earlier one, in the
// selected language: that it updates the one in the same folder, or which
// registrations of one in another folder it takes over. Empty when there is none.
std::string earlier_installation_notice(const std::string& install_dir);
