// The receiver link's state for the status line.
#include "src/gps/link_status.h"

#include "platform/clock.h"
#include "platform/device_access.h"
#include "platform/files.h"
#include "src/gps/nmea.h"
#include "src/gps/receiver_view.h"
#include "src/gps/serial.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string_view>

namespace {

std::mutex status_lock;
LinkStatus status;  // under status_lock
std::atomic<int64_t> last_sentence_ns{0};
std::atomic<uint64_t> sentences_seen{0};
std::atomic<uint64_t> bad_checksums{0};

bool is_address_char(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Why the device could not be opened, in the words a user can act on.
void explain_open_failure(LinkStatus& next)
{
    if (next.error == EACCES || next.error == EPERM) {
        next.group = device_group_name(next.device);
        next.in_group = !next.group.empty() && process_in_group(next.group);
    } else if (next.error == EBUSY) {
        std::vector<DeviceHolder> holders = device_holders(next.device);
        if (!holders.empty()) {
            next.holder_pid = holders.front().pid;
            next.holder_name = holders.front().name;
        }
    }
}

// The device behind the port's link where it leads to one, else what the
// port number names.
std::string device_shown(int port)
{
    std::string device = com_port_device(port);
    std::string resolved = device.empty() ? std::string() : resolved_path(device);
    return resolved.empty() ? device : resolved;
}

void publish(LinkStatus next)
{
    next.since_ns = platform_monotonic_ns();
    {
        std::lock_guard guard(status_lock);
        next.opened_ns = next.state == LinkState::open ? next.since_ns : status.opened_ns;
        // A failure that goes on keeps the moment it began.
        if (next.state == status.state && next.error == status.error && next.port == status.port &&
            next.gpsd == status.gpsd)
            next.since_ns = status.since_ns;
        status = next;
    }
    receiver_view_changed();
}

}  // namespace

void link_status_set(LinkState state, int port, int baud, int error)
{
    LinkStatus next;
    next.state = state;
    next.port = port;
    next.baud = baud;
    next.error = error;
    next.device = device_shown(port);
    if (state == LinkState::open_failed)
        explain_open_failure(next);
    publish(next);
}

void link_status_set_gpsd(LinkState state, const std::string& address, const std::string& device, int error)
{
    LinkStatus next;
    next.state = state;
    next.gpsd = address;
    next.device = device;
    next.error = error;
    publish(next);
}

LinkStatus link_status_now()
{
    std::lock_guard guard(status_lock);
    return status;
}

void link_note_sentence(int64_t now_ns)
{
    last_sentence_ns.store(now_ns);
    sentences_seen.fetch_add(1, std::memory_order_relaxed);
}

void link_note_bad_checksum() { bad_checksums.fetch_add(1, std::memory_order_relaxed); }

uint64_t link_sentence_count() { return sentences_seen.load(std::memory_order_relaxed); }

uint64_t link_bad_checksum_count() { return bad_checksums.load(std::memory_order_relaxed); }

int64_t link_last_sentence_ns() { return last_sentence_ns.load(); }

bool nmea_looks_like_sentence(const char* line, size_t length)
{
    std::string_view text(line, length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    if (text.size() < 7 || text[0] != '$' || text[6] != ',')
        return false;
    for (size_t i = 1; i < 6; ++i)
        if (!is_address_char(text[i]))
            return false;
    for (char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return text.find('*') == std::string_view::npos || nmea_checksum_ok(text) == 1;
}
