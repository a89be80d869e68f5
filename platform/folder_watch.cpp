// Notice of changes in one folder through inotify.
#include "platform/folder_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

int folder_watch_open(const std::string& folder)
{
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && inotify_add_watch(fd, folder.c_str(),
                                     IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_ONLYDIR) < 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool folder_watch_drain(int fd)
{
    bool changed = false;
    char events[4096];
    while (fd >= 0 && read(fd, events, sizeof events) > 0)
        changed = true;
    return changed;
}

void folder_watch_close(int fd)
{
    if (fd >= 0)
        close(fd);
}
