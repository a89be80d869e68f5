// Named shell folders on Linux: system folders, XDG user folders, test seams.
#include "common/shell_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* env_value(const char* name)
{
    const char* value = std::getenv(name);
    return (value && *value) ? value : nullptr;
}

// Home and configuration folder of one user.
struct UserFolders {
    std::string home;
    std::string config;
};

bool password_home(uid_t uid, std::string& home)
{
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch(hint > 0 ? size_t(hint) : 16384);
    struct passwd entry{};
    struct passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found) != 0 || !found || !found->pw_dir)
        return false;
    home = found->pw_dir;
    return !home.empty();
}

bool calling_user(UserFolders& user)
{
    const char* home = env_value("HOME");
    if (home)
        user.home = home;
    else if (!password_home(getuid(), user.home))
        return false;
    const char* config = env_value("XDG_CONFIG_HOME");
    user.config = config ? std::string(config) : user.home + "/.config";
    return true;
}

// The installer runs elevated through pkexec or sudo; its desktop links belong on
// the desktop of the person who asked for it, whose environment is gone by then.
bool invoking_user(UserFolders& user)
{
    for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
        const char* text = env_value(variable);
        if (!text)
            continue;
        char* end = nullptr;
        errno = 0;
        unsigned long uid = std::strtoul(text, &end, 10);
        if (errno || *end || uid == getuid())
            continue;
        if (!password_home(uid_t(uid), user.home))
            return false;
        user.config = user.home + "/.config";
        return true;
    }
    return calling_user(user);
}

// One entry of user-dirs.dirs: NAME="$HOME/sub" or NAME="/absolute", with
// backslash escapes. Returns false when the entry is absent or malformed.
bool xdg_user_dir(const UserFolders& user, const char* name, std::string& path)
{
    std::ifstream file(user.config + "/user-dirs.dirs");
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
    const char* data = env_value("XDG_DATA_HOME");
    return data ? std::string(data) : user.home + "/.local/share";
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
        if (const char* seam = env_value(entry.seam)) {
            path = seam;
            return true;
        }
        if (entry.folder) {
            path = entry.folder;
            return true;
        }
        UserFolders user;
        if (!invoking_user(user))
            return false;
        path = user_dir_or(user, "XDG_DESKTOP_DIR", "Desktop");
        return true;
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
