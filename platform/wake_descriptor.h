// A descriptor that one thread makes readable to end another's poll: the
// service worker's stop, waited for beside the command socket.
#pragma once

class WakeDescriptor {
public:
    WakeDescriptor() = default;
    ~WakeDescriptor();
    WakeDescriptor(const WakeDescriptor&) = delete;
    WakeDescriptor& operator=(const WakeDescriptor&) = delete;

    // 0 or an errno value. Not readable until set().
    int open();
    // Readable from now on, for good. Safe from any thread.
    void set();
    void close();
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};
