// Readiness of descriptors through poll, and O_NONBLOCK.
#include "platform/readiness.h"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>

namespace {

constexpr size_t kMostDescriptors = 31;  // one bit each in the result

}  // namespace

int wait_readable(std::span<const int> fds, int timeout_ms)
{
    // No allocation: the receiver's reader waits here at real-time priority.
    pollfd set[kMostDescriptors];
    size_t count = std::min(fds.size(), kMostDescriptors);
    for (size_t i = 0; i < count; ++i)
        set[i] = {fds[i], POLLIN, 0};
    int ready = poll(set, count, timeout_ms);
    if (ready <= 0)
        return ready;
    int bits = 0;
    for (size_t i = 0; i < count; ++i)
        if (set[i].revents)
            bits |= 1 << i;
    return bits;
}

bool set_nonblocking(int fd)
{
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}
