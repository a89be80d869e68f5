// Named auto-reset events on sem_open semaphores.
#include "platform/named_event.h"

#include <cerrno>
#include <ctime>
#include <mutex>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// glibc shares one mapping per semaphore between all sem_open calls of the
// process and guards its table with an internal lock that ThreadSanitizer does
// not see; opening and closing under a lock of our own keeps that visible.
std::mutex open_close_lock;

// glibc keeps the semaphore "/name" as the file /dev/shm/sem.name; the mode
// given to sem_open is cut by the umask, so it is widened here afterwards.
void open_to_everyone(const std::string& name)
{
    std::string path = "/dev/shm/sem." + name.substr(1);
    chmod(path.c_str(), 0666);
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

void drain(sem_t* sem)
{
    while (sem_trywait(sem) == 0) {
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
    {
        std::lock_guard guard(open_close_lock);
        sem = open_or_create(name);
    }
    if (sem == SEM_FAILED)
        return nullptr;
    return new (std::nothrow) NamedEvent{sem};
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
    if (!event)
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
    if (!event) {
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

int platform_named_event_unlink(const std::string& name)
{
    return sem_unlink(name.c_str()) == 0 ? 0 : errno;
}
