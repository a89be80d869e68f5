// The desktop program's calls into the settings module and the receiver link,
// each behind one function so that start-up and shutdown read as a list of steps.
#pragma once

// Finds the settings file.
void settings_start();

// The start-up's view of "above_all": TRUE when the key is missing.
bool settings_above_all();

// Serial layer, reader and analysis threads.
void receiver_start();

// Returns when the reader thread (which holds the port) has ended, or false
// after timeout_ms (>= 0) while it still runs.
bool receiver_stop(int timeout_ms = -1);
