// SIGTERM as the stop control of a service, received by one chosen thread.
#pragma once

#include "platform/wake_descriptor.h"

// The service manager asks a service to stop with SIGTERM. The signal is
// blocked in the thread that opens the waiter and in every thread it starts
// afterwards, and is read synchronously from a signalfd, so no handler runs
// at an arbitrary point of another thread.
class StopSignalWaiter {
public:
    StopSignalWaiter() = default;
    ~StopSignalWaiter();
    StopSignalWaiter(const StopSignalWaiter&) = delete;
    StopSignalWaiter& operator=(const StopSignalWaiter&) = delete;

    // Call before any other thread is started. Returns 0 or an errno value.
    int open();
    // 1: SIGTERM arrived; 0: woken by wake(); -1: failed (errno set).
    int wait();
    // Make a pending or the next wait() return 0. Safe from any thread.
    void wake();

private:
    int signal_fd_ = -1;
    WakeDescriptor wake_;
};
