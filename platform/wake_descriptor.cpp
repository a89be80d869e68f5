// The wake descriptor: an eventfd that is written and never read.
#include "platform/wake_descriptor.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

WakeDescriptor::~WakeDescriptor() { close(); }

int WakeDescriptor::open()
{
    close();
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_ < 0 ? errno : 0;
}

void WakeDescriptor::set()
{
    uint64_t one = 1;
    if (fd_ >= 0) {
        [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
    }
}

void WakeDescriptor::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
