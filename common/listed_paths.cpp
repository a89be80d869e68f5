// Removal passes over the uninstall list.
#include "common/listed_paths.h"

#include <cerrno>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A symbolic link is deleted itself, never followed: the list names what the
// installer placed, not what a link points at.
bool remove_one(const std::string& path)
{
    struct stat st{};
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    if (S_ISDIR(st.st_mode))
        return rmdir(path.c_str()) == 0 || errno == ENOENT;
    return unlink(path.c_str()) == 0 || errno == ENOENT;
}

// One pass over the LF-ended lines; false when something listed stayed.
bool removal_pass(std::string_view list, const std::string& base)
{
    bool all_removed = true;
    size_t start = 0;
    for (size_t end = list.find('\n'); end != std::string_view::npos; end = list.find('\n', start)) {
        std::string_view line = list.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (!remove_one(listed_path(std::string(line), base)))
            all_removed = false;
    }
    return all_removed;
}

}  // namespace

std::string listed_path(const std::string& line, const std::string& base)
{
    return line.starts_with('/') ? line : base + line;
}

int remove_listed_paths(const char* list, size_t length, const std::string& base)
{
    std::string_view text(list ? list : "", list ? length : 0);
    int pass = 1;
    while (!removal_pass(text, base) && pass < kRemovalPasses)
        ++pass;
    return pass;
}
