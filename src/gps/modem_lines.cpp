// The hardware's modem lines, and the provider that may stand before them.
#include "src/gps/modem_lines.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <linux/serial.h>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>

namespace {

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

std::atomic<ModemLineProvider> provider{nullptr};

}  // namespace

void modem_line_provider_set(ModemLineProvider stand_in) { provider.store(stand_in); }

std::unique_ptr<ModemLineSource> modem_line_source(int fd, int port)
{
    if (ModemLineProvider stand_in = provider.load())
        if (auto source = stand_in(port))
            return source;
    return std::make_unique<HardwareLines>(fd);
}
