// The receiver through gpsd: the connection (libgps), its sentences into the
// reader's hands, gpsd's pulse reports, and the list of gpsd's receivers.
#include "src/gps/gpsd_link.h"

#include "platform/clock.h"
#include "platform/deadline.h"
#include "platform/readiness.h"
#include "src/gps/link_log.h"
#include "src/gps/link_status.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <gps.h>
#include <memory>
#include <mutex>
#include <set>

namespace {

constexpr char kGpsdDefaultPort[] = "2947";
// gpsd's longest reports (a sky view of many satellites) stay well inside.
constexpr int kMessageMax = 16384;
// The raw sentences, the JSON reports beside them (devices coming and going)
// and the pulse reports.
constexpr unsigned kWatchFlags = WATCH_ENABLE | WATCH_JSON | WATCH_NMEA | WATCH_PPS;

std::mutex chosen_lock;
std::string chosen_source;  // under chosen_lock

// libgps gives its own negative codes for a failed connect.
int errno_of_gps_open(int code)
{
    switch (code) {
    case NL_NOCONNECT:
        return ECONNREFUSED;
    case NL_NOHOST:
    case NL_NOSERVICE:
        return EHOSTUNREACH;
    default:
        return code > 0 ? code : EIO;
    }
}

bool is_sentence(const char* message) { return message[0] == '$' || message[0] == '!'; }

int64_t ns_of(const timespec& t) { return int64_t(t.tv_sec) * kNsPerSecond + t.tv_nsec; }

// gpsd's pulse edges, stamped by gpsd on the machine's clock; kept on the PC
// clock (the sandbox's in tests) and the monotonic clock, as the port's
// watcher keeps its edges. Never destroyed: a waiter may outlive main.
struct PulseReports {
    std::mutex lock;
    std::condition_variable changed;
    bool active = false;        // a connection runs
    unsigned long count = 0;    // edges since it was made
    int64_t pc_ns = 0, mono_ns = 0;
};
PulseReports& pulses()
{
    static PulseReports* reports = new PulseReports;
    return *reports;
}

void pulses_activate(bool active)
{
    PulseReports& p = pulses();
    {
        std::lock_guard guard(p.lock);
        p.active = active;
        p.count = 0;
    }
    p.changed.notify_all();
}

void pulses_note_edge(int64_t machine_ns)
{
    int64_t pc_now = platform_clock_read_ns();
    int64_t mono_now = platform_monotonic_ns();
    int64_t machine_now = platform_clock_machine_ns(pc_now);
    PulseReports& p = pulses();
    {
        std::lock_guard guard(p.lock);
        ++p.count;
        p.pc_ns = machine_ns + (pc_now - machine_now);
        p.mono_ns = machine_ns - machine_now + mono_now;
    }
    p.changed.notify_all();
}

// The device gpsd reads for us: what DEVICES listed, changed by each DEVICE
// report of one coming (activated) or going (activated 0).
void follow_devices(const gps_data_t& data, std::set<std::string>& devices)
{
    if (data.set & DEVICELIST_SET) {
        devices.clear();
        for (int i = 0; i < data.devices.ndevices && i < MAXUSERDEVS; ++i)
            if (ns_of(data.devices.list[i].activated) != 0)
                devices.insert(data.devices.list[i].path);
    }
    if (data.set & DEVICE_SET) {
        if (ns_of(data.dev.activated) != 0)
            devices.insert(data.dev.path);
        else
            devices.erase(data.dev.path);
    }
}

}  // namespace

struct GpsdConnection::State {
    gps_data_t data{};
    bool opened = false;
    GpsdSource source;
    std::string address;
    std::set<std::string> devices;  // the receivers gpsd reports active
    int has_device = -1;            // -1 before gpsd said which it has
    char message[kMessageMax];

    void follow_report();
    bool read_available(GpsdSentenceSink sink, int64_t arrival_ns);
};

bool gpsd_source_parse(const std::string& text, GpsdSource* source)
{
    size_t first = text.find(':');
    source->host = text.substr(0, first);
    source->port = kGpsdDefaultPort;
    source->device.clear();
    if (first != std::string::npos) {
        size_t second = text.find(':', first + 1);
        std::string port = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (!port.empty())
            source->port = port;
        if (second != std::string::npos)
            source->device = text.substr(second + 1);
    }
    return !source->host.empty();
}

std::string gpsd_source_address(const GpsdSource& source) { return source.host + ":" + source.port; }

void gpsd_link_choose(const std::string& source)
{
    std::lock_guard guard(chosen_lock);
    chosen_source = source;
}

std::string gpsd_link_chosen()
{
    std::lock_guard guard(chosen_lock);
    return chosen_source;
}

GpsdConnection::GpsdConnection() : state_(new State) {}

GpsdConnection::~GpsdConnection()
{
    if (state_->opened) {
        pulses_activate(false);
        gps_close(&state_->data);
    }
    delete state_;
}

bool GpsdConnection::open(const std::string& source)
{
    State& s = *state_;
    gpsd_source_parse(source, &s.source);
    s.address = gpsd_source_address(s.source);
    link_status_set_gpsd(LinkState::opening, s.address, s.source.device);
    errno = 0;
    if (gps_open(s.source.host.c_str(), s.source.port.c_str(), &s.data) != 0) {
        int error = errno_of_gps_open(errno);
        link_log("[gpsd] %s: %s\n", s.address.c_str(), strerror(error));
        link_status_set_gpsd(LinkState::open_failed, s.address, s.source.device, error);
        return false;
    }
    s.opened = true;
    // Never block in the library's read: the poll below says when to read.
    set_nonblocking(s.data.gps_fd);
    unsigned flags = kWatchFlags | (s.source.device.empty() ? 0 : WATCH_DEVICE);
    if (gps_stream(&s.data, flags, s.source.device.empty() ? nullptr : const_cast<char*>(s.source.device.c_str())) !=
        0) {
        link_log("[gpsd] %s: the watch request failed: %s\n", s.address.c_str(), strerror(errno));
        link_status_set_gpsd(LinkState::lost, s.address, s.source.device, EIO);
        return false;
    }
    pulses_activate(true);
    return true;
}

// A report of gpsd's beside the sentences: a pulse edge, or its receivers
// coming and going, which say whether the link is open.
void GpsdConnection::State::follow_report()
{
    if (data.set & PPS_SET)
        pulses_note_edge(ns_of(data.pps.clock));
    if (!(data.set & (DEVICELIST_SET | DEVICE_SET)))
        return;
    follow_devices(data, devices);
    int has = source.device.empty() ? !devices.empty() : int(devices.count(source.device));
    if (has == has_device)
        return;
    has_device = has;
    if (!has) {
        link_log("[gpsd] %s answers but has no device\n", address.c_str());
        link_status_set_gpsd(LinkState::open_failed, address, source.device, ENODEV);
        return;
    }
    link_status_set_gpsd(LinkState::open, address, source.device.empty() ? *devices.begin() : source.device);
}

// Everything the library can read now, each sentence with the same arrival
// stamp. False when gpsd closed the connection.
bool GpsdConnection::State::read_available(GpsdSentenceSink sink, int64_t arrival_ns)
{
    for (;;) {
        data.set = 0;
        int n = gps_read(&data, message, kMessageMax - 2);
        if (n <= 0)
            return n == 0;
        if (!is_sentence(message)) {
            follow_report();
            continue;
        }
        // libgps keeps the carriage return and drops the line feed.
        size_t length = strlen(message);
        message[length++] = '\n';
        sink(message, int(length), arrival_ns);
    }
}

void GpsdConnection::read(GpsdSentenceSink sink, int wake_fd)
{
    State& s = *state_;
    const int fds[] = {s.data.gps_fd, wake_fd};
    for (;;) {
        int ready = wait_readable(fds, -1);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (ready & 2))
            return;
        int64_t arrival_ns = platform_monotonic_ns();  // before any work: the sentences' stamp
        if (!s.read_available(sink, arrival_ns))
            break;
    }
    link_log("[gpsd] %s closed the connection\n", s.address.c_str());
    link_status_set_gpsd(LinkState::lost, s.address, s.source.device, EIO);
}

int gpsd_wait_pps_edge(int timeout_ms, int64_t* edge_ns)
{
    PulseReports& p = pulses();
    std::unique_lock guard(p.lock);
    if (!p.active)
        return -1;
    unsigned long before = p.count;
    bool edge = p.changed.wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                   [&] { return !p.active || p.count != before; });
    if (!p.active)
        return -1;
    if (!edge)
        return 0;
    if (edge_ns)
        *edge_ns = p.pc_ns;
    return 1;
}

int gpsd_pps_last_edge(unsigned long* count, int64_t* mono_ns)
{
    PulseReports& p = pulses();
    std::lock_guard guard(p.lock);
    if (!p.active)
        return -1;
    *count = p.count;
    *mono_ns = p.mono_ns;
    return p.count > 0 ? 1 : 0;
}

std::vector<std::string> gpsd_list_devices(const std::string& address, int timeout_ms)
{
    GpsdSource source;
    std::set<std::string> devices;
    auto data = std::make_unique<gps_data_t>();
    if (!gpsd_source_parse(address, &source) || gps_open(source.host.c_str(), source.port.c_str(), data.get()) != 0)
        return {};
    set_nonblocking(data->gps_fd);
    auto message = std::make_unique<char[]>(kMessageMax);
    int64_t deadline = platform_deadline_after_ms(timeout_ms);
    bool answered = false, failed = gps_stream(data.get(), WATCH_ENABLE | WATCH_JSON, nullptr) != 0;
    while (!answered && !failed) {
        int left_ms = platform_ms_left(deadline);
        if (left_ms <= 0 || wait_readable(std::span(&data->gps_fd, 1), left_ms) <= 0)
            break;
        int n = 0;
        do {
            data->set = 0;
            n = gps_read(data.get(), message.get(), kMessageMax);
            answered = (data->set & DEVICELIST_SET) != 0;
        } while (n > 0 && !answered);
        failed = n < 0;
    }
    if (answered)
        follow_devices(*data, devices);
    gps_close(data.get());
    return {devices.begin(), devices.end()};
}
