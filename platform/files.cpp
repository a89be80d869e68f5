// Writing and reading files without following a link at their names, and
// what lies at a path.
#include "platform/files.h"

#include "platform/deadline.h"
#include "platform/env.h"
#include "platform/path_text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

using path_text::folder_part;
using path_text::name_part;

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// A regular file opened without following a link at its name (flags added to
// O_NOFOLLOW | O_CLOEXEC); -1 with errno set (EINVAL: something else is there).
int open_regular_at(int folder, const std::string& name, int flags)
{
    int fd = openat(folder, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (error == 0)
        return fd;
    close(fd);
    errno = error;
    return -1;
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
    bool written = fchmod(fd, mode) == 0 && file_write_all(fd, bytes) && fsync(fd) == 0;
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
    int fd = open_regular_at(folder.fd(), name, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    int error = 0;
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
    int fd = open_regular_at(AT_FDCWD, path, O_WRONLY | flags);
    if (fd < 0)
        return false;
    bool ok = true;
    if (flags == 0 && lseek(fd, offset, SEEK_SET) != offset)
        ok = false;
    ok = ok && file_write_all(fd, bytes);
    return close(fd) == 0 && ok;
}

}  // namespace

bool file_append(const std::string& path, std::string_view bytes) { return write_existing(path, O_APPEND, 0, bytes); }

bool file_overwrite_at(const std::string& path, off_t offset, std::string_view bytes)
{
    return write_existing(path, 0, offset, bytes);
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

int file_rename_new(const std::string& from, const std::string& to)
{
    return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
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

std::string resolved_path(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
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

bool file_rewrite_owned(const std::string& path, std::string_view bytes, uid_t owner)
{
    // The file is looked at before it is opened for writing, through a
    // descriptor that opens nothing (O_PATH): opening a FIFO wakes its reader,
    // a serial line raises DTR, a terminal may become the controlling one. The
    // write then reopens that very file, whatever the name names by then.
    int probe = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0)
        return false;
    struct stat st {};
    bool fit = fstat(probe, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == owner;
    std::string same_file = "/proc/self/fd/" + std::to_string(probe);
    int fd = fit ? open(same_file.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    close(probe);
    if (fd < 0)
        return false;
    bool ok = ftruncate(fd, 0) == 0 && file_write_all(fd, bytes);
    return close(fd) == 0 && ok;
}

std::string file_create_temp(const std::string& prefix)
{
    std::string dir = env_value("TMPDIR");
    std::string path = (dir.empty() ? std::string("/tmp") : dir) + "/" + prefix + "XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    close(fd);
    return path;
}

bool file_write_all(int fd, std::string_view bytes)
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

bool file_read_to_end(int fd, std::string* bytes, int64_t deadline_ns, size_t limit)
{
    size_t total = 0;
    char chunk[4096];
    for (;;) {
        int left_ms = platform_ms_left(deadline_ns);
        pollfd ready{fd, POLLIN, 0};
        int polled = left_ms == 0 ? 0 : poll(&ready, 1, left_ms);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 && total <= limit;
        if (bytes && total < limit)
            bytes->append(chunk, std::min(size_t(n), limit - total));
        total += size_t(n);
    }
}
