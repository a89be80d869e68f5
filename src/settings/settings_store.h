// Saving settings without waiting for the disk: a change is handed to one
// writer thread, which writes the changes in order (a newer value of a key
// replaces one still waiting), keeps a change it could not save and tries it
// again after the next write that succeeds, and looks at the file after each
// write. What is wrong with the file or with saving it is kept for the window.
#pragma once

#include "src/settings/settings_table.h"

#include <string>
#include <vector>

// Hand a change to the writer; returns at once.
void settings_post_string(const char* key, std::string value);
void settings_post_bool(const char* key, bool value);
void settings_post_int(const char* key, int value);
void settings_post_double(const char* key, double value);

// The newest value of the key that the file does not hold yet: a change
// waiting, being written, or not saved (it stays in force until the end).
// Every read of a key looks here first, so a change is seen at once.
bool settings_unwritten_value(const char* key, std::string& value);

// Waits until every change posted so far has been written (or has failed),
// at most timeout_ms. True when none is left. For the shutdown and tests;
// callable from any thread but the listener's (the writer's own).
bool settings_flush(int timeout_ms);

// Reads the file and finds its unreadable lines and bad values (at start-up;
// the writer does it again after each write).
void settings_scan();

// The problems found by the last look at the file, then the changes not saved.
std::vector<SettingsProblem> settings_problems();

// Called (on the writer thread, or on the caller's of settings_scan) whenever
// the problems change; it must not block. One listener; nullptr removes it.
void settings_on_problems_changed(void (*listener)());
