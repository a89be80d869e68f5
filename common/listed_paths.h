// The uninstall list and its removal passes, shared by the installer's
// rollback and the uninstaller.
//
// The list is plain text, one path per line, each line ended by LF (a CR right
// before the LF is not part of the path). A line that starts with "/" is an
// absolute path; any other line is relative to the install folder. Files come
// first in the package's archive order, then its folders deepest first; the
// installer appends what it made outside the package.
#pragma once

#include <cstddef>
#include <string>

// The most passes remove_listed_paths makes.
inline constexpr int kRemovalPasses = 7;

// Deletes every listed file and removes every listed folder that is empty, in
// list order, in passes: a pass where a delete or removal failed is followed
// by another, up to kRemovalPasses in all, so a folder listed before its files
// goes in a later pass. A path that does not exist counts as removed. A last
// line without LF is ignored. base is the install folder, with its trailing
// slash. Returns the number of passes made.
int remove_listed_paths(const char* list, size_t length, const std::string& base);

// The path that a list line (without its line end) names under base.
std::string listed_path(const std::string& line, const std::string& base);
