// A descriptor that one thread makes readable to end another's poll: the
// service worker's stop, waited for beside the command socket, and the stop
// or restart of the receiver's reader and of a port's pending read.
#pragma once

class WakeDescriptor {
public:
    WakeDescriptor() = default;
    ~WakeDescriptor();
    WakeDescriptor(WakeDescriptor&& other) noexcept;
    WakeDescriptor(const WakeDescriptor&) = delete;
    WakeDescriptor& operator=(const WakeDescriptor&) = delete;

    // 0 or an errno value. Not readable until set().
    int open();
    // One opened at first use and never closed, for a thread that may still
    // wait on it while the process exits (a failed open leaves it without a descriptor).
    static WakeDescriptor* opened_for_good();
    // Readable from now on, until clear(). Safe from any thread.
    void set();
    // Not readable again until the next set(). Safe from any thread.
    void clear();
    void close();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};
