// The uninstall entry, the command link, the polkit policy, and the earlier
// installation they may belong to.
#include "satsetup/install_registrations.h"

#include "common/install_text.h"
#include "common/polkit_policy.h"
#include "common/registrations.h"
#include "platform/desktop_entry.h"
#include "platform/files.h"
#include "platform/process.h"
#include "satsetup/install_state.h"

#include <cstring>
#include <glib.h>

namespace {

constexpr char kPublisher[] = "Quillmarsh (c)";
constexpr char kMakerHomePage[] = "https://quillmarsh.example.org/";
constexpr char kMakerDownloadPage[] = "https://quillmarsh.example.org/download/";
constexpr char kProductPage[] = "https://satclock.example.org/";

// The Russian partner of a key, whatever the selected language.
const char* russian_text(const char* english)
{
    for (const TextPair& pair : russian_text_table())
        if (std::strcmp(pair.english, english) == 0)
            return pair.russian;
    return english;
}

DesktopEntry uninstall_entry()
{
    std::string program = install_dir + "bin/satclock";
    std::string uninstaller = install_dir + "uninstall";
    DesktopEntry entry;
    entry.name = "Uninstall Satclock";
    entry.localized_names = {{"ru", russian_text("Uninstall Satclock")}};
    entry.program = uninstaller;
    entry.icon = install_dir + "share/icons/hicolor/48x48/apps/satclock.png";
    entry.in_menu = true;
    entry.extra = {{"X-Satclock-DisplayName", std::string("Satclock ") + program_version},
                   {"X-Satclock-DisplayIcon", program},
                   {"X-Satclock-UninstallString", uninstaller},
                   {"X-Satclock-DisplayVersion", program_version},
                   {"X-Satclock-Publisher", kPublisher},
                   {"X-Satclock-URLInfoAbout", kMakerHomePage},
                   {"X-Satclock-URLUpdateInfo", kMakerDownloadPage},
                   {"X-Satclock-HelpLink", kProductPage}};
    return entry;
}

// The setup program's own path goes into the policy only when only root can
// change it: an action must not vouch for a file an ordinary user may replace.
std::string setup_program_for_policy()
{
    std::string self = process_self_path();
    return path_only_root_can_change(self, true).empty() ? self : std::string();
}

std::string formatted(const char* format, const std::string& a, const std::string& b = {})
{
    gchar* text = g_strdup_printf(format, a.c_str(), b.c_str());
    std::string out = text;
    g_free(text);
    return out;
}

}  // namespace

void write_registry_entries()
{
    if (file_write_new(uninstall_entry_path(), desktop_entry_text(uninstall_entry()), 0644) != 0)
        return;
    registry_entries_written = true;
    // A program of the same name that is not a link stays.
    replace_link(program_link_path(), install_dir + "bin/satclock");
    std::string policy = polkit_policy_text(satclock_polkit_actions(install_dir, true, setup_program_for_policy()));
    file_write_new(polkit_policy_path(true), policy, 0644);
}

void delete_registry_entries() { remove_registrations(install_dir); }

std::string earlier_installation_notice(const std::string& destination)
{
    std::string earlier = registered_install_dir();
    if (earlier.empty())
        return {};
    if (earlier == destination)
        return formatted(translate_text("Satclock is already installed in %s: this installation updates it."),
                         earlier);
    return formatted(translate_text("An earlier installation of Satclock in %s was found. This installation takes "
                                    "over its time service, its menu entries, its desktop icon, its uninstall entry "
                                    "and the satclock command; its files stay in %s. Do not run its uninstaller "
                                    "afterwards: it would remove what this installation takes over."),
                     earlier, earlier);
}
