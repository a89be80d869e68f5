// The per-user autostart entry: an XDG desktop entry in the user's autostart
// folder, which the desktop session starts at log-in (the Linux counterpart of
// a value under the Run key).
#pragma once

#include <string>

// The Exec= value that starts program with no arguments: the path as it is, or
// in double quotes when it holds a blank or a character the desktop-entry
// format reserves; '%' doubled, and the string escapes of the format applied.
std::string autostart_exec_value(const std::string& program);

// The whole entry: [Desktop Entry] with Type=Application, Name=name and
// Exec=autostart_exec_value(program).
std::string autostart_entry_text(const std::string& name, const std::string& program);

// Writes the entry to file (its folder is created when missing), replacing an
// older one by a rename so that a session never reads half an entry. An entry
// already holding these bytes is left alone. True when the file holds them.
bool autostart_entry_write(const std::string& file, const std::string& name, const std::string& program);

// Deletes the entry. True when it was deleted; false when there was none or it
// could not be deleted.
bool autostart_entry_remove(const std::string& file);
