// The channel's folder: made, checked and cleared with lstat, mkdir and unlink.
#include "platform/channel_folder.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

int platform_channel_folder_make(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return errno;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (st.st_uid != geteuid())
        return EPERM;
    // mkdir's mode was cut by the umask, or an earlier run left it writable.
    if ((st.st_mode & 07777) != 0755 && chmod(path.c_str(), 0755) != 0)
        return errno;
    return 0;
}

int platform_channel_folder_owner(const std::string& path, uid_t* owner)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    *owner = st.st_uid;
    return 0;
}

int platform_channel_name_clear(const std::string& path)
{
    // remove_all removes a link itself, never what it points at.
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (error)
        return error.value();
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? EEXIST : 0;
}
