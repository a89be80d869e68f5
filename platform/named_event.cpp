// Named auto-reset events on sem_open semaphores.
#include "platform/named_event.h"

#include <cerrno>
#include <ctime>
#include <mutex>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// glibc shares one mapping per semaphore between all sem_open calls of the
// process and guards its table with an internal lock that ThreadSanitizer does
// not see; opening and closing under a lock of our own keeps that visible.
std::mutex open_close_lock;

// glibc keeps the semaphore "/name" as the file /dev/shm/sem.name; the mode
// given to sem_open is cut by the umask, so it is widened here afterwards.
std::string semaphore_path(const std::string& name) { return "/dev/shm/sem." + name.substr(1); }

void open_to_everyone(const std::string& name) { chmod(semaphore_path(name).c_str(), 0666); }

// A semaphore file that is another account's, or shorter than the semaphore,
// is not one the keeper can rely on.
bool owned_full_size(const struct stat& st)
{
    return S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_size >= off_t(sizeof(sem_t));
}

// Create the name afresh, or open it when it exists and is ours already;
// anything else under the name is removed first.
sem_t* open_owned(const std::string& name, struct stat* opened)
{
    std::string path = semaphore_path(name);
    for (int attempt = 0; attempt < 4; ++attempt) {
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && !owned_full_size(st) && sem_unlink(name.c_str()) != 0 &&
            errno != ENOENT)
            return SEM_FAILED;
        sem_t* sem = sem_open(name.c_str(), O_CREAT | O_EXCL, 0666, 0);
        if (sem == SEM_FAILED && errno == EEXIST)
            sem = sem_open(name.c_str(), 0);
        if (sem == SEM_FAILED) {
            if (errno == ENOENT || errno == EEXIST)
                continue;
            return SEM_FAILED;
        }
        // In the sticky /dev/shm no one but its owner or root can replace a
        // file of ours, so what the name shows now is what was opened.
        if (lstat(path.c_str(), opened) == 0 && owned_full_size(*opened)) {
            open_to_everyone(name);
            return sem;
        }
        sem_close(sem);
    }
    errno = EEXIST;
    return SEM_FAILED;
}

sem_t* open_or_create(const std::string& name)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        sem_t* sem = sem_open(name.c_str(), 0);
        if (sem != SEM_FAILED || errno != ENOENT)
            return sem;
        sem = sem_open(name.c_str(), O_CREAT | O_EXCL, 0666, 0);
        if (sem != SEM_FAILED) {
            open_to_everyone(name);
            return sem;
        }
        if (errno != EEXIST)
            return SEM_FAILED;
    }
    return SEM_FAILED;
}

// What the C library maps of the file must be there: a shrunken file would
// make its next access a SIGBUS. Looked at just before each use; the window
// left between the look and the use is a few instructions wide.
bool full_size(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= off_t(sizeof(sem_t));
}

timespec deadline_after(int timeout_ms)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += timeout_ms / 1000;
    ts.tv_nsec += long(timeout_ms % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// A count written from outside may be as high as 2^31 - 1: never drain it all.
void drain(sem_t* sem)
{
    for (int i = 0; i < kNamedEventDrainBound && sem_trywait(sem) == 0; ++i) {
    }
}

}  // namespace

NamedEvent* platform_named_event_open(const std::string& name)
{
    if (name.size() < 2 || name[0] != '/') {
        errno = EINVAL;
        return nullptr;
    }
    sem_t* sem = SEM_FAILED;
    std::string path = semaphore_path(name);
    {
        std::lock_guard guard(open_close_lock);
        sem = open_or_create(name);
        if (sem != SEM_FAILED && !full_size(path)) {
            sem_close(sem);
            sem = SEM_FAILED;
            errno = EINVAL;
        }
    }
    if (sem == SEM_FAILED)
        return nullptr;
    return new (std::nothrow) NamedEvent{sem, 0, 0, path};
}

NamedEvent* platform_named_event_open_owned(const std::string& name)
{
    if (name.size() < 2 || name[0] != '/') {
        errno = EINVAL;
        return nullptr;
    }
    struct stat opened {};
    sem_t* sem = SEM_FAILED;
    {
        std::lock_guard guard(open_close_lock);
        sem = open_owned(name, &opened);
    }
    if (sem == SEM_FAILED)
        return nullptr;
    return new (std::nothrow) NamedEvent{sem, opened.st_dev, opened.st_ino, semaphore_path(name)};
}

bool platform_named_event_is_current(const NamedEvent* event, const std::string& name)
{
    struct stat st {};
    if (!event || lstat(semaphore_path(name).c_str(), &st) != 0)
        return false;
    return owned_full_size(st) && st.st_dev == event->device && st.st_ino == event->inode;
}

void platform_named_event_close(NamedEvent* event)
{
    if (!event)
        return;
    {
        std::lock_guard guard(open_close_lock);
        sem_close(event->sem);
    }
    delete event;
}

int platform_named_event_signal(NamedEvent* event)
{
    if (!event || !full_size(event->path))
        return EINVAL;
    int value = 0;
    if (sem_getvalue(event->sem, &value) != 0)
        return errno;
    if (value > 0)
        return 0;
    return sem_post(event->sem) == 0 ? 0 : errno;
}

int platform_named_event_wait(NamedEvent* event, int timeout_ms)
{
    if (!event || !full_size(event->path)) {
        errno = EINVAL;
        return -1;
    }
    timespec deadline = deadline_after(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
        int rc = timeout_ms < 0 ? sem_wait(event->sem)
                                : sem_clockwait(event->sem, CLOCK_MONOTONIC, &deadline);
        if (rc == 0) {
            drain(event->sem);
            return 1;
        }
        if (errno == ETIMEDOUT)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

bool platform_named_event_pending(NamedEvent* event)
{
    int value = 0;
    return event && full_size(event->path) && sem_getvalue(event->sem, &value) == 0 && value > 0;
}

int platform_named_event_unlink(const std::string& name)
{
    return sem_unlink(name.c_str()) == 0 ? 0 : errno;
}
