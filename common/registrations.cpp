// The removal registration's paths.
#include "common/registrations.h"

#include "common/shell_folder.h"

#include <climits>
#include <cstdlib>

namespace {

std::string with_slash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
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
    const char* dir = std::getenv("SATCLOCK_BIN_LINK_DIR");
    return with_slash((dir && *dir) ? dir : "/usr/local/bin") + "satclock";
}
