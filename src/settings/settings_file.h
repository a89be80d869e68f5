// The settings file: lines of key="value" under the common application-data
// folder, read and written one key at a time, in place, by every thread of the
// program and every user's copy of it.
#pragma once

#include <string>

// Status of every read and write: 1 found / written, 0 missing (default used), -1 failure.

// A settings file holds a few dozen short lines (a few kB). One larger than
// this is no settings file: it is neither read (every read fails, the
// defaults stay in force) nor written (errno EFBIG), so nothing in it is lost;
// the settings' problems say so.
inline constexpr long long settings_file_cap = 4 << 20;

// Computes the settings path: get_shell_folder("Common AppData") + "/satclock/satclock.ini".
void settings_init_path();
// The path computed by settings_init_path ("" before).
std::string settings_path();

// Reads a key's decoded value. Missing key or unreadable file: value = default (left
// unchanged when default_value is nullptr) and 0; unreadable file without a default: -1.
// A read never waits for a write in progress.
int settings_read_string(const char* key, const char* default_value, std::string& value);
// value = (text is exactly "TRUE"); unchanged on -1.
int settings_read_bool(const char* key, bool default_value, bool& value);
// Leading blanks, sign and decimal digits (0 when none); unchanged on -1.
int settings_read_int(const char* key, int default_value, int& value);
// Written with a point; read as a number with a point or the locale's separator; unchanged on -1.
int settings_read_double(const char* key, double default_value, double& value);

// The whole file as it stands (empty when it is missing or cannot be read;
// false then, with errno EFBIG when it is over settings_file_cap).
bool settings_file_bytes(std::string& bytes);

// Replace the key's line in place, or append it; every other byte of the file is kept.
// The file is replaced as a whole or not at all; a file created here is readable by
// every account and writable by the users group. Returns 1, or -1 with errno saying
// why (EINVAL: the key cannot hold the value). It may wait for an fsync and for
// another process's lock on the folder (up to 500 ms): not for the GUI thread,
// which posts its changes (settings_store.h).
int settings_write_string(const char* key, const char* value);
int settings_write_bool(const char* key, bool value);        // "TRUE" / "FALSE"
int settings_write_int(const char* key, int value);          // "%d"
int settings_write_double(const char* key, double value);    // "%f" with a point
