// Desktop entries (the freedesktop.org Desktop Entry format): the one writer of
// Satclock's menu, desktop and autostart entries and of its uninstall entry.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct DesktopEntry {
    enum class Type { application, link };
    Type type = Type::application;
    std::string name;
    std::vector<std::pair<std::string, std::string>> localized_names;  // locale, name
    std::string comment;
    std::string program;      // an application's Exec=, started without arguments
    std::string working_dir;  // an application's Path=
    std::string icon;
    std::string url;          // a link's URL=
    bool in_menu = false;     // Categories=Utility;
    bool autostart = false;   // X-GNOME-Autostart-enabled=true
    std::vector<std::pair<std::string, std::string>> extra;  // X- keys, in order
};

// The entry's text: "[Desktop Entry]", Version=1.0, then the keys that are set.
std::string desktop_entry_text(const DesktopEntry& entry);

// A string value of the format: backslash, line end, tab and carriage return escaped.
std::string desktop_string_value(const std::string& value);

// The Exec= value that starts program with no arguments: the path as it is,
// or in double quotes when it holds a blank or a character the format
// reserves; '%' doubled, and the string escapes of the format applied.
std::string desktop_exec_value(const std::string& program);

// The start-at-login entry of the desktop program.
DesktopEntry autostart_entry(const std::string& name, const std::string& program);

// The desktop program's own start-at-login entry, written by the program as
// the user it runs for: its folder is made when missing, the entry replaced
// by a rename (a session never reads half of one); an entry already holding
// these bytes is left alone. True when the file holds them.
bool autostart_entry_write(const std::string& file, const std::string& name, const std::string& program);
// Deletes the entry; false when there was none or it could not be deleted.
bool autostart_entry_remove(const std::string& file);
