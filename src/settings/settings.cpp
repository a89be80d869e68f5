// The settings file: line format, the cached copy of the file, typed reads and
// writes, and replacing the file safely.
#include "src/settings/settings.h"

#include "common/shell_folder.h"
#include "platform/file_replace.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <glib.h>
#include <limits.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

AppSettings app_settings;

namespace {

// Every read and write is one critical section over the file, the path and the cache:
// the GUI thread and the analysis thread both come here.
std::mutex settings_lock;
// Each write is also one critical section between processes (every user's
// satclock shares the file), held on the file's folder. Another account may
// hold that lock for ever: after this long the write goes ahead without it.
constexpr int kFolderLockPatienceMs = 500;
// File times come from a clock that moves in ticks of a few milliseconds: a
// file changed within this margin of being read may change again with the
// same times, size and inode, so such a read is not trusted for the next one.
constexpr int64_t kRacyMarginNs = 20 * 1000 * 1000;
std::string settings_file_path;

// The whole file as last read; refreshed when a write marked it stale or the file on
// disk is not the one read (path, size, identity or change time differ).
struct SettingsCache {
    bool stale = true;
    std::string path;
    std::string bytes;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
};

SettingsCache settings_cache;

bool is_lead_blank(char c) { return c == '\t' || c == '\r' || c == ' '; }

// First double quote at or after from that has no backslash right before it.
size_t unescaped_quote(std::string_view line, size_t from)
{
    for (size_t i = from; i < line.size(); ++i)
        if (line[i] == '"' && (i == 0 || line[i - 1] != '\\'))
            return i;
    return std::string_view::npos;
}

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool same_file(const SettingsCache& cache, const std::string& path, const struct stat& st)
{
    return cache.path == path && cache.device == st.st_dev && cache.inode == st.st_ino &&
           cache.size == st.st_size && same_time(cache.modified, st.st_mtim) && same_time(cache.changed, st.st_ctim);
}

int64_t ns_of(const timespec& t) { return int64_t(t.tv_sec) * 1000000000LL + t.tv_nsec; }

// Whether the file was changed so shortly before `read_at` that a change to
// come could leave its times as they are.
bool racy(const struct stat& st, const timespec& read_at)
{
    int64_t newest = std::max(ns_of(st.st_mtim), ns_of(st.st_ctim));
    return newest + kRacyMarginNs >= ns_of(read_at);
}

bool cache_refresh(int fd, const std::string& path)
{
    struct stat st{};
    if (fstat(fd, &st) != 0)
        return false;
    if (!settings_cache.stale && same_file(settings_cache, path, st))
        return true;
    settings_cache.stale = true;
    timespec read_at{};
    clock_gettime(CLOCK_REALTIME, &read_at);
    if (!file_read_all(fd, settings_cache.bytes))
        return false;
    settings_cache.path = path;
    settings_cache.device = st.st_dev;
    settings_cache.inode = st.st_ino;
    settings_cache.size = off_t(settings_cache.bytes.size());
    settings_cache.modified = st.st_mtim;
    settings_cache.changed = st.st_ctim;
    // Grown while read, or too fresh to be told from a change to come: read again next time.
    settings_cache.stale = settings_cache.size != st.st_size || racy(st, read_at);
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
    // Opened for writing too: a file the user may not change reads as missing.
    FileDescriptor fd(open(settings_file_path.c_str(), O_RDWR | O_CLOEXEC));
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

bool write_line_locked(const char* key, const std::string& line)
{
    std::string target = file_write_target(settings_file_path);
    FolderLock between_processes(target, kFolderLockPatienceMs);
    if (between_processes.error() != 0)
        std::printf("settings: no lock on the folder of %s (%s); writing without it\n", target.c_str(),
                    std::strerror(between_processes.error()));
    FileDescriptor fd(open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT && file_create_new(target, line);
    if (!cache_refresh(fd.get(), settings_file_path))
        return false;
    std::string bytes = settings_apply_line(settings_cache.bytes, key, line);
    switch (file_replace_by_rename(target, fd.get(), bytes)) {
    case FileReplace::done:
        return fd.close();
    case FileReplace::failed:
        return false;
    case FileReplace::no_temp:
        break;
    }
    // The data folder belongs to root and only the file itself is open to users.
    bool ok = file_rewrite_in_place(fd.get(), settings_cache.bytes, bytes);
    return fd.close() && ok;
}

int write_string_locked(const char* key, const char* value)
{
    if (settings_file_path.empty() || !key || !value)
        return -1;
    std::string line = settings_format_line(key, value);
    if (line.empty()) {
        std::printf("settings: key %s cannot hold this value\n", key);
        return -1;
    }
    bool ok = write_line_locked(key, line);
    settings_cache.stale = true;
    if (!ok) {
        std::printf("settings: cannot write %s: %s\n", settings_file_path.c_str(), std::strerror(errno));
        return -1;
    }
    return 1;
}

// "%d"-style text to int: leading blanks, sign, digits; 0 when none; clamped to int.
int text_to_int(const std::string& text)
{
    long number = std::strtol(text.c_str(), nullptr, 10);
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return int(number);
}

// The file always holds a point; the number is read in the current locale, whose
// separator may be a comma.
double text_to_double(std::string text)
{
    size_t point = text.find('.');
    const char* separator = std::localeconv()->decimal_point;
    if (point != std::string::npos && separator && *separator)
        text.replace(point, 1, separator);
    return std::strtod(text.c_str(), nullptr);
}

std::string double_to_text(double number)
{
    char text[512];  // "%f" of the largest double needs 316 characters
    g_ascii_formatd(text, sizeof text, "%f", number);
    return text;
}

}  // namespace

// --- line format ---

bool settings_parse_line(std::string_view line, std::string_view* key, std::string_view* value)
{
    size_t start = 0;
    while (start < line.size() && is_lead_blank(line[start]))
        ++start;
    if (start == line.size() || line[start] == '#')
        return false;
    size_t equals = line.find('=', start);
    if (equals == std::string_view::npos)
        return false;
    size_t open = unescaped_quote(line, start);
    if (open == std::string_view::npos)
        return false;
    size_t close = unescaped_quote(line, open + 1);
    if (close == std::string_view::npos)
        return false;
    if (key)
        *key = line.substr(start, equals - start);
    if (value)
        *value = line.substr(open + 1, close - open - 1);
    return true;
}

long settings_find_line(std::string_view bytes, std::string_view key, SettingsLineSpan* found)
{
    size_t offset = 0;
    for (long index = 0;; ++index) {
        size_t end = bytes.find('\n', offset);
        if (end == std::string_view::npos)
            return -1;
        std::string_view line_key;
        if (settings_parse_line(bytes.substr(offset, end - offset), &line_key, nullptr) && line_key == key) {
            if (found)
                *found = SettingsLineSpan{index, offset, end + 1 - offset};
            return index;
        }
        offset = end + 1;
    }
}

std::string settings_encode_value(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        if (c == '\r')
            c = 4;
        else if (c == '\n')
            c = 5;
        else if (c == '"')
            c = 6;
    }
    return out;
}

std::string settings_decode_value(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        if (c == 4)
            c = '\r';
        else if (c == 5)
            c = '\n';
        else if (c == 6)
            c = '"';
    }
    return out;
}

std::string settings_format_line(std::string_view key, std::string_view value)
{
    if (key.empty() || is_lead_blank(key.front()) || key.front() == '#' ||
        key.find_first_of("=\"\r\n") != std::string_view::npos)
        return {};
    // The bytes 4, 5 and 6 stand for CR, LF and '"' in the file: kept as themselves
    // they would come back as other characters.
    if (value.find_first_of("\x04\x05\x06") != std::string_view::npos)
        return {};
    std::string encoded = settings_encode_value(value);
    if (!encoded.empty() && encoded.back() == '\\')
        return {};
    std::string line;
    line.reserve(key.size() + encoded.size() + 5);
    line.append(key).append("=\"").append(encoded).append("\"\r\n");
    return line;
}

std::string settings_apply_line(std::string_view bytes, std::string_view key, std::string_view line)
{
    SettingsLineSpan span{};
    std::string out;
    if (settings_find_line(bytes, key, &span) >= 0) {
        out.reserve(bytes.size() - span.length + line.size());
        out.append(bytes.substr(0, span.offset)).append(line).append(bytes.substr(span.offset + span.length));
        return out;
    }
    // A last line without its line end is never found; if it holds this key, ending it
    // with CR LF would make it the first match and hide the line appended after it.
    size_t tail = bytes.rfind('\n') + 1;  // 0 when there is no LF at all
    std::string_view tail_key;
    if (tail < bytes.size() && settings_parse_line(bytes.substr(tail), &tail_key, nullptr) && tail_key == key)
        bytes = bytes.substr(0, tail);
    out.reserve(bytes.size() + 2 + line.size());
    out.append(bytes);
    if (!out.empty() && out.back() != '\n')
        out.append("\r\n");
    out.append(line);
    return out;
}

// --- path ---

void settings_init_path()
{
    char folder[PATH_MAX];
    get_shell_folder(folder, sizeof folder, "Common AppData");
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += "satclock/satclock.ini";
    std::lock_guard<std::mutex> guard(settings_lock);
    settings_file_path = path;
}

std::string settings_path()
{
    std::lock_guard<std::mutex> guard(settings_lock);
    return settings_file_path;
}

// --- typed reads and writes ---

int settings_read_string(const char* key, const char* default_value, std::string& value)
{
    if (!key)
        return -1;
    std::lock_guard<std::mutex> guard(settings_lock);
    return read_string_locked(key, default_value, value);
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
        value = text_to_int(text);
    return status;
}

int settings_read_double(const char* key, double default_value, double& value)
{
    std::string text;
    int status = settings_read_string(key, double_to_text(default_value).c_str(), text);
    if (status != -1)
        value = text_to_double(text);
    return status;
}

int settings_write_string(const char* key, const char* value)
{
    std::lock_guard<std::mutex> guard(settings_lock);
    return write_string_locked(key, value);
}

int settings_write_bool(const char* key, bool value) { return settings_write_string(key, value ? "TRUE" : "FALSE"); }

int settings_write_int(const char* key, int value) { return settings_write_string(key, std::to_string(value).c_str()); }

int settings_write_double(const char* key, double value)
{
    return settings_write_string(key, double_to_text(value).c_str());
}
