// statvfs and the mount point found by walking up while the device stays the same.
#include "platform/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

std::string parent_of(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string without_trailing_slashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

bool disk_free_space(const std::string& path, uint64_t* free_bytes, std::string* mount_point)
{
    if (path.empty() || path[0] != '/')
        return false;
    std::string existing = without_trailing_slashes(path);
    struct stat st{};
    while (stat(existing.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (existing == "/")
            return false;
        existing = parent_of(existing);
    }
    struct statvfs fs{};
    if (statvfs(existing.c_str(), &fs) != 0)
        return false;
    *free_bytes = uint64_t(fs.f_bfree) * uint64_t(fs.f_frsize);
    std::string top = existing;
    while (top != "/") {
        struct stat above{};
        std::string parent = parent_of(top);
        if (stat(parent.c_str(), &above) != 0 || above.st_dev != st.st_dev)
            break;
        top = parent;
    }
    *mount_point = top;
    return true;
}
