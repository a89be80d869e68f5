// The command block through open, fstat, pread and pwrite.
#include "platform/channel_file.h"

#include "platform/channel_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kCreateTries = 4;

int create_exclusive(const std::string& path, size_t size)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    // Every local account may post: 0666 regardless of our umask.
    if (fchmod(fd, 0666) != 0 || ftruncate(fd, off_t(size)) != 0) {
        int saved = errno;
        close(fd);
        unlink(path.c_str());
        errno = saved;
        return -1;
    }
    return fd;
}

}  // namespace

int platform_channel_file_create(const std::string& path, size_t size)
{
    for (int attempt = 0; attempt < kCreateTries; ++attempt) {
        if (int error = platform_channel_name_clear(path)) {
            errno = error;
            return -1;
        }
        int fd = create_exclusive(path, size);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int platform_channel_file_open(const std::string& path, uid_t owner)
{
    // O_NONBLOCK: a fifo at the name must not hold the sender in open().
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (st.st_uid != owner)
        error = EPERM;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

void platform_channel_file_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

off_t platform_channel_file_size(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return -1;
    return st.st_size;
}

ssize_t platform_channel_file_read(int fd, size_t offset, void* bytes, size_t count)
{
    ssize_t n = 0;
    do {
        n = pread(fd, bytes, count, off_t(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t platform_channel_file_write(int fd, size_t offset, const void* bytes, size_t count)
{
    ssize_t n = 0;
    do {
        n = pwrite(fd, bytes, count, off_t(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int platform_channel_file_grow(int fd, size_t size)
{
    off_t now = platform_channel_file_size(fd);
    if (now < 0)
        return errno;
    if (now >= off_t(size))
        return 0;
    return ftruncate(fd, off_t(size)) == 0 ? 0 : errno;
}
