// Backups of the earlier settings and the autostart mark in the settings file.
#include "satsetup/settings_backup.h"

#include "platform/files.h"
#include "satsetup/install_steps.h"

#include <cstring>
#include <string_view>

namespace {

constexpr const char* kSettingsNames[] = {"satclock.ini", "satclock-inst.ini"};

// The bytes of a settings file that could be opened for reading and writing,
// as the design asks of a file worth keeping.
bool read_updatable(const std::string& path, std::string* bytes)
{
    return file_read_whole(path, bytes) == 0 && file_overwrite_at(path, 0, "");
}

}  // namespace

bool backup_settings(const std::string& folder)
{
    bool copied = false;
    for (const char* name : kSettingsNames) {
        std::string path = folder + name;
        std::string bytes;
        if (read_updatable(path, &bytes) && file_write_new(path + ".bak", bytes, 0600) == 0)
            copied = true;
    }
    return copied;
}

bool restore_settings(const std::string& folder)
{
    bool restored = false;
    for (const char* name : kSettingsNames) {
        std::string path = folder + name;
        std::string backup = path + ".bak";
        std::string bytes;
        if (!read_updatable(backup, &bytes))
            continue;
        // The file is made anew: every user must be able to write it again.
        if (file_write_new(path, bytes, 0644) == 0) {
            restored = true;
            grant_users_access(path);
        }
        file_remove(backup);
    }
    return restored;
}

void drop_settings_backups(const std::string& folder)
{
    for (const char* name : kSettingsNames)
        file_remove(folder + name + ".bak");
}

void patch_autorun_line(const std::string& path)
{
    std::string bytes;
    if (file_read_whole(path, &bytes) != 0)
        return;
    static constexpr std::string_view kActionRun = "action_run";
    static constexpr std::string_view kAutoRun = "auto_run";
    for (size_t i = 0; i + 10 < bytes.size(); ++i) {
        if (bytes[i] != '\n')
            continue;
        std::string_view after = std::string_view(bytes).substr(i + 1);
        const char* line = nullptr;
        if (after.starts_with(kActionRun))
            line = "action_run=\"TRUE\" ";
        else if (after.starts_with(kAutoRun))
            line = "auto_run=\"TRUE\" ";
        if (!line)
            continue;
        file_overwrite_at(path, off_t(i + 1), line);
        return;
    }
}
