// Folders: made and walked without following links, and removal beneath them.
#include "platform/files.h"

#include "platform/path_text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using path_text::folder_part;
using path_text::name_part;
using path_text::parts_of;

Folder::~Folder()
{
    if (fd_ >= 0)
        close(fd_);
}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::string error_text(const std::string& path, int error) { return path + ": " + std::strerror(error); }

// Why the entry `part` of folder is not a folder to enter.
std::string refusal(int folder, const std::string& part, const std::string& shown, int error)
{
    struct stat st {};
    if (fstatat(folder, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            return shown + " is a link: refused, never followed";
        if (!S_ISDIR(st.st_mode))
            return shown + " is not a folder";
    }
    return error_text(shown, error);
}

// The existing start of an absolute path and the missing parts after it.
void split_existing(const std::string& path, std::string* existing, std::vector<std::string>* missing)
{
    std::string head = path;
    struct stat st {};
    while (head.size() > 1 && lstat(head.c_str(), &st) != 0 && errno == ENOENT) {
        missing->insert(missing->begin(), name_part(head));
        head = folder_part(head);
    }
    *existing = head;
}

// The walk of folders_open_beneath; *error is the errno value of a failed step.
Folder open_beneath(const std::string& base, const std::string& relative, bool create, mode_t mode, std::string* why,
                    int* error)
{
    Folder folder(open(base.c_str(), kFolderFlags));
    *error = folder.is_open() ? 0 : errno;
    if (!folder.is_open()) {
        *why = error_text(base, *error);
        return {};
    }
    std::string shown = base;
    for (const std::string& part : parts_of(relative)) {
        shown += (shown.ends_with('/') ? "" : "/") + part;
        if (part == "." || part == "..") {
            *error = EINVAL;
            *why = shown + ": \".\" and \"..\" are not followed";
            return {};
        }
        int next = openat(folder.fd(), part.c_str(), kFolderFlags | O_NOFOLLOW);
        if (next < 0 && errno == ENOENT && create) {
            if (mkdirat(folder.fd(), part.c_str(), mode) != 0 && errno != EEXIST) {
                *error = errno;
                *why = error_text(shown, *error);
                return {};
            }
            next = openat(folder.fd(), part.c_str(), kFolderFlags | O_NOFOLLOW);
        }
        if (next < 0) {
            *error = errno;
            *why = refusal(folder.fd(), part, shown, *error);
            return {};
        }
        folder = Folder(next);
    }
    return folder;
}

}  // namespace

Folder folders_open_beneath(const std::string& base, const std::string& relative, bool create, mode_t mode,
                            std::string* why)
{
    int error = 0;
    return open_beneath(base, relative, create, mode, why, &error);
}

bool make_folders(const std::string& path, mode_t mode, std::string* why)
{
    std::string ignored;
    std::string& reason = why ? *why : ignored;
    if (path.empty() || path[0] != '/') {
        reason = path + " is not an absolute path";
        return false;
    }
    std::string existing;
    std::vector<std::string> missing;
    std::string folder_path = path;
    while (folder_path.size() > 1 && folder_path.back() == '/')
        folder_path.pop_back();
    split_existing(folder_path, &existing, &missing);
    Folder folder(open(existing.c_str(), kFolderFlags));
    if (!folder.is_open()) {
        reason = error_text(existing, errno);
        return false;
    }
    std::string shown = existing;
    for (const std::string& part : missing) {
        shown += (shown.ends_with('/') ? "" : "/") + part;
        if (mkdirat(folder.fd(), part.c_str(), mode) != 0 && errno != EEXIST) {
            reason = error_text(shown, errno);
            return false;
        }
        Folder next(openat(folder.fd(), part.c_str(), kFolderFlags | O_NOFOLLOW));
        struct stat st {};
        if (!next.is_open() || fstat(next.fd(), &st) != 0) {
            reason = refusal(folder.fd(), part, shown, errno);
            return false;
        }
        // In a folder others may write, someone may have made the name first.
        if (st.st_uid != geteuid()) {
            reason = shown + " was made by someone else: refused";
            return false;
        }
        folder = std::move(next);
    }
    return true;
}


bool make_private_folder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 0077) == 0;
}

std::vector<std::string> folder_entries(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    return names;
}

bool remove_file_beneath(const std::string& folder, const std::string& relative)
{
    std::string why;
    int error = 0;
    std::string parent_part = relative.find('/') == std::string::npos ? "" : folder_part(relative);
    Folder parent = open_beneath(folder, parent_part, false, 0, &why, &error);
    if (!parent.is_open())
        // Missing on the way: nothing to remove. A link or a file in its place: not followed.
        return error == ENOENT;
    return unlinkat(parent.fd(), name_part(relative).c_str(), 0) == 0 || errno == ENOENT;
}

