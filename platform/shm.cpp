// Named shared memory through shm_open, pread and pwrite.
#include "platform/shm.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kOpenTries = 4;

// The opener of a block that its creator has not sized yet, or one that
// another account has shrunk, finds it short: it is grown back.
bool ensure_regular_and_sized(int fd, size_t size)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (st.st_size >= off_t(size))
        return true;
    return ftruncate(fd, off_t(size)) == 0;
}

int create_exclusive(const std::string& name, size_t size)
{
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0)
        return -1;
    // Every local account may post: 0666 regardless of our umask.
    if (fchmod(fd, 0666) != 0 || ftruncate(fd, off_t(size)) != 0) {
        int saved = errno;
        close(fd);
        shm_unlink(name.c_str());
        errno = saved;
        return -1;
    }
    return fd;
}

int open_or_create(const std::string& name, size_t size)
{
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR, 0);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = create_exclusive(name, size);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        // Another process created it between our two calls: open it again.
    }
    return -1;
}

bool owned_regular(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_uid == geteuid(); }

void pause_ms(int ms)
{
    timespec pause{0, long(ms) * 1000000L};
    nanosleep(&pause, nullptr);
}

}  // namespace

int platform_shm_open(const std::string& name, size_t size)
{
    int fd = open_or_create(name, size);
    if (fd < 0)
        return -1;
    if (!ensure_regular_and_sized(fd, size)) {
        int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

int platform_shm_open_owned(const std::string& name, size_t size)
{
    for (int attempt = 0; attempt < kOpenTries; ++attempt) {
        int fd = create_exclusive(name, size);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return -1;
        fd = shm_open(name.c_str(), O_RDWR, 0);
        struct stat st {};
        if (fd >= 0 && fstat(fd, &st) == 0 && owned_regular(st)) {
            // Ours: its mode and size may still have been changed by anyone
            // who could write it.
            if (fchmod(fd, 0666) == 0 && ensure_regular_and_sized(fd, size))
                return fd;
        }
        if (fd >= 0)
            close(fd);
        // Not ours, or unusable: take the name over. In the sticky /dev/shm
        // only the owner or root may remove it; no one else can then replace ours.
        if (shm_unlink(name.c_str()) != 0 && errno != ENOENT)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

bool platform_shm_is_current(int fd, const std::string& name)
{
    struct stat open_st {};
    struct stat named_st {};
    if (fstat(fd, &open_st) != 0 || lstat(("/dev/shm" + name).c_str(), &named_st) != 0)
        return false;
    return owned_regular(named_st) && open_st.st_dev == named_st.st_dev && open_st.st_ino == named_st.st_ino;
}

void platform_shm_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

off_t platform_shm_size(int fd)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return -1;
    return st.st_size;
}

ssize_t platform_shm_read(int fd, size_t offset, void* bytes, size_t count)
{
    ssize_t n = 0;
    do {
        n = pread(fd, bytes, count, off_t(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t platform_shm_write(int fd, size_t offset, const void* bytes, size_t count)
{
    ssize_t n = 0;
    do {
        n = pwrite(fd, bytes, count, off_t(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

int platform_shm_grow(int fd, size_t size) { return ensure_regular_and_sized(fd, size) ? 0 : errno; }

unsigned char* platform_shm_map(int fd, size_t size)
{
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : static_cast<unsigned char*>(view);
}

void platform_shm_unmap(unsigned char* view, size_t size)
{
    if (view)
        munmap(view, size);
}

int platform_shm_unlink(const std::string& name)
{
    return shm_unlink(name.c_str()) == 0 ? 0 : errno;
}

int platform_shm_hold(int fd, int patience_ms)
{
    for (int waited = 0;; ++waited) {
        if (flock(fd, LOCK_SH | LOCK_NB) == 0)
            return 0;
        if (errno != EINTR && errno != EWOULDBLOCK)
            return errno;
        if (errno == EWOULDBLOCK && waited >= patience_ms)
            return EWOULDBLOCK;
        if (errno == EWOULDBLOCK)
            pause_ms(1);
    }
}

int platform_shm_held_by_others(int fd)
{
    // Our own shared lock converts to an exclusive one only when no other
    // open description holds one. The conversion may drop ours on the way,
    // so it is tried again afterwards.
    int rc = flock(fd, LOCK_EX | LOCK_NB);
    int error = errno;
    platform_shm_hold(fd, 0);
    if (rc == 0)
        return 0;
    return error == EWOULDBLOCK ? 1 : -1;
}
