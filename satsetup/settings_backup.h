// The earlier settings kept across an installation, and the start-at-login
// mark in the settings file.
#pragma once

#include <string>

// "satclock.ini" and "satclock-inst.ini" of folder (with its trailing slash)
// to and from their ".bak" copies.
bool backup_settings(const std::string& folder);
bool restore_settings(const std::string& folder);
void drop_settings_backups(const std::string& folder);

// Marks the first auto_run or action_run line (never the first line of the
// file) as "TRUE", in place and of the same width.
void patch_autorun_line(const std::string& path);
