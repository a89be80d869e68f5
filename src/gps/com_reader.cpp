// The reader thread: port slot 0 into the 4096-byte receive ring, and the
// start/stop protocol of the receiver threads.
#include "src/gps/com_reader.h"

#include "platform/clock.h"
#include "platform/deadline.h"
#include "platform/realtime.h"
#include "platform/wake_descriptor.h"
#include "src/gps/gps_fix.h"
#include "src/gps/gpsd_link.h"
#include "src/gps/link_log.h"
#include "src/gps/link_status.h"
#include "src/gps/port_watch.h"
#include "src/gps/serial.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <new>
#include <pthread.h>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

std::mutex buf_com_lock;
uint8_t* buf_com_data = nullptr;
int buf_com_head = 0;
int buf_com_tail_analiz = 0;
int buf_com_tail_view = 0;
int64_t* buf_com_stamps = nullptr;
std::atomic<int> thread_com_read_id{0};

namespace {

// SiRF query/rate control: GGA (message 00) and RMC (message 04) once a
// second (mode 00 set rate, rate 01), checksum on (01).
constexpr char kGgaEverySecond[] = "$PSRF103,00,00,01,01*25\r\n";
constexpr char kRmcEverySecond[] = "$PSRF103,04,00,01,01*21\r\n";

constexpr int kDataBits = 8;
constexpr auto kStopPollInterval = std::chrono::microseconds(15151);
constexpr int kReadBlock = 512;
constexpr int kWakeBacklog = 1024;  // bytes waiting that wake the analysis even without a line end
constexpr int kRetryMs = 2000;      // a port that failed is tried again this often

// Signalled (with buf_com_lock released) after a block that ends a line or
// begins a burst, and by buf_com_wake_analiz. Never destroyed: the analysis
// thread waits on it until the process is gone.
std::condition_variable& buf_com_arrived = *new std::condition_variable;
bool wake_requested = false;  // under buf_com_lock
std::atomic<int64_t> last_arrival_ns{0};
std::atomic<uint64_t> bytes_received{0};  // every byte read since the program started

// Set by stop_com_read_thread, cleared by start_com_threads (both GUI
// thread). It covers a stop that closes slot 0 before the new reader has
// put its port there: the reader looks at it once its port is open.
std::atomic<bool> stop_requested{false};

int last_thread_number = 0;  // GUI thread only

// The latest reader start, read by the analysis thread.
std::mutex link_lock;
unsigned link_generation = 0;
int link_port = 0, link_baud = 0;

// A port and speed the running reader is to move to (com_reader_restart),
// under link_lock; restart_pending says one waits.
int wanted_port = 0, wanted_baud = 0;
std::atomic<bool> restart_pending{false};

// Wakes the reader from its wait between two tries (a stop or a restart).
WakeDescriptor& reader_wake()
{
    static WakeDescriptor* const wake = WakeDescriptor::opened_for_good();
    return *wake;
}

int pending_locked(int cursor)
{
    int pending = buf_com_head - cursor;
    return pending < 0 ? pending + buf_com_size : pending;
}

bool is_line_end(uint8_t byte) { return byte == '\r' || byte == '\n'; }

// A consumer's place in the ring, under buf_com_lock: its cursor, the bytes
// stored since it last read them (buf_com_size or more: the writer has come
// round to it), and what it lost so.
struct RingConsumer {
    int& cursor;
    uint64_t waiting = 0;
    RingOverrun overrun;
};
RingConsumer analiz_consumer{buf_com_tail_analiz, 0, {}};
RingConsumer view_consumer{buf_com_tail_view, 0, {}};

int ring_at(int index) { return ((index % buf_com_size) + buf_com_size) % buf_com_size; }

// Where the newest whole line in the ring begins: past the line end before
// it. The partial line the receiver is sending now follows it. Without one,
// the head (the overrun consumer then waits for new bytes).
int newest_line_start_locked()
{
    int at = buf_com_head - 1;
    const int oldest = buf_com_head - buf_com_size;
    while (at >= oldest && !is_line_end(buf_com_data[ring_at(at)]))  // the partial line
        --at;
    while (at >= oldest && is_line_end(buf_com_data[ring_at(at)]))
        --at;
    int text_end = at;
    while (at >= oldest && !is_line_end(buf_com_data[ring_at(at)]))
        --at;
    if (at < oldest || at == text_end)
        return buf_com_head;
    return ring_at(at + 1);
}

// The writer has come round to the consumer's cursor: move it to the newest
// line and count what it skipped.
void resync_overrun_locked(RingConsumer& consumer)
{
    if (consumer.waiting < uint64_t(buf_com_size))
        return;
    consumer.cursor = newest_line_start_locked();
    uint64_t kept = uint64_t(pending_locked(consumer.cursor));
    consumer.overrun.lost_bytes += consumer.waiting - kept;
    ++consumer.overrun.count;
    consumer.waiting = kept;
}

// Stores a block read at stamp_ns (monotonic); burst: it follows a gap.
void store_block(const uint8_t* bytes, int count, int64_t stamp_ns, bool burst)
{
    bool wake = burst;
    {
        std::lock_guard guard(buf_com_lock);
        for (int i = 0; i < count; ++i) {
            bool end = is_line_end(bytes[i]);
            wake = wake || end;
            buf_com_data[buf_com_head] = bytes[i];
            buf_com_stamps[buf_com_head] = (i == 0 && burst) ? -stamp_ns : end ? stamp_ns : 0;
            buf_com_head = (buf_com_head + 1) % buf_com_size;
        }
        analiz_consumer.waiting += uint64_t(count);
        view_consumer.waiting += uint64_t(count);
        wake = wake || analiz_consumer.waiting >= uint64_t(kWakeBacklog);
    }
    if (wake)
        buf_com_arrived.notify_all();
}

int read_ring(RingConsumer& consumer, uint8_t* destination, int64_t* stamps, int max_count)
{
    std::lock_guard guard(buf_com_lock);
    if (!buf_com_data || max_count <= 0)
        return 0;
    resync_overrun_locked(consumer);
    int& cursor = consumer.cursor;
    int count = int(std::min<uint64_t>(consumer.waiting, uint64_t(max_count)));
    consumer.waiting -= uint64_t(count);
    for (int done = 0; done < count;) {
        int run = std::min(count - done, buf_com_size - cursor);  // up to the wrap
        std::memcpy(destination + done, buf_com_data + cursor, size_t(run));
        if (stamps)
            std::memcpy(stamps + done, buf_com_stamps + cursor, size_t(run) * sizeof *stamps);
        done += run;
        cursor = (cursor + run) % buf_com_size;
    }
    return count;
}

// Allocates the ring once and restarts it: head at 0, the analysis cursor
// with it; the view cursor stays where it was.
bool reset_ring()
{
    std::lock_guard guard(buf_com_lock);
    if (!buf_com_data) {
        buf_com_data = new (std::nothrow) uint8_t[buf_com_size]();
        buf_com_stamps = new (std::nothrow) int64_t[buf_com_size]();
        if (!buf_com_data || !buf_com_stamps) {
            delete[] buf_com_data;
            delete[] buf_com_stamps;
            buf_com_data = nullptr;
            buf_com_stamps = nullptr;
            link_log("[read_com_thread_func] buf_com_data=null!!!\n");
            return false;
        }
    }
    buf_com_head = 0;
    buf_com_tail_analiz = buf_com_head;
    analiz_consumer.waiting = 0;
    // The view keeps its cursor: what lies between it and the new head is read
    // next, as before the restart; what it counts must be those bytes.
    view_consumer.waiting = uint64_t(pending_locked(buf_com_tail_view));
    return true;
}

void send_receiver_commands()
{
    com_write(0, kGgaEverySecond, sizeof kGgaEverySecond - 1);
    com_write(0, kRmcEverySecond, sizeof kRmcEverySecond - 1);
}

// Bytes that arrived at now (monotonic) into the ring: a burst when they
// follow a gap.
void store_arrival(const uint8_t* bytes, int count, int64_t now)
{
    bytes_received.fetch_add(uint64_t(count), std::memory_order_relaxed);
    int64_t previous = last_arrival_ns.exchange(now);
    store_block(bytes, count, now, previous == 0 || now - previous > kBurstGapNs);
}

void store_gpsd_sentence(const char* bytes, int count, int64_t arrival_ns)
{
    store_arrival(reinterpret_cast<const uint8_t*>(bytes), count, arrival_ns);
}

// Sleeps in the read until bytes come or the port closes: nothing wakes the
// reader while the receiver is silent.
void copy_port_to_ring()
{
    uint8_t bytes[kReadBlock];
    for (;;) {
        int result = com_read(0, bytes, kReadBlock, -1);
        if (result < 0)
            return;
        if (result > 0)
            store_arrival(bytes, result, platform_monotonic_ns());
    }
}

// Before each try: a stop ends the reader; a restart moves it to the new
// port and speed with a fresh ring and an empty fix.
bool take_restart(int& com_port, int& baudrate)
{
    if (!restart_pending.exchange(false))
        return false;
    {
        std::lock_guard guard(link_lock);
        com_port = wanted_port;
        baudrate = wanted_baud;
        ++link_generation;
        link_port = com_port;
        link_baud = baudrate;
    }
    reset_ring();
    gps_fix_clear();
    buf_com_wake_analiz();  // it forgets the 1PPS state of the old line
    return true;
}

// Until the next try: kRetryMs, or less when the port folder or udev says a
// port came, or a stop or restart is asked for.
void wait_before_retry()
{
    PortWatch ports;
    ports.wait(kRetryMs, reader_wake().fd());
    reader_wake().clear();
}

// One open of the port and its reading until it fails or is interrupted.
// True when the port was open (it is closed again on return).
bool read_once(int com_port, int baudrate)
{
    link_status_set(LinkState::opening, com_port, baudrate);
    if (!com_open(0, com_port, baudrate, kDataBits, kComOneStopBit, kComNoParity)) {
        int error = errno;
        link_log("no open com=%d baudrate=%d\n", com_port, baudrate);
        link_status_set(LinkState::open_failed, com_port, baudrate, error);
        return false;
    }
    if (!stop_requested && !restart_pending) {
        link_status_set(LinkState::open, com_port, baudrate);
        send_receiver_commands();
        copy_port_to_ring();
        link_log("read error\n");
    }
    com_close(0);
    if (!stop_requested && !restart_pending)
        link_status_set(LinkState::lost, com_port, baudrate, EIO);
    return true;
}

// One connection to gpsd and its sentences until it ends or is interrupted.
// gpsd owns the receiver: nothing is sent to it.
bool read_gpsd_once(const std::string& source)
{
    reader_wake().clear();  // a stop or restart asked for from now on ends the read
    GpsdConnection gpsd;
    if (!gpsd.open(source))
        return false;
    if (!stop_requested && !restart_pending)
        gpsd.read(store_gpsd_sentence, reader_wake().fd());
    return true;
}

bool launch_reader(int com_port, int baudrate)
{
    try {
        std::thread([com_port, baudrate] { read_com_thread_func(com_port, baudrate); }).detach();
    } catch (const std::system_error& e) {
        link_log("[read_com_thread_func] cannot start the reader thread: %s\n", e.what());
        return false;
    }
    return true;
}

}  // namespace

int start_com_threads(int com_port, int baudrate)
{
    if (!reset_ring())
        return 0;
    gps_fix_clear();
    if (thread_com_read_id.load() != 0)
        return 0;
    link_log("run start thread_com_read\n");
    // Marked running before the thread exists, so the thread's own clearing
    // at its end always comes after this.
    stop_requested = false;
    restart_pending = false;
    reader_wake().clear();
    {
        std::lock_guard guard(link_lock);
        ++link_generation;
        link_port = com_port;
        link_baud = baudrate;
    }
    thread_com_read_id = ++last_thread_number;
    if (!launch_reader(com_port, baudrate)) {
        thread_com_read_id = 0;
        return 0;
    }
    link_log("launched g_thread_create_full thread_com_read_id=%d\n", last_thread_number);
    return 1;
}

// Tries the port until it is there, reads it until it fails, and tries it
// again every kRetryMs (a receiver plugged in late, unplugged and back, a
// simulator restarted), until a stop.
void read_com_thread_func(int com_port, int baudrate)
{
    pthread_setname_np(pthread_self(), "com_read");
    platform_thread_realtime();  // its stamps are only as good as its wake
    link_log("start thread read_com_thread_func\n");
    while (!stop_requested) {
        take_restart(com_port, baudrate);
        if (stop_requested)
            break;
        std::string gpsd = gpsd_link_chosen();
        if (gpsd.empty())
            read_once(com_port, baudrate);
        else
            read_gpsd_once(gpsd);
        if (!stop_requested && !restart_pending)
            wait_before_retry();
    }
    link_status_set(LinkState::stopped, com_port, baudrate);
    link_log("exit read_com_thread_func. thread_com_read_id=%d\n", 0);
    thread_com_read_id = 0;
}

int com_reader_restart(int com_port, int baudrate)
{
    if (thread_com_read_id.load() == 0)
        return start_com_threads(com_port, baudrate);
    {
        std::lock_guard guard(link_lock);
        wanted_port = com_port;
        wanted_baud = baudrate;
    }
    restart_pending = true;
    reader_wake().set();
    com_interrupt(0);
    return 1;
}

bool stop_com_read_thread(int timeout_ms)
{
    link_log("run stop thread_com_read thread_com_read_id=%d\n", thread_com_read_id.load());
    if (thread_com_read_id.load() != 0) {
        stop_requested = true;
        reader_wake().set();
        com_close(0);
    }
    link_log("run stop thread_com_read 1 thread_com_read_id=%d\n", thread_com_read_id.load());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (thread_com_read_id.load() != 0) {
        if (timeout_ms >= 0 && std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kStopPollInterval);
    }
    link_log("run stop thread_com_read 2\n");
    return true;
}

unsigned com_reader_link(int* port, int* baud)
{
    std::lock_guard guard(link_lock);
    *port = link_port;
    *baud = link_baud;
    return link_generation;
}

int com_read_running() { return thread_com_read_id.load() != 0 ? 1 : 0; }

int buf_com_read_analiz(uint8_t* destination, int max_count)
{
    return read_ring(analiz_consumer, destination, nullptr, max_count);
}

int buf_com_read_analiz_stamped(uint8_t* destination, int64_t* stamps, int max_count)
{
    return read_ring(analiz_consumer, destination, stamps, max_count);
}

int buf_com_read_view(uint8_t* destination, int max_count)
{
    return read_ring(view_consumer, destination, nullptr, max_count);
}

void buf_com_skip_analiz()
{
    std::lock_guard guard(buf_com_lock);
    buf_com_tail_analiz = buf_com_head;
    analiz_consumer.waiting = 0;
}

RingOverrun buf_com_overrun_analiz()
{
    std::lock_guard guard(buf_com_lock);
    return analiz_consumer.overrun;
}

RingOverrun buf_com_overrun_view()
{
    std::lock_guard guard(buf_com_lock);
    return view_consumer.overrun;
}

int buf_com_wait_data(int timeout_ms)
{
    return buf_com_wait_data_until(platform_deadline_after_ms(timeout_ms));
}

int buf_com_wait_data_until(int64_t deadline_ns)
{
    auto has_data = [] { return buf_com_data && analiz_consumer.waiting > 0; };
    std::unique_lock guard(buf_com_lock);
    for (;;) {
        if (has_data())
            return 1;
        if (wake_requested) {
            wake_requested = false;
            return 0;
        }
        if (deadline_ns < 0) {
            buf_com_arrived.wait(guard);
            continue;
        }
        int64_t left = deadline_ns - platform_monotonic_ns();
        if (left <= 0)
            return 0;
        buf_com_arrived.wait_for(guard, std::chrono::nanoseconds(left));
    }
}

void buf_com_wake_analiz()
{
    {
        std::lock_guard guard(buf_com_lock);
        wake_requested = true;
    }
    buf_com_arrived.notify_all();
}

bool buf_com_analiz_line_waiting()
{
    std::lock_guard guard(buf_com_lock);
    if (!buf_com_data)
        return false;
    resync_overrun_locked(analiz_consumer);
    bool text = false;
    int at = buf_com_tail_analiz;
    for (uint64_t left = analiz_consumer.waiting; left > 0; --left, at = (at + 1) % buf_com_size) {
        if (!is_line_end(buf_com_data[at]))
            text = true;
        else if (text)
            return true;
    }
    return false;
}

int64_t buf_com_last_arrival_ns() { return last_arrival_ns.load(); }

uint64_t buf_com_bytes_received() { return bytes_received.load(std::memory_order_relaxed); }
