// Test devices for modem-line edges, keyed by port number.
#include "tests/support/com_test_device.h"

#include "src/gps/modem_lines.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// What the watcher sees: edges counted per line, or a failure.
struct Counts {
    unsigned long cts = 0;
    unsigned long dsr = 0;
    unsigned long dcd = 0;
    unsigned long ri = 0;
    int bits = 0;   // the lines on now: TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI
    int error = 0;  // errno value once failed
};

constexpr int kLines[] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI};
constexpr int kLineCount = 4;

struct Device {
    std::mutex lock;
    std::condition_variable changed;
    Counts counts;
    int resting = 0;  // the lines' bits between pulses
    // When each line's pulse ends (the line rests again), none when it rests.
    std::optional<Clock::time_point> pulse_end[kLineCount];
};

std::mutex registry_lock;
// Never destroyed: a port's watcher may look a device up while the process exits.
std::map<int, std::shared_ptr<Device>>& registry = *new std::map<int, std::shared_ptr<Device>>;

std::shared_ptr<Device> find(int port)
{
    std::lock_guard guard(registry_lock);
    auto it = registry.find(port);
    return it == registry.end() ? nullptr : it->second;
}

bool differs(const Counts& a, const Counts& b)
{
    return a.cts != b.cts || a.dsr != b.dsr || a.dcd != b.dcd || a.ri != b.ri || a.error != b.error;
}

// The count of the line on the device, null for another line.
unsigned long* line_count(Counts& counts, int line)
{
    switch (line) {
    case TIOCM_CTS:
        return &counts.cts;
    case TIOCM_DSR:
        return &counts.dsr;
    case TIOCM_CD:
        return &counts.dcd;
    case TIOCM_RI:
        return &counts.ri;
    default:
        return nullptr;
    }
}

int line_index(int line) { return int(std::find(kLines, kLines + kLineCount, line) - kLines); }

// Caller holds the device's lock.
void turn_over(Device& device, int line)
{
    ++*line_count(device.counts, line);
    device.counts.bits ^= line;
}

// Ends the pulses whose time has come. Caller holds the device's lock.
void end_due_pulses(Device& device, Clock::time_point now)
{
    for (int i = 0; i < kLineCount; ++i) {
        if (device.pulse_end[i] && *device.pulse_end[i] <= now) {
            device.pulse_end[i].reset();
            turn_over(device, kLines[i]);
        }
    }
}

std::optional<Clock::time_point> next_pulse_end(const Device& device)
{
    std::optional<Clock::time_point> next;
    for (const auto& end : device.pulse_end)
        if (end && (!next || *end < *next))
            next = end;
    return next;
}


Counts current(Device& device)
{
    std::lock_guard guard(device.lock);
    end_due_pulses(device, Clock::now());
    return device.counts;
}

bool device_wait_change(Device& device, const Counts& seen, Counts& now, const std::atomic<bool>& stop)
{
    std::unique_lock guard(device.lock);
    for (;;) {
        end_due_pulses(device, Clock::now());
        if (stop.load())
            return false;
        if (differs(device.counts, seen))
            break;
        if (auto end = next_pulse_end(device))
            device.changed.wait_until(guard, *end);
        else
            device.changed.wait(guard);
    }
    now = device.counts;
    return true;
}

void device_interrupt(Device& device)
{
    std::lock_guard guard(device.lock);
    device.changed.notify_all();
}

// The device as the 1PPS watcher reads it: the edges since the port opened.
class TestDeviceLines : public ModemLineSource {
public:
    explicit TestDeviceLines(std::shared_ptr<Device> device)
        : device_(std::move(device)), seen_(current(*device_)), start_(seen_) {}

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
        Counts now;
        if (!device_wait_change(*device_, seen_, now, interrupted_)) {
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
        device_interrupt(*device_);
    }

private:
    std::shared_ptr<Device> device_;
    Counts seen_;
    Counts start_;  // taken as the port opened: no edge falls between
    std::atomic<bool> interrupted_{false};
};

// The watcher keeps the device for the life of the open port, so a later
// register starts a fresh device.
std::unique_ptr<ModemLineSource> test_device_lines(int port)
{
    if (auto device = find(port))
        return std::make_unique<TestDeviceLines>(std::move(device));
    return nullptr;
}

}  // namespace

void com_test_device_register(int port, int resting_on)
{
    auto device = std::make_shared<Device>();
    device->resting = device->counts.bits = resting_on & (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
    {
        std::lock_guard guard(registry_lock);
        registry[port] = device;
    }
    modem_line_provider_set(test_device_lines);
}

void com_test_device_unregister(int port)
{
    std::shared_ptr<Device> device;
    {
        std::lock_guard guard(registry_lock);
        auto it = registry.find(port);
        if (it == registry.end())
            return;
        device = it->second;
        registry.erase(it);
    }
    // A watcher still waiting on the device sees the failure and ends.
    std::lock_guard guard(device->lock);
    if (!device->counts.error)
        device->counts.error = ENODEV;
    device->changed.notify_all();
}

int com_test_device_raise_edge(int port, int line)
{
    std::shared_ptr<Device> device = find(port);
    Counts probe;
    if (!device || !line_count(probe, line))
        return 0;
    {
        std::lock_guard guard(device->lock);
        end_due_pulses(*device, Clock::now());
        turn_over(*device, line);
    }
    device->changed.notify_all();
    return 1;
}

int com_test_device_raise_pulse(int port, int line, int width_ms)
{
    std::shared_ptr<Device> device = find(port);
    Counts probe;
    if (!device || !line_count(probe, line))
        return 0;
    {
        std::lock_guard guard(device->lock);
        Clock::time_point now = Clock::now();
        end_due_pulses(*device, now);
        if ((device->counts.bits & line) != (device->resting & line))
            turn_over(*device, line);  // the last pulse ends before this one begins
        turn_over(*device, line);
        device->pulse_end[line_index(line)] = now + std::chrono::milliseconds(std::max(width_ms, 0));
    }
    device->changed.notify_all();
    return 1;
}

int com_test_device_fail(int port, int errno_value)
{
    std::shared_ptr<Device> device = find(port);
    if (!device)
        return 0;
    {
        std::lock_guard guard(device->lock);
        device->counts.error = errno_value ? errno_value : EIO;
    }
    device->changed.notify_all();
    return 1;
}
