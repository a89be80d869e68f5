// A lock file held with flock.
#include "platform/lock_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

LockTake lock_file_take(const std::string& path, int* fd)
{
    int opened = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (opened < 0)
        return LockTake::cannot_open;
    if (flock(opened, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(opened);
        errno = error;
        return error == EWOULDBLOCK ? LockTake::busy : LockTake::cannot_lock;
    }
    *fd = opened;
    return LockTake::held;
}
