// Small files a program keeps of its own state (the offset history, an
// export the user asked for): read whole without following a link, and
// replaced whole, so that a crash or a full disk leaves the old file or the
// new one, never a mixture.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

// Reads a regular file (a link at the name is not followed: ELOOP) of at
// most limit bytes (EFBIG beyond). 0, or an errno value.
int state_file_read(const std::string& path, std::string* bytes, size_t limit);

// Writes the bytes into a new file beside path (given mode), syncs
// it and renames it onto path, replacing whatever was there (a link is
// replaced, never written through). 0, or an errno value; path is then as
// it was.
int state_file_replace(const std::string& path, std::string_view bytes, mode_t mode);

// Whether this process may create files in the folder (its effective ids count).
bool state_folder_writable(const std::string& folder);

// Makes the folder and the missing ones above it with mode (less the
// umask). True when it is a folder afterwards.
bool state_folder_make(const std::string& folder, mode_t mode);
