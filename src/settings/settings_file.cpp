// The settings file on disk: its path, the cached copy of it, typed reads
// and writes, and replacing the file safely.
#include "src/settings/settings_file.h"

#include "platform/time_units.h"
#include "src/settings/settings_line.h"

#include "common/shell_folder.h"
#include "platform/file_access.h"
#include "platform/file_replace.h"
#include "platform/clock.h"
#include "platform/file_version.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <glib.h>
#include <limits.h>
#include <mutex>

namespace {

// The path and the cache, held for a look at the file (a stat and a read of
// a small file), never across a write: a reader never waits for a writer's
// fsync or folder lock.
std::mutex cache_lock;
// One write at a time in this process (the settings writer thread, or a
// poster when that thread could not be started), held for the whole write.
std::mutex write_lock;
// Each write is also one critical section between processes (every user's
// satclock shares the file), held on the file's folder. Another account may
// hold that lock for ever: after this long the write goes ahead without it.
constexpr int kFolderLockPatienceMs = 500;
// File times come from a clock that moves in ticks of a few milliseconds: a
// file changed within this margin of being read may change again with the
// same times, size and inode, so such a read is not trusted for the next one.
constexpr int64_t kRacyMarginNs = 20 * kNsPerMs;
std::string& settings_file_path = *new std::string;  // never destroyed, as the cache below

// The whole file as last read; refreshed when a write marked it stale or the file on
// disk is not the one read (path, size, identity or change time differ).
struct SettingsCache {
    bool stale = true;
    std::string path;
    std::string bytes;
    FileVersion version;  // its size the bytes read
};

// Never destroyed: the settings writer thread may still read the file into it
// while the process exits.
SettingsCache& settings_cache = *new SettingsCache;

// Whether the file was changed so shortly before `read_at_ns` that a change
// to come could leave its times as they are.
bool racy(const FileVersion& version, int64_t read_at_ns)
{
    return std::max(version.modified_ns, version.changed_ns) + kRacyMarginNs >= read_at_ns;
}

bool cache_refresh(int fd, const std::string& path)
{
    FileVersion version;
    if (!file_version(fd, &version))
        return false;
    if (!settings_cache.stale && settings_cache.path == path && settings_cache.version == version)
        return true;
    settings_cache.stale = true;
    settings_cache.bytes.clear();
    if (version.size > settings_file_cap) {  // a sparse file of gigabytes must not be read
        errno = EFBIG;
        return false;
    }
    int64_t read_at_ns = platform_clock_machine_now_ns();
    if (!file_read_all(fd, settings_cache.bytes, size_t(settings_file_cap)))
        return false;
    settings_cache.path = path;
    settings_cache.version = version;
    settings_cache.version.size = off_t(settings_cache.bytes.size());
    // Grown while read, or too fresh to be told from a change to come: read again next time.
    settings_cache.stale = settings_cache.version.size != version.size || racy(version, read_at_ns);
    return true;
}

// --- reading ---

int read_string_locked(const char* key, const char* default_value, std::string& value)
{
    auto missing = [&](int status) {
        if (default_value)
            value = default_value;
        return status;
    };
    if (settings_file_path.empty())
        return missing(default_value ? 0 : -1);
    // Read-only: every account may read the settings, also one that may not change them.
    FileDescriptor fd = file_open_reading(settings_file_path);
    if (fd.get() < 0)
        return missing(default_value ? 0 : -1);
    if (!cache_refresh(fd.get(), settings_file_path))
        return -1;
    SettingsLineSpan span{};
    if (settings_find_line(settings_cache.bytes, key, &span) < 0)
        return fd.close() ? missing(0) : -1;
    std::string_view line(settings_cache.bytes.data() + span.offset, span.length - 1);
    std::string_view raw;
    settings_parse_line(line, nullptr, &raw);
    value = settings_decode_value(raw);
    return fd.close() ? 1 : -1;
}

// --- writing ---

std::string path_now()
{
    std::lock_guard<std::mutex> guard(cache_lock);
    return settings_file_path;
}

// A file this program creates is every account's to read and the users
// group's to write, as the installer leaves it.
bool create_settings_file(const std::string& target, const std::string& line)
{
    if (!file_create_new(target, line))
        return false;
    if (!file_open_to_users(target))
        std::printf("settings: cannot give the users group write access to %s: %s\n", target.c_str(),
                    std::strerror(errno));
    return true;
}

// The file's bytes with the line written, and the bytes before, from the cache.
bool apply_to_cache(int fd, const std::string& path, const char* key, const std::string& line, std::string& old_bytes,
                    std::string& new_bytes)
{
    std::lock_guard<std::mutex> guard(cache_lock);
    if (!cache_refresh(fd, path))
        return false;
    old_bytes = settings_cache.bytes;
    new_bytes = settings_apply_line(old_bytes, key, line);
    return true;
}

bool write_line(const std::string& path, const char* key, const std::string& line)
{
    std::string target = file_write_target(path);
    FolderLock between_processes(target, kFolderLockPatienceMs);
    if (between_processes.error() != 0)
        std::printf("settings: no lock on the folder of %s (%s); writing without it\n", target.c_str(),
                    std::strerror(between_processes.error()));
    FileDescriptor fd = file_open_writing(target);
    if (fd.get() < 0)
        return errno == ENOENT && create_settings_file(target, line);
    std::string old_bytes, bytes;
    if (!apply_to_cache(fd.get(), path, key, line, old_bytes, bytes))
        return false;
    switch (file_replace_by_rename(target, fd.get(), bytes)) {
    case FileReplace::done:
        return fd.close();
    case FileReplace::failed:
        return false;
    case FileReplace::no_temp:
        break;
    }
    // The data folder belongs to root and only the file itself is open to users.
    bool ok = file_rewrite_in_place(fd.get(), old_bytes, bytes);
    return fd.close() && ok;
}

void mark_cache_stale()
{
    std::lock_guard<std::mutex> guard(cache_lock);
    settings_cache.stale = true;
}

// errno tells why on -1 (EINVAL: the key cannot hold the value).
int write_string_locked(const char* key, const char* value)
{
    std::string path = path_now();
    if (path.empty() || !key || !value) {
        errno = path.empty() ? ENOENT : EINVAL;
        return -1;
    }
    std::string line = settings_format_line(key, value);
    if (line.empty()) {
        std::printf("settings: key %s cannot hold this value\n", key);
        errno = EINVAL;
        return -1;
    }
    bool ok = write_line(path, key, line);
    int error = errno;
    mark_cache_stale();
    if (!ok) {
        std::printf("settings: cannot write %s: %s\n", path.c_str(), std::strerror(error));
        errno = error;
        return -1;
    }
    return 1;
}

}  // namespace

// --- path ---

void settings_init_path()
{
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Common AppData");
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += "satclock/satclock.ini";
    std::lock_guard<std::mutex> guard(cache_lock);
    settings_file_path = path;
}

std::string settings_path()
{
    std::lock_guard<std::mutex> guard(cache_lock);
    return settings_file_path;
}

// --- typed reads and writes ---

int settings_read_string(const char* key, const char* default_value, std::string& value)
{
    if (!key)
        return -1;
    std::lock_guard<std::mutex> guard(cache_lock);
    return read_string_locked(key, default_value, value);
}

bool settings_file_bytes(std::string& bytes)
{
    bytes.clear();
    std::lock_guard<std::mutex> guard(cache_lock);
    if (settings_file_path.empty())
        return false;
    FileDescriptor fd = file_open_reading(settings_file_path);
    if (fd.get() < 0 || !cache_refresh(fd.get(), settings_file_path)) {
        int error = errno;
        bytes.clear();
        errno = error;
        return false;
    }
    bytes = settings_cache.bytes;
    return true;
}

int settings_read_bool(const char* key, bool default_value, bool& value)
{
    std::string text;
    int status = settings_read_string(key, default_value ? "TRUE" : "FALSE", text);
    if (status != -1)
        value = text == "TRUE";
    return status;
}

int settings_read_int(const char* key, int default_value, int& value)
{
    std::string text;
    int status = settings_read_string(key, std::to_string(default_value).c_str(), text);
    if (status != -1)
        value = settings_text_to_int(text);
    return status;
}

int settings_read_double(const char* key, double default_value, double& value)
{
    std::string text;
    int status = settings_read_string(key, settings_double_to_text(default_value).c_str(), text);
    if (status != -1)
        value = settings_text_to_double(text);
    return status;
}

int settings_write_string(const char* key, const char* value)
{
    std::lock_guard<std::mutex> guard(write_lock);
    return write_string_locked(key, value);
}

int settings_write_bool(const char* key, bool value) { return settings_write_string(key, value ? "TRUE" : "FALSE"); }

int settings_write_int(const char* key, int value) { return settings_write_string(key, std::to_string(value).c_str()); }

int settings_write_double(const char* key, double value)
{
    return settings_write_string(key, settings_double_to_text(value).c_str());
}
