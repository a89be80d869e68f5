// Test devices for modem-line edges, keyed by port number.
#include "tests/support/com_test_device.h"

#include "src/gps/modem_lines.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines[] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI};
constexpr int kLineCount = 4;

// The line's place in kLines, -1 for another line.
int line_index(int line)
{
    const int* found = std::find(kLines, kLines + kLineCount, line);
    return found == kLines + kLineCount ? -1 : int(found - kLines);
}

// What the watcher sees: edges counted per line (in kLines' order), or a failure.
struct Counts {
    unsigned long edges[kLineCount] = {};
    int bits = 0;   // the lines on now: TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI
    int error = 0;  // errno value once failed
    bool operator==(const Counts&) const = default;
};

// Every member under lock.
struct Device {
    std::mutex lock;
    std::condition_variable changed;
    Counts counts;
    int resting = 0;  // the lines' bits between pulses
    // When each line's pulse ends (the line rests again), none when it rests.
    std::optional<Clock::time_point> pulse_end[kLineCount];

    void turn_over(int index)
    {
        ++counts.edges[index];
        counts.bits ^= kLines[index];
    }

    // Ends the pulses whose time has come; the next end of one, if any.
    std::optional<Clock::time_point> end_due_pulses()
    {
        Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> next;
        for (int i = 0; i < kLineCount; ++i) {
            if (pulse_end[i] && *pulse_end[i] <= now) {
                pulse_end[i].reset();
                turn_over(i);
            }
            if (pulse_end[i] && (!next || *pulse_end[i] < *next))
                next = pulse_end[i];
        }
        return next;
    }
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

// Changes the device and wakes its watcher.
template <class Change>
void change_device(Device& device, Change change)
{
    {
        std::lock_guard guard(device.lock);
        device.end_due_pulses();
        change(device);
    }
    device.changed.notify_all();
}

// The same for the port's device: 1, or 0 when none is registered for it.
template <class Change>
int change_port(int port, Change change)
{
    std::shared_ptr<Device> device = find(port);
    if (device)
        change_device(*device, change);
    return device ? 1 : 0;
}

// The device as the 1PPS watcher reads it: the edges since the port opened.
// The watcher keeps the device for the life of the open port, so a later
// register starts a fresh device.
class TestDeviceLines : public ModemLineSource {
public:
    explicit TestDeviceLines(std::shared_ptr<Device> device) : device_(std::move(device))
    {
        std::lock_guard guard(device_->lock);
        device_->end_due_pulses();
        seen_ = start_ = device_->counts;  // no edge falls between the open and this
    }

    bool read(ModemLineCounts& counts) override
    {
        if (seen_.error) {
            errno = seen_.error;
            return false;
        }
        const unsigned long* now = seen_.edges;
        const unsigned long* start = start_.edges;
        counts = {now[0] - start[0], now[1] - start[1], now[2] - start[2], now[3] - start[3], seen_.bits};
        return true;
    }

    bool wait_change() override
    {
        std::unique_lock guard(device_->lock);
        for (;;) {
            std::optional<Clock::time_point> next_end = device_->end_due_pulses();
            if (interrupted_) {
                interrupted_ = false;
                errno = EINTR;
                return false;
            }
            if (device_->counts != seen_)
                break;
            if (next_end)
                device_->changed.wait_until(guard, *next_end);
            else
                device_->changed.wait(guard);
        }
        seen_ = device_->counts;
        return true;
    }

    void interrupt() override
    {
        std::lock_guard guard(device_->lock);
        interrupted_ = true;
        device_->changed.notify_all();
    }

private:
    std::shared_ptr<Device> device_;
    Counts seen_;
    Counts start_;
    bool interrupted_ = false;  // under the device's lock
};

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
    change_device(*device, [](Device& d) { d.counts.error = d.counts.error ? d.counts.error : ENODEV; });
}

int com_test_device_raise_pulse(int port, int line, int width_ms)
{
    int index = line_index(line);
    return index < 0 ? 0 : change_port(port, [&](Device& d) {
        if ((d.counts.bits ^ d.resting) & line)
            d.turn_over(index);  // the last pulse ends before this one begins
        d.turn_over(index);
        d.pulse_end[index] = Clock::now() + std::chrono::milliseconds(std::max(width_ms, 0));
    });
}

int com_test_device_fail(int port, int errno_value)
{
    return change_port(port, [errno_value](Device& d) { d.counts.error = errno_value ? errno_value : EIO; });
}
