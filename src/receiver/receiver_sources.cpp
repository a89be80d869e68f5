// The port list's sources: ports, gpsd's receivers and the watch of ports.
#include "src/receiver/receiver_sources.h"

#include "src/gps/gpsd_link.h"
#include "src/gps/port_watch.h"
#include "src/gps/serial.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

constexpr int kPortListEntries = 512;  // 1024 bytes of 16-bit port numbers
constexpr int kGpsdAnswerMs = 300;     // gpsd on this machine answers within milliseconds

std::unique_ptr<PortWatch> port_watch;

void add_entry(const std::string& source, const std::string& device, std::vector<GpsdEntry>& entries)
{
    GpsdSource parsed;
    gpsd_source_parse(source, &parsed);
    entries.push_back({source, gpsd_source_address(parsed), device});
}

bool listed(const std::vector<GpsdEntry>& entries, const std::string& source)
{
    return std::any_of(entries.begin(), entries.end(), [&](const GpsdEntry& e) { return e.source == source; });
}

void add_gpsd_entries(const std::string& address, std::vector<GpsdEntry>& entries)
{
    std::vector<std::string> devices = gpsd_list_devices(address, kGpsdAnswerMs);
    for (const std::string& device : devices) {
        std::string source = devices.size() == 1 ? address : address + ":" + device;
        if (!listed(entries, source))
            add_entry(source, device, entries);
    }
}

}  // namespace

std::vector<int> receiver_ports()
{
    int16_t ports[kPortListEntries] = {};
    return std::vector<int>(ports, ports + list_com_ports(ports));
}

std::string receiver_port_description(int port) { return com_port_description(port); }

std::vector<GpsdEntry> receiver_gpsd_entries(const std::string& chosen)
{
    std::vector<GpsdEntry> entries;
    add_gpsd_entries(kGpsdDefaultAddress, entries);
    GpsdSource source;
    if (!gpsd_source_parse(chosen, &source))
        return entries;
    if (gpsd_source_address(source) != kGpsdDefaultAddress)
        add_gpsd_entries(gpsd_source_address(source), entries);
    if (!listed(entries, chosen))
        add_entry(chosen, source.device, entries);
    return entries;
}

std::vector<int> receiver_port_watch_start()
{
    port_watch = std::make_unique<PortWatch>();
    return port_watch->fds();
}

bool receiver_port_watch_drain() { return port_watch && port_watch->drain(); }

void receiver_port_watch_stop() { port_watch.reset(); }
