// Ctrl+C, SIGTERM and SIGHUP of a command-line run, turned into a call on a
// thread of its own.
#pragma once

#include <functional>
#include <thread>

// While it lives, the three signals no longer end the process: the handler
// only writes a byte to a pipe (all it may do), and a watcher thread, woken by
// that byte, calls on_interrupt once. Its end restores the default actions.
class InterruptWatch {
public:
    explicit InterruptWatch(std::function<void()> on_interrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    int stop_fds_[2] = {-1, -1};
    std::thread watcher_;
};
