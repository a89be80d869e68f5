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
#include <string_view>
#include <vector>

// The most passes remove_listed_paths makes.
inline constexpr int kRemovalPasses = 7;

// Deletes every listed file and removes every listed folder that is empty, in
// list order, in passes: a pass where a delete or removal failed is followed
// by another, up to kRemovalPasses in all, so a folder listed before its files
// goes in a later pass. A path that does not exist counts as removed; a link is
// removed itself, never followed. A last line without LF is ignored. base is
// the install folder, with its trailing slash. Returns the number of passes made.
int remove_listed_paths(const char* list, size_t length, const std::string& base);

// The path that a list line (without its line end) names under base.
std::string listed_path(const std::string& line, const std::string& base);

// The LF-ended lines of a list, without their line ends (and a CR before them).
std::vector<std::string> list_lines(std::string_view list);

// The places an installation writes in. The install folder, the data folder
// and the menu folder are root's; the desktop entry lies in an account's
// desktop folder.
struct ListedPlaces {
    std::string install_dir;                // with its trailing slash
    std::vector<std::string> root_folders;  // the data folder, the menu folder
    std::string desktop_folder;             // the folder the desktop entry went to
    std::string desktop_entry_name;         // "Satclock.desktop"
};

// The places of an installation in install_dir (with its trailing slash): the
// data folder "satclock" in Common AppData, the menu folder "Satclock" in
// Common Programs, Common Desktop and its "Satclock.desktop".
ListedPlaces installed_places(const std::string& install_dir);

// A list sorted by place.
struct SortedList {
    std::string root_lines;                  // LF-ended lines in root's places, for remove_listed_paths
    std::vector<std::string> desktop_paths;  // desktop entries (absolute), removed as their account
    std::vector<std::string> refused;        // lines naming anything else, never removed
};

// Sorts the lines: relative ones (without "." or "..") and absolute ones at or
// inside the install folder or a root folder go to root_lines, the desktop
// entry in desktop_folder or in an account's home to desktop_paths, every
// other line to refused. A root place that someone other than root could
// change (path_only_root_can_change) takes no lines.
SortedList sort_listed_paths(std::string_view list, const ListedPlaces& places);

// Removes a desktop entry as the account it belongs to: the one whose home
// holds it (walking from the home without following links), or, in
// desktop_folder outside every home, the user who started this program.
// Empty, or the reason it stayed.
std::string remove_desktop_entry(const std::string& path, const ListedPlaces& places);
