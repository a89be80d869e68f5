// Opening a file to every ordinary user of the machine.
#pragma once

#include <string>

// Adds the access entry group:users:rw- to the file's access list (POSIX ACL,
// the mask widened to match). Where the file system keeps no access lists, the
// file's group becomes "users" and its mode 0664 instead: never writable by
// every account. False when the file cannot be reached, the group "users"
// does not exist, or neither works.
bool file_grant_users_rw(const std::string& path);

// Every account reads the file and the users group writes it: mode 0644, then
// file_grant_users_rw. For files this process owns (a new settings file).
bool file_open_to_users(const std::string& path);
