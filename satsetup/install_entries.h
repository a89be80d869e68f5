// The installation's desktop entries: the menu folder's (root's place), the
// desktop icon and the start-at-login entry (the user's own folders, written
// as that user).
#pragma once

#include <string>

// A menu entry: an application (target is a program: Exec=, Path= the working
// folder) or a link (target is a URL or a file: URL=), written in root's menu
// folder. Then append_uninstall_entry(link_file). False when the entry could
// not be written.
bool create_shortcut(const std::string& link_file, const std::string& target, const std::string& working_dir,
                     const std::string& description);

// The desktop icon "Satclock.desktop" in Common Desktop, written as the user
// who started the installer; its path goes into the uninstall list. Empty, or
// the reason it was refused (a link on the way, a desktop folder outside the
// user's home).
std::string create_desktop_icon_entry(const std::string& description);

// The start-at-login entry of the user who started the installer:
// autostart/satclock.desktop in $XDG_CONFIG_HOME (when the installer runs as
// that user) or in the user's ~/.config, written as that user. Empty, or the
// reason it was refused.
std::string set_autorun_value(const std::string& program_path);
// Where that entry goes.
std::string autorun_entry_path();
