// Signals through a self-pipe to a watcher thread.
#include "platform/interrupt_watch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe's ends: the handler writes, the watcher reads. One watch at a time.
int signal_fds[2] = {-1, -1};

extern "C" void on_signal(int)
{
    int saved = errno;
    char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] ssize_t n = write(signal_fds[1], &byte, 1);
    errno = saved;
}

void set_handler(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int signo : kSignals)
        sigaction(signo, &action, nullptr);
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> on_interrupt)
{
    if (pipe2(signal_fds, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(stop_fds_, O_CLOEXEC) != 0)
        return;
    set_handler(on_signal);
    watcher_ = std::thread([this, on_interrupt = std::move(on_interrupt)] {
        pollfd fds[2] = {{signal_fds[0], POLLIN, 0}, {stop_fds_[0], POLLIN, 0}};
        while (poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        if (fds[0].revents & POLLIN)
            on_interrupt();
    });
}

InterruptWatch::~InterruptWatch()
{
    if (watcher_.joinable()) {
        char byte = 1;
        [[maybe_unused]] ssize_t n = write(stop_fds_[1], &byte, 1);
        watcher_.join();
        set_handler(SIG_DFL);
    }
    for (int* fd : {&signal_fds[0], &signal_fds[1], &stop_fds_[0], &stop_fds_[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}
