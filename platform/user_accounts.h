// The accounts of the machine: their home folders from the password database,
// and deleting a file inside a folder that such an account controls.
#pragma once

#include <string>
#include <vector>

// The distinct home folders of the password database, in its order. When
// SATCLOCK_PASSWD_FILE is set, that passwd-format file is read instead of the
// system database (tests); a file that cannot be read gives no folders.
std::vector<std::string> user_home_folders();

// Deletes folder/relative ("a/b/name") without following a symbolic link
// below folder: a link planted in place of "a" or "b" stops the removal, and
// a link named "name" is deleted itself. True when the file is gone afterwards
// (also when it was never there).
bool remove_file_beneath(const std::string& folder, const std::string& relative);
