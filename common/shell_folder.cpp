// Named shell folders on Linux: system folders, XDG user folders, test seams.
#include "common/shell_folder.h"

#include "platform/env.h"
#include "platform/files.h"
#include "platform/user_accounts.h"

#include <cstring>
#include <sstream>
#include <string>

namespace {

// Home and configuration folder of one user.
struct UserFolders {
    std::string home;
    std::string config;
};

bool calling_user(UserFolders& user)
{
    Account self;
    if (std::string home = env_value("HOME"); !home.empty())
        user.home = home;
    else if (account_of_uid(own_user_id(), &self))
        user.home = self.home;
    else
        return false;
    std::string config = env_value("XDG_CONFIG_HOME");
    user.config = config.empty() ? user.home + "/.config" : config;
    return !user.home.empty();
}

// One entry of user-dirs.dirs: NAME="$HOME/sub" or NAME="/absolute", with
// backslash escapes. Returns false when the entry is absent or malformed.
bool xdg_user_dir(const UserFolders& user, const char* name, std::string& path)
{
    std::string text;
    file_read_whole(user.config + "/user-dirs.dirs", &text, 65536);
    std::istringstream file(text);
    std::string line;
    std::string prefix = std::string(name) + "=\"";
    while (std::getline(file, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string raw;
        size_t i = prefix.size();
        for (; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            raw += line[i];
        }
        if (i == line.size())
            return false;
        if (raw.compare(0, 5, "$HOME") == 0 && (raw.size() == 5 || raw[5] == '/'))
            path = user.home + raw.substr(5);
        else if (!raw.empty() && raw[0] == '/')
            path = raw;
        else
            return false;
        return true;
    }
    return false;
}

std::string user_dir_or(const UserFolders& user, const char* name, const char* fallback)
{
    std::string path;
    if (!xdg_user_dir(user, name, path))
        path = user.home + "/" + fallback;
    return path;
}

std::string data_home(const UserFolders& user)
{
    std::string data = env_value("XDG_DATA_HOME");
    return data.empty() ? user.home + "/.local/share" : data;
}

// The folder for a per-user name; false for a name this system does not know.
bool user_folder(const char* name, std::string& path)
{
    UserFolders user;
    if (!calling_user(user))
        return false;
    if (std::strcmp(name, "Desktop") == 0)
        path = user_dir_or(user, "XDG_DESKTOP_DIR", "Desktop");
    else if (std::strcmp(name, "Personal") == 0)
        path = user_dir_or(user, "XDG_DOCUMENTS_DIR", "Documents");
    else if (std::strcmp(name, "AppData") == 0)
        path = user.config;
    else if (std::strcmp(name, "Startup") == 0)
        path = user.config + "/autostart";
    else if (std::strcmp(name, "Local AppData") == 0)
        path = data_home(user);
    else if (std::strcmp(name, "Programs") == 0)
        path = data_home(user) + "/applications";
    else
        return false;
    return true;
}

// The desktop folder of the user who started the program (for the installer
// run through pkexec or sudo: the person who asked for it). Their
// user-dirs.dirs is read as they are, never by root through their folders.
bool invoking_user_desktop(std::string& path)
{
    Account invoker;
    if (!invoking_account(&invoker))
        return false;
    UserFolders user{invoker.home, invoker.home + "/.config"};
    if (invoker.uid == own_user_id() && !calling_user(user))
        return false;
    AccountWork lookup = act_as_account(
        invoker, [&] { return AccountWork{true, user_dir_or(user, "XDG_DESKTOP_DIR", "Desktop")}; });
    path = lookup.text;
    return lookup.ok && !path.empty();
}

bool common_folder(const char* name, std::string& path)
{
    struct Common {
        const char* name;
        const char* seam;
        const char* folder;  // nullptr: the invoking user's desktop
    };
    static const Common folders[] = {
        {"Common AppData", "SATCLOCK_COMMON_APPDATA", "/var/lib"},
        {"Common Programs", "SATCLOCK_COMMON_PROGRAMS", "/usr/share/applications"},
        {"Common Desktop", "SATCLOCK_COMMON_DESKTOP", nullptr},
    };
    for (const Common& entry : folders) {
        if (std::strcmp(name, entry.name) != 0)
            continue;
        if (std::string seam = env_value(entry.seam); !seam.empty()) {
            path = seam;
            return true;
        }
        if (entry.folder) {
            path = entry.folder;
            return true;
        }
        return invoking_user_desktop(path);
    }
    return user_folder(name, path);
}

}  // namespace

int get_shell_folder(char* buffer, size_t size, const char* name)
{
    if (!buffer || size == 0)
        return 0;
    std::string path;
    bool found = name && common_folder(name, path);
    if (!found || path.size() >= size) {
        std::strncpy(buffer, "/", size - 1);
        buffer[size - 1] = '\0';
        return 0;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 1;
}
