// Named shared memory through shm_open and mmap.
#include "platform/shm.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The opener of a block that its creator has not sized yet, or one that
// another account has shrunk, would fault on its first access past the end.
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

int open_or_create(const std::string& name)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR, 0);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            // Every local account may post: 0666 regardless of our umask.
            fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Another process created it between our two calls: open it again.
    }
    return -1;
}

}  // namespace

int platform_shm_open(const std::string& name, size_t size)
{
    int fd = open_or_create(name);
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

void platform_shm_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

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

int platform_shm_hold(int fd)
{
    // An exclusive lock is only ever held for the moment of a check below.
    while (flock(fd, LOCK_SH) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

int platform_shm_held_by_others(int fd)
{
    // Our own shared lock converts to an exclusive one only when no other
    // open description holds one. The conversion may drop ours on the way,
    // so it is taken again afterwards.
    int rc = flock(fd, LOCK_EX | LOCK_NB);
    int error = errno;
    platform_shm_hold(fd);
    if (rc == 0)
        return 0;
    return error == EWOULDBLOCK ? 1 : -1;
}
