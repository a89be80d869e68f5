// The settings: the file and its line format, the table of keys and defaults
// with AppSettings, and the store that saves changes off the GUI thread.
#pragma once

#include "src/settings/settings_file.h"
#include "src/settings/settings_line.h"
#include "src/settings/settings_store.h"
#include "src/settings/settings_table.h"
