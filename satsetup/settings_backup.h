// The earlier settings kept across an installation, and the start-at-login
// mark in the settings file.
#pragma once

#include <string>
#include <string_view>

// "satclock.ini" and "satclock-inst.ini" of folder (with its trailing slash)
// to and from their ".bak" copies.
bool backup_settings(const std::string& folder);
bool restore_settings(const std::string& folder);
// After a finished installation: the earlier files back, each gaining the
// keys of the default file just installed that it lacks.
bool restore_settings_over_defaults(const std::string& folder);
void drop_settings_backups(const std::string& folder);

// The kept settings file's bytes with a line for every key of `defaults` it
// lacks (a setting new in this version), in the kept file's line ends.
std::string settings_with_new_keys(std::string kept, std::string_view defaults);

// Marks the first auto_run or action_run line (never the first line of the
// file) as "TRUE", in place and of the same width.
void patch_autorun_line(const std::string& path);
