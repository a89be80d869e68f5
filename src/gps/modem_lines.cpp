// The two modem-line sources: the hardware's CTS/DSR and the test device.
#include "src/gps/modem_lines.h"

#include "src/gps/com_test_device.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <linux/serial.h>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>

namespace {

namespace tdev = com_test_device_internal;

// TIOCMIWAIT has no time-out and ignores close(); this signal (with a handler
// installed without SA_RESTART) makes it return EINTR.
int wake_signal() { return SIGRTMIN + 7; }

void install_wake_signal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(wake_signal(), &action, nullptr);
    });
}

class HardwareLines : public ModemLineSource {
public:
    explicit HardwareLines(int fd) : fd_(fd) { install_wake_signal(); }

    // Transition counters where the driver keeps them (they catch two edges
    // between two wakes); otherwise the line states, one edge per change seen.
    bool read(ModemLineCounts& counts) override
    {
        waiter_ = pthread_self();
        has_waiter_ = true;
        int bits = 0;
        if (ioctl(fd_, TIOCMGET, &bits) != 0)
            return false;
        serial_icounter_struct icount {};
        if (ioctl(fd_, TIOCGICOUNT, &icount) == 0) {
            counts = {static_cast<unsigned long>(icount.cts), static_cast<unsigned long>(icount.dsr),
                      static_cast<unsigned long>(icount.dcd), static_cast<unsigned long>(icount.rng), bits};
            return true;
        }
        int changed = bits ^ last_bits_;
        changes_.cts += (changed & TIOCM_CTS) != 0;
        changes_.dsr += (changed & TIOCM_DSR) != 0;
        changes_.dcd += (changed & TIOCM_CD) != 0;
        changes_.ri += (changed & TIOCM_RI) != 0;
        changes_.bits = last_bits_ = bits;
        counts = changes_;
        return true;
    }

    bool wait_change() override { return ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI) == 0; }

    void interrupt() override
    {
        if (has_waiter_)
            pthread_kill(waiter_, wake_signal());
    }

private:
    int fd_;
    std::atomic<pthread_t> waiter_{};
    std::atomic<bool> has_waiter_{false};
    int last_bits_ = 0;
    ModemLineCounts changes_;
};

class TestDeviceLines : public ModemLineSource {
public:
    explicit TestDeviceLines(std::shared_ptr<tdev::Device> device)
        : device_(std::move(device)), seen_(tdev::current(*device_)), start_(seen_) {}

    bool read(ModemLineCounts& counts) override
    {
        if (seen_.error) {
            errno = seen_.error;
            return false;
        }
        counts = {seen_.cts - start_.cts, seen_.dsr - start_.dsr, seen_.dcd - start_.dcd, seen_.ri - start_.ri,
                  seen_.bits};
        return true;
    }

    bool wait_change() override
    {
        tdev::Counts now;
        if (!tdev::wait_change(*device_, seen_, now, interrupted_)) {
            interrupted_ = false;
            errno = EINTR;
            return false;
        }
        seen_ = now;
        return true;
    }

    void interrupt() override
    {
        interrupted_ = true;
        tdev::interrupt(*device_);
    }

private:
    std::shared_ptr<tdev::Device> device_;
    tdev::Counts seen_;
    tdev::Counts start_;  // taken as the port opened: no edge falls between
    std::atomic<bool> interrupted_{false};
};

}  // namespace

std::unique_ptr<ModemLineSource> modem_line_source(int fd, int port)
{
    if (auto device = tdev::acquire(port))
        return std::make_unique<TestDeviceLines>(std::move(device));
    return std::make_unique<HardwareLines>(fd);
}
