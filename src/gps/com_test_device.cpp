// Test devices for modem-line edges, keyed by port number.
#include "src/gps/com_test_device.h"

#include <cerrno>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace com_test_device_internal {

struct Device {
    std::mutex lock;
    std::condition_variable changed;
    Counts counts;
};

}  // namespace com_test_device_internal

namespace {

using com_test_device_internal::Counts;
using com_test_device_internal::Device;

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

}  // namespace

void com_test_device_register(int port)
{
    std::lock_guard guard(registry_lock);
    registry[port] = std::make_shared<Device>();
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
        ++*line_count(device->counts, line);
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

int line_bits(const Counts& counts)
{
    return (counts.cts % 2 ? TIOCM_CTS : 0) | (counts.dsr % 2 ? TIOCM_DSR : 0) | (counts.dcd % 2 ? TIOCM_CD : 0) |
           (counts.ri % 2 ? TIOCM_RI : 0);
}

Counts current(Device& device)
{
    std::lock_guard guard(device.lock);
    return device.counts;
}

bool wait_change(Device& device, const Counts& seen, Counts& now, const std::atomic<bool>& stop)
{
    std::unique_lock guard(device.lock);
    device.changed.wait(guard, [&] { return stop.load() || differs(device.counts, seen); });
    if (stop.load())
        return false;
    now = device.counts;
    return true;
}

void interrupt(Device& device)
{
    std::lock_guard guard(device.lock);
    device.changed.notify_all();
}

}  // namespace com_test_device_internal
