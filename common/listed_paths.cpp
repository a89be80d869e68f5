// Removal passes over the uninstall list, and its lines sorted by place.
#include "common/listed_paths.h"

#include "common/shell_folder.h"
#include "platform/files.h"
#include "platform/user_accounts.h"

#include <climits>

namespace {

// One pass over the LF-ended lines; false when something listed stayed.
bool removal_pass(std::string_view list, const std::string& base)
{
    bool all_removed = true;
    for (const std::string& line : list_lines(list))
        if (!line.empty() && !file_remove(listed_path(line, base)))
            all_removed = false;
    return all_removed;
}

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool inside(const std::string& path, const std::string& place)
{
    std::string folder = without_trailing_slashes(place);
    return !folder.empty() && (path == folder || path.starts_with(folder == "/" ? folder : folder + "/"));
}

// "." and ".." parts would lead out of a place that the path seems to lie in.
bool plain(const std::string& path)
{
    for (const char* part : {"/./", "/../"})
        if (path.find(part) != std::string::npos)
            return false;
    return !path.ends_with("/.") && !path.ends_with("/..") && !path.starts_with("./") && !path.starts_with("../") &&
           path != "." && path != "..";
}

std::string name_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The account whose home holds path (the longest home that does), if any.
bool home_account_of(const std::string& path, Account* owner)
{
    bool found = false;
    for (const Account& account : machine_accounts()) {
        if (account.home.size() > 1 && inside(path, account.home) &&
            (!found || account.home.size() > owner->home.size())) {
            *owner = account;
            found = true;
        }
    }
    return found;
}

bool in_root_place(const std::string& path, const ListedPlaces& places)
{
    std::vector<std::string> roots = places.root_folders;
    roots.push_back(places.install_dir);
    for (const std::string& place : roots)
        if (inside(path, place) && path_only_root_can_change(without_trailing_slashes(place)).empty())
            return true;
    return false;
}

}  // namespace

std::vector<std::string> list_lines(std::string_view list)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = list.find('\n'); end != std::string_view::npos; end = list.find('\n', start)) {
        std::string_view line = list.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return lines;
}

std::string listed_path(const std::string& line, const std::string& base)
{
    return line.starts_with('/') ? line : base + line;
}

int remove_listed_paths(const char* list, size_t length, const std::string& base)
{
    std::string_view text(list ? list : "", list ? length : 0);
    int pass = 1;
    while (!removal_pass(text, base) && pass < kRemovalPasses)
        ++pass;
    return pass;
}

ListedPlaces installed_places(const std::string& install_dir)
{
    ListedPlaces places;
    places.install_dir = install_dir;
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Common AppData");
    places.root_folders.push_back(without_trailing_slashes(folder) + "/satclock");
    if (get_shell_folder(folder, sizeof folder, "Common Programs"))
        places.root_folders.push_back(without_trailing_slashes(folder) + "/Satclock");
    if (get_shell_folder(folder, sizeof folder, "Common Desktop"))
        places.desktop_folder = folder;
    places.desktop_entry_name = "Satclock.desktop";
    return places;
}

SortedList sort_listed_paths(std::string_view list, const ListedPlaces& places)
{
    SortedList sorted;
    Account owner;
    for (const std::string& line : list_lines(list)) {
        if (line.empty())
            continue;
        std::string path = listed_path(line, places.install_dir);
        if (!plain(line))
            sorted.refused.push_back(path);
        else if (in_root_place(path, places))
            sorted.root_lines += line + "\n";
        else if (name_of(path) == places.desktop_entry_name &&
                 (inside(path, places.desktop_folder) || home_account_of(path, &owner)))
            sorted.desktop_paths.push_back(path);
        else
            sorted.refused.push_back(path);
    }
    return sorted;
}

std::string remove_desktop_entry(const std::string& path, const ListedPlaces& places)
{
    Account owner;
    std::string base;
    if (home_account_of(path, &owner)) {
        base = without_trailing_slashes(owner.home);
    } else if (inside(path, places.desktop_folder) && invoking_account(&owner)) {
        base = without_trailing_slashes(places.desktop_folder);
    } else {
        return path + " lies in no account's folder";
    }
    std::string relative = path.substr(base.size() + (base == "/" ? 0 : 1));
    AccountWork removal = act_as_account(owner, [&] {
        return AccountWork{remove_file_beneath(base, relative), path + " could not be removed"};
    });
    return removal.ok ? std::string() : removal.text;
}
