// Removing every user's start-at-login entry of the desktop program.
#include "uninstall/autorun_values.h"

#include "platform/env.h"
#include "platform/files.h"
#include "platform/user_accounts.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kAutostartEntry[] = "autostart/satclock.desktop";

void remove_as(const Account& account, const std::string& folder, const std::string& relative)
{
    // A folder that is not there holds no entry: no child needed.
    if (!is_folder(folder))
        return;
    act_as_account(account, [&] { return AccountWork{remove_file_beneath(folder, relative), ""}; });
}

}  // namespace

void remove_autorun_values()
{
    std::vector<Account> accounts = machine_accounts();
    std::printf("\nNumber of subkeys: %d\n", int(accounts.size()));
    std::fflush(stdout);
    // Each home and what lies below it belongs to its user: the entry is
    // removed as that user, and no link there is followed.
    for (const Account& account : accounts)
        remove_as(account, account.home, std::string(".config/") + kAutostartEntry);
    std::string config = env_value("XDG_CONFIG_HOME");
    Account invoker;
    if (!config.empty() && invoking_account(&invoker))
        remove_as(invoker, config, kAutostartEntry);
}
