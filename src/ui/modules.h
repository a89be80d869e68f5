// The desktop program's calls into the settings module and the receiver link,
// each behind one function so that start-up and shutdown read as a list of steps.
#pragma once

// Finds the settings file and looks for what is wrong with it.
void settings_start();

// Serial layer, reader and analysis threads, on the port and speed in force.
void receiver_start();

// Returns when the reader thread (which holds the port) has ended, or false
// after timeout_ms (>= 0) while it still runs.
bool receiver_stop(int timeout_ms = -1);

// At the end: waits for the reader, then for changes of the settings still
// being written, each at most its time, and says what it left behind.
void modules_stop(int reader_wait_ms, int settings_wait_ms);
// Its lines: a reader that has not ended within reader_wait_ms, changes of
// the settings not written.
void modules_say_what_is_left(bool reader_ended, int reader_wait_ms, bool settings_written);
