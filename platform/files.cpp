// Writing, reading, making and removing files and folders without following
// links where the caller says so.
#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

std::string folder_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> parts_of(const std::string& relative)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find('/', start);
        if (slash == std::string::npos)
            slash = relative.size();
        if (slash > start)
            parts.push_back(relative.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

// A fresh name beside `name` for the new file; -1 with errno when none could be created.
int create_temp_beside(int folder, const std::string& name, mode_t mode, std::string* temp)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned int random = 0;
        if (getrandom(&random, sizeof random, 0) != sizeof random)
            random = unsigned(getpid()) * 2654435761u + unsigned(attempt);
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", random);
        *temp = "." + name + suffix;
        int fd = openat(folder, temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int fail(FileStep step, FileStep* failed, int error)
{
    if (failed)
        *failed = step;
    return error;
}

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

bool writable_by_others(const struct stat& st) { return (st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0; }

std::string folder_refusal(const std::string& folder, const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return folder + " is not a folder";
    if (st.st_uid != 0 || writable_by_others(st))
        return "the folder " + folder + " is not owned by root, or others may write it";
    return {};
}

// Every folder of a path that holds no links (a resolved one), from the root.
std::string chain_refusal(const std::string& resolved)
{
    std::string folder = resolved;
    for (;;) {
        struct stat st {};
        if (lstat(folder.c_str(), &st) != 0)
            return folder + " cannot be examined";
        if (std::string why = folder_refusal(folder, st); !why.empty())
            return why;
        if (folder == "/")
            return {};
        folder = folder_part(folder);
    }
}

std::string file_refusal(const std::string& path, const struct stat& st)
{
    if (!S_ISREG(st.st_mode) || st.st_uid != 0 || (st.st_mode & 022) != 0)
        return path + " is not a file owned by root and writable by root alone";
    return {};
}

}  // namespace

int file_write_new_at(const Folder& folder, const std::string& name, std::string_view bytes, mode_t mode,
                      Existing existing, FileStep* failed)
{
    if (failed)
        *failed = FileStep::none;
    std::string temp;
    int fd = create_temp_beside(folder.fd(), name, mode, &temp);
    if (fd < 0)
        return fail(FileStep::create, failed, errno);
    bool written = fchmod(fd, mode) == 0 && write_all(fd, bytes) && fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlinkat(folder.fd(), temp.c_str(), 0);
        return fail(FileStep::write, failed, error ? error : EIO);
    }
    int placed = existing == Existing::replace ? renameat(folder.fd(), temp.c_str(), folder.fd(), name.c_str())
                                               : linkat(folder.fd(), temp.c_str(), folder.fd(), name.c_str(), 0);
    error = placed == 0 ? 0 : errno;
    if (placed != 0 || existing == Existing::keep)
        unlinkat(folder.fd(), temp.c_str(), 0);
    return placed == 0 ? 0 : fail(FileStep::place, failed, error);
}

int file_write_new(const std::string& path, std::string_view bytes, mode_t mode, Existing existing, FileStep* failed)
{
    Folder folder(open(folder_part(path).c_str(), kFolderFlags));
    if (!folder.is_open())
        return fail(FileStep::create, failed, errno);
    return file_write_new_at(folder, name_part(path), bytes, mode, existing, failed);
}

int file_read_whole_at(const Folder& folder, const std::string& name, std::string* bytes, size_t limit)
{
    bytes->clear();
    // O_NONBLOCK: a FIFO planted at the name must not hold the reader.
    int fd = openat(folder.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    char chunk[65536];
    while (error == 0) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        bytes->append(chunk, size_t(n));
        if (bytes->size() > limit)
            error = EFBIG;
    }
    close(fd);
    if (error)
        bytes->clear();
    return error;
}

int file_read_whole(const std::string& path, std::string* bytes, size_t limit)
{
    Folder folder(open(folder_part(path).c_str(), kFolderFlags));
    if (!folder.is_open()) {
        bytes->clear();
        return errno;
    }
    return file_read_whole_at(folder, name_part(path), bytes, limit);
}

namespace {

bool write_existing(const std::string& path, int flags, off_t offset, std::string_view bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | flags);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && flags == 0 && lseek(fd, offset, SEEK_SET) != offset)
        ok = false;
    ok = ok && write_all(fd, bytes);
    return close(fd) == 0 && ok;
}

}  // namespace

bool file_append(const std::string& path, std::string_view bytes) { return write_existing(path, O_APPEND, 0, bytes); }

bool file_overwrite_at(const std::string& path, off_t offset, std::string_view bytes)
{
    return write_existing(path, 0, offset, bytes);
}

namespace {

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

bool file_remove(const std::string& path)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    if (S_ISDIR(st.st_mode))
        return rmdir(path.c_str()) == 0 || errno == ENOENT;
    return unlink(path.c_str()) == 0 || errno == ENOENT;
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

FileIdentity file_identity(const std::string& path, bool follow)
{
    struct stat st {};
    if ((follow ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0)
        return {};
    return {true, S_ISDIR(st.st_mode), st.st_dev, st.st_ino};
}

bool path_exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool is_folder(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool folder_writable(const std::string& path)
{
    return faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool is_program_file(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111);
}

std::string link_target(const std::string& path)
{
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

bool replace_link(const std::string& link, const std::string& target)
{
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return false;
    std::string temp = link + ".new";
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) == 0 && rename(temp.c_str(), link.c_str()) == 0)
        return true;
    unlink(temp.c_str());
    return false;
}

bool has_control_characters(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

std::string path_only_root_can_change(const std::string& path, bool whole_file)
{
    if (path.empty() || path[0] != '/')
        return "\"" + path + "\" is not an absolute path";
    if (has_control_characters(path))
        return "the path holds a control character";
    struct stat st {};
    if (lstat("/", &st) != 0)
        return "/ cannot be examined";
    if (std::string why = folder_refusal("/", st); !why.empty())
        return why;
    std::vector<std::string> parts = parts_of(path);
    std::string prefix;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..")
            return path + ": \".\" and \"..\" are not taken";
        prefix += "/" + parts[i];
        if (lstat(prefix.c_str(), &st) != 0) {
            if (errno == ENOENT && !whole_file)
                return {};
            return prefix + " cannot be examined";
        }
        if (S_ISLNK(st.st_mode)) {
            // A link of root's in a folder only root changes is fixed by root;
            // where it leads must be root's alone as well.
            if (st.st_uid != 0)
                return "the link " + prefix + " is not root's";
            char resolved[PATH_MAX];
            if (!realpath(prefix.c_str(), resolved) || stat(resolved, &st) != 0)
                return prefix + " cannot be examined";
            std::string why = chain_refusal(S_ISDIR(st.st_mode) ? resolved : folder_part(resolved));
            if (!why.empty())
                return why;
        }
        bool last = i + 1 == parts.size();
        std::string why = (last && whole_file) ? file_refusal(prefix, st) : folder_refusal(prefix, st);
        if (!why.empty())
            return why;
    }
    return whole_file && parts.empty() ? path + " is not a file" : std::string();
}

bool file_rewrite_owned(const std::string& path, std::string_view bytes, uid_t owner)
{
    int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == owner &&
              ftruncate(fd, 0) == 0 && write_all(fd, bytes);
    return close(fd) == 0 && ok;
}

std::string file_create_temp(const std::string& prefix)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string((dir && *dir) ? dir : "/tmp") + "/" + prefix + "XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    close(fd);
    return path;
}
