// SIGTERM through a signalfd, with a wake descriptor to end the wait from inside.
#include "platform/stop_signal.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

StopSignalWaiter::~StopSignalWaiter()
{
    if (signal_fd_ >= 0)
        close(signal_fd_);
}

int StopSignalWaiter::open()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    int rc = pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (rc != 0)
        return rc;
    signal_fd_ = signalfd(-1, &set, SFD_CLOEXEC);
    if (signal_fd_ < 0)
        return errno;
    return wake_.open();
}

int StopSignalWaiter::wait()
{
    pollfd fds[2] = {{signal_fd_, POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
    for (;;) {
        int n = poll(fds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (fds[1].revents & POLLIN)
            return 0;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signal_fd_, &info, sizeof info) == ssize_t(sizeof info))
                return 1;
            continue;
        }
        errno = EIO;
        return -1;
    }
}

void StopSignalWaiter::wake()
{
    wake_.set();
}
