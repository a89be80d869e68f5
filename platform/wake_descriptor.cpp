// The wake descriptor: an eventfd, written to set it and read to clear it.
#include "platform/wake_descriptor.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

WakeDescriptor::~WakeDescriptor() { close(); }

WakeDescriptor::WakeDescriptor(WakeDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

int WakeDescriptor::open()
{
    close();
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_ < 0 ? errno : 0;
}

WakeDescriptor* WakeDescriptor::opened_for_good()
{
    auto* wake = new WakeDescriptor;
    wake->open();
    return wake;
}

void WakeDescriptor::set()
{
    uint64_t one = 1;
    if (fd_ >= 0) {
        [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
    }
}

void WakeDescriptor::clear()
{
    uint64_t count = 0;
    if (fd_ >= 0) {
        [[maybe_unused]] ssize_t n = read(fd_, &count, sizeof count);
    }
}

void WakeDescriptor::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}
