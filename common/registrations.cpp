// The removal registration's paths and their removal.
#include "common/registrations.h"

#include "common/polkit_policy.h"
#include "common/shell_folder.h"
#include "platform/desktop_entry.h"
#include "platform/env.h"
#include "platform/files.h"

#include <climits>
#include <sstream>

namespace {

constexpr char kUninstallKey[] = "X-Satclock-UninstallString=";

std::string with_slash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// Whether the policy file is the one of the installation in install_dir.
bool policy_names(const std::string& policy, const std::string& install_dir)
{
    std::string text;
    return file_read_whole(policy, &text) == 0 && polkit_policy_names_program(text, install_dir + "uninstall");
}

}  // namespace

std::string uninstall_entry_path()
{
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Common Programs");
    return with_slash(folder) + "satclock-uninstall.desktop";
}

std::string program_link_path()
{
    std::string dir = env_value("SATCLOCK_BIN_LINK_DIR");
    return with_slash(dir.empty() ? "/usr/local/bin" : dir) + "satclock";
}

std::string registered_install_dir()
{
    std::string text;
    if (file_read_whole(uninstall_entry_path(), &text) != 0)
        return {};
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with(kUninstallKey))
            continue;
        std::string uninstaller = line.substr(sizeof kUninstallKey - 1);
        // The value as desktop_string_value wrote it: a path holds no escapes
        // but a doubled backslash.
        std::string path;
        for (size_t i = 0; i < uninstaller.size(); ++i)
            path += uninstaller[i] == '\\' && i + 1 < uninstaller.size() ? uninstaller[++i] : uninstaller[i];
        size_t slash = path.rfind('/');
        return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }
    return {};
}

void remove_registrations(const std::string& install_dir)
{
    if (registered_install_dir() == install_dir)
        file_remove(uninstall_entry_path());
    std::string link = program_link_path();
    if (link_target(link) == install_dir + "bin/satclock")
        file_remove(link);
    std::string policy = polkit_policy_path(true);
    if (policy_names(policy, install_dir))
        file_remove(policy);
}
