// Removing every user's start-at-login entry of the desktop program.
#include "uninstall/autorun_values.h"

#include "platform/user_accounts.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr char kAutostartEntry[] = "autostart/satclock.desktop";

}  // namespace

void remove_autorun_values()
{
    std::vector<std::string> homes = user_home_folders();
    std::printf("\nNumber of subkeys: %d\n", int(homes.size()));
    std::fflush(stdout);
    // Each home and what lies below it belongs to its user: no link there is followed.
    for (const std::string& home : homes)
        remove_file_beneath(home, std::string(".config/") + kAutostartEntry);
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config)
        remove_file_beneath(config, kAutostartEntry);
}
