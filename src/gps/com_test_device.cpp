// Test devices for modem-line edges, keyed by port number.
#include "src/gps/com_test_device.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace com_test_device_internal {

using Clock = std::chrono::steady_clock;

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

}  // namespace com_test_device_internal

namespace {

using com_test_device_internal::Clock;
using com_test_device_internal::Counts;
using com_test_device_internal::Device;
using com_test_device_internal::kLineCount;
using com_test_device_internal::kLines;

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

}  // namespace

void com_test_device_register(int port, int resting_on)
{
    auto device = std::make_shared<Device>();
    device->resting = device->counts.bits = resting_on & (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
    std::lock_guard guard(registry_lock);
    registry[port] = device;
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

namespace com_test_device_internal {

std::shared_ptr<Device> acquire(int port) { return find(port); }

Counts current(Device& device)
{
    std::lock_guard guard(device.lock);
    end_due_pulses(device, Clock::now());
    return device.counts;
}

bool wait_change(Device& device, const Counts& seen, Counts& now, const std::atomic<bool>& stop)
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

void interrupt(Device& device)
{
    std::lock_guard guard(device.lock);
    device.changed.notify_all();
}

}  // namespace com_test_device_internal
