// Waiting for descriptors to turn readable, and reads that never block: the
// loops that read a socket or a watch beside a wake descriptor.
#pragma once

#include <span>

// Waits up to timeout_ms (-1: without end) until one of fds is readable, hung
// up or failed. Which ones are, a bit each in their order (bit 0 the first,
// at most 31 descriptors); 0 on time-out; -1 on an error with errno set
// (EINTR: a signal came first).
int wait_readable(std::span<const int> fds, int timeout_ms);

// Reads of fd return at once from now on (EAGAIN when nothing is there).
// False with errno set when that cannot be set.
bool set_nonblocking(int fd);
