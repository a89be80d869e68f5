// Backups of the earlier settings and the autostart mark in the settings file.
#include "satsetup/settings_backup.h"

#include "platform/files.h"
#include "satsetup/install_steps.h"

#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr const char* kSettingsNames[] = {"satclock.ini", "satclock-inst.ini"};

// The bytes of a settings file that could be opened for reading and writing,
// as the design asks of a file worth keeping.
bool read_updatable(const std::string& path, std::string* bytes)
{
    return file_read_whole(path, bytes) == 0 && file_overwrite_at(path, 0, "");
}

// The key of a line `key="value"`; empty for a comment or any other line.
std::string_view line_key(std::string_view line)
{
    size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string_view::npos || equals == 0)
        return {};
    return line.substr(0, equals);
}

bool has_key(std::string_view bytes, std::string_view key)
{
    std::string prefix = std::string(key) + "=";
    for (size_t at = 0; at < bytes.size();) {
        if (bytes.substr(at).starts_with(prefix))
            return true;
        size_t end = bytes.find('\n', at);
        at = end == std::string_view::npos ? bytes.size() : end + 1;
    }
    return false;
}

}  // namespace

std::string settings_with_new_keys(std::string kept, std::string_view defaults)
{
    // The kept file's own line ends for the lines it gains.
    const char* line_end = kept.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    if (!kept.empty() && kept.back() != '\n')
        kept += line_end;
    for (size_t at = 0; at < defaults.size();) {
        size_t end = defaults.find('\n', at);
        std::string_view line = defaults.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? defaults.size() : end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        std::string_view key = line_key(line);
        if (!key.empty() && !has_key(kept, key))
            kept.append(line).append(line_end);
    }
    return kept;
}

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

namespace {

// One backup back in place; with `gain_new_keys`, the file it replaces (the
// default file just installed) lends it the keys it lacks.
bool restore_one(const std::string& path, bool gain_new_keys)
{
    std::string backup = path + ".bak";
    std::string bytes;
    if (!read_updatable(backup, &bytes))
        return false;
    std::string defaults;
    if (gain_new_keys && file_read_whole(path, &defaults) == 0)
        bytes = settings_with_new_keys(std::move(bytes), defaults);
    // The file is made anew: every user must be able to write it again.
    bool restored = file_write_new(path, bytes, 0644) == 0;
    if (restored)
        grant_users_access(path);
    file_remove(backup);
    return restored;
}

bool restore_all(const std::string& folder, bool gain_new_keys)
{
    bool restored = false;
    for (const char* name : kSettingsNames)
        restored = restore_one(folder + name, gain_new_keys) || restored;
    return restored;
}

}  // namespace

bool restore_settings(const std::string& folder) { return restore_all(folder, false); }

bool restore_settings_over_defaults(const std::string& folder) { return restore_all(folder, true); }

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
