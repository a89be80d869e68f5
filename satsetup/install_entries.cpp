// Desktop entries of an installation: the menu's as root, the desktop icon
// and the autostart entry as the user they are for.
#include "satsetup/install_entries.h"

#include "common/install_text.h"
#include "common/shell_folder.h"
#include "platform/desktop_entry.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/user_accounts.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"

#include <climits>
#include <cstring>
#include <glib.h>

namespace {

constexpr char kDesktopIconName[] = "Satclock.desktop";
constexpr char kAutostartName[] = "satclock.desktop";

std::string base_name(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string without_suffix(const std::string& name, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return name.size() > n && name.ends_with(suffix) ? name.substr(0, name.size() - n) : name;
}

std::string program_icon() { return install_dir + "share/icons/hicolor/48x48/apps/satclock.png"; }

std::string url_of(const std::string& target)
{
    if (target.find("://") != std::string::npos)
        return target;
    gchar* uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : target;
    g_free(uri);
    return text;
}

DesktopEntry shortcut_entry(const std::string& link_file, const std::string& target, const std::string& working_dir,
                            const std::string& description)
{
    DesktopEntry entry;
    entry.name = without_suffix(base_name(link_file), ".desktop");
    entry.comment = description;
    if (is_program_file(target)) {
        entry.program = target;
        entry.working_dir = working_dir;
        entry.icon = program_icon();
        entry.in_menu = true;
    } else {
        entry.type = DesktopEntry::Type::link;
        entry.url = url_of(target);
        entry.icon = "text-html";
    }
    return entry;
}

// A folder in a user's reach: walked from base as the account, without following links.
struct UserPlace {
    Account account;
    std::string base;
    std::string relative;
    std::string path() const { return relative.empty() ? base : base + "/" + relative; }
};

std::string trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The desktop folder: the test folder as given, else the user's XDG desktop,
// which must lie in the user's home.
std::string desktop_place(UserPlace* place)
{
    char folder[PATH_MAX];
    if (!invoking_account(&place->account) || !get_shell_folder(folder, sizeof folder, "Common Desktop"))
        return translate_text("The common desktop folder cannot be found.");
    std::string desktop = trimmed(folder);
    if (!env_value("SATCLOCK_COMMON_DESKTOP").empty()) {
        place->base = desktop;
        return {};
    }
    std::string home = trimmed(place->account.home);
    if (home.size() <= 1 || (desktop != home && !desktop.starts_with(home + "/")))
        return "the desktop folder " + desktop + " lies outside the home folder " + home + ": refused";
    place->base = home;
    place->relative = desktop == home ? "" : desktop.substr(home.size() + 1);
    return {};
}

void autorun_place(UserPlace* place)
{
    invoking_account(&place->account);
    std::string config = env_value("XDG_CONFIG_HOME");
    // A user's own setting, taken only when the installer runs as that user.
    if (!config.empty() && place->account.uid == own_user_id()) {
        place->base = trimmed(config);
        place->relative = "autostart";
    } else {
        place->base = trimmed(place->account.home);
        place->relative = ".config/autostart";
    }
}

std::string write_as_user(const UserPlace& place, const std::string& name, const DesktopEntry& entry, mode_t mode)
{
    std::string text = desktop_entry_text(entry);
    AccountWork written = act_as_account(place.account, [&] {
        std::string why;
        // The user's own configuration folder may not exist yet; it is made as the user.
        if (!is_folder(place.base) && !make_folders(place.base, 0755, &why))
            return AccountWork{false, why};
        Folder folder = folders_open_beneath(place.base, place.relative, true, 0755, &why);
        if (!folder.is_open())
            return AccountWork{false, why};
        int error = file_write_new_at(folder, name, text, mode);
        if (error != 0)
            return AccountWork{false, place.path() + "/" + name + ": " + std::strerror(error)};
        return AccountWork{true, ""};
    });
    return written.ok ? std::string() : written.text;
}

}  // namespace

bool create_shortcut(const std::string& link_file, const std::string& target, const std::string& working_dir,
                     const std::string& description)
{
    // File managers start a desktop's entries only when they are executable.
    bool ok = file_write_new(link_file, desktop_entry_text(shortcut_entry(link_file, target, working_dir, description)),
                             0755) == 0;
    append_uninstall_entry(link_file);
    return ok;
}

std::string create_desktop_icon_entry(const std::string& description)
{
    UserPlace place;
    std::string why = desktop_place(&place);
    if (!why.empty())
        return why;
    std::string program = install_dir + "bin/satclock";
    std::string link_file = place.path() + "/" + kDesktopIconName;
    why = write_as_user(place, kDesktopIconName, shortcut_entry(link_file, program, bin_dir, description), 0755);
    if (why.empty())
        append_uninstall_entry(link_file);
    return why;
}

std::string autorun_entry_path()
{
    UserPlace place;
    autorun_place(&place);
    return place.path() + "/" + kAutostartName;
}

std::string set_autorun_value(const std::string& program_path)
{
    UserPlace place;
    autorun_place(&place);
    return write_as_user(place, kAutostartName, autostart_entry("Satclock", program_path), 0644);
}
