// Notice of names made, removed, renamed or changed in one folder (inotify).
#pragma once

#include <string>

// A non-blocking descriptor, readable when something changed in the folder;
// -1 when the folder cannot be watched.
int folder_watch_open(const std::string& folder);
// Reads the notices that woke a poll; true when there were any.
bool folder_watch_drain(int fd);
void folder_watch_close(int fd);
