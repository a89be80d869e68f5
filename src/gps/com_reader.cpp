// The reader thread: port slot 0 into the 4096-byte receive ring, and the
// start/stop protocol of the receiver threads.
#include "src/gps/com_reader.h"

#include "src/gps/gps_fix.h"
#include "src/gps/link_log.h"
#include "src/gps/serial.h"

#include <chrono>
#include <condition_variable>
#include <new>
#include <system_error>
#include <thread>

std::mutex buf_com_lock;
uint8_t* buf_com_data = nullptr;
int buf_com_head = 0;
int buf_com_tail_analiz = 0;
int buf_com_tail_view = 0;
std::atomic<int> thread_com_read_id{0};

namespace {

// SiRF query/rate control: GGA (message 00) and RMC (message 04) once a
// second (mode 00 set rate, rate 01), checksum on (01).
constexpr char kGgaEverySecond[] = "$PSRF103,00,00,01,01*25\r\n";
constexpr char kRmcEverySecond[] = "$PSRF103,04,00,01,01*21\r\n";

constexpr int kDataBits = 8;
constexpr auto kEmptyReadPause = std::chrono::milliseconds(10);
constexpr auto kStopPollInterval = std::chrono::microseconds(15151);

// Signalled (with buf_com_lock released) after every byte stored in the ring.
// Never destroyed: the analysis thread waits on it until the process is gone.
std::condition_variable& buf_com_arrived = *new std::condition_variable;

// Set by stop_com_read_thread, cleared by start_com_threads (both GUI
// thread). It covers a stop that closes slot 0 before the new reader has
// put its port there: the reader looks at it once its port is open.
std::atomic<bool> stop_requested{false};

int last_thread_number = 0;  // GUI thread only

void store_byte(uint8_t byte)
{
    {
        std::lock_guard guard(buf_com_lock);
        buf_com_data[buf_com_head] = byte;
        buf_com_head = (buf_com_head + 1) % buf_com_size;
    }
    buf_com_arrived.notify_all();
}

int read_ring(int& cursor, uint8_t* destination, int max_count)
{
    std::lock_guard guard(buf_com_lock);
    if (!buf_com_data || cursor == buf_com_head || max_count <= 0)
        return 0;
    int available = buf_com_head - cursor;
    if (available < 0)
        available += buf_com_size;
    int count = available < max_count ? available : max_count;
    for (int i = 0; i < count; ++i) {
        destination[i] = buf_com_data[cursor];
        cursor = (cursor + 1) % buf_com_size;
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
        if (!buf_com_data) {
            link_log("[read_com_thread_func] buf_com_data=null!!!\n");
            return false;
        }
    }
    buf_com_head = 0;
    buf_com_tail_analiz = buf_com_head;
    return true;
}

void send_receiver_commands()
{
    com_write(0, kGgaEverySecond, sizeof kGgaEverySecond - 1);
    com_write(0, kRmcEverySecond, sizeof kRmcEverySecond - 1);
}

void copy_port_to_ring()
{
    for (;;) {
        uint8_t byte = 0;
        int result = com_read(0, &byte, 1);
        if (result < 0)
            return;
        if (result == 0)
            std::this_thread::sleep_for(kEmptyReadPause);
        else
            store_byte(byte);
    }
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
    thread_com_read_id = ++last_thread_number;
    if (!launch_reader(com_port, baudrate)) {
        thread_com_read_id = 0;
        return 0;
    }
    link_log("launched g_thread_create_full thread_com_read_id=%d\n", last_thread_number);
    return 1;
}

void read_com_thread_func(int com_port, int baudrate)
{
    link_log("start thread read_com_thread_func\n");
    if (!com_open(0, com_port, baudrate, kDataBits, kComOneStopBit, kComNoParity)) {
        link_log("no open com=%d baudrate=%d\n", com_port, baudrate);
    } else if (!stop_requested) {
        send_receiver_commands();
        copy_port_to_ring();
        link_log("read error\n");
    }
    com_close(0);
    link_log("exit read_com_thread_func. thread_com_read_id=%d\n", 0);
    thread_com_read_id = 0;
}

void stop_com_read_thread()
{
    link_log("run stop thread_com_read thread_com_read_id=%d\n", thread_com_read_id.load());
    if (thread_com_read_id.load() != 0) {
        stop_requested = true;
        com_close(0);
    }
    link_log("run stop thread_com_read 1 thread_com_read_id=%d\n", thread_com_read_id.load());
    while (thread_com_read_id.load() != 0)
        std::this_thread::sleep_for(kStopPollInterval);
    link_log("run stop thread_com_read 2\n");
}

int com_read_running() { return thread_com_read_id.load() != 0 ? 1 : 0; }

int buf_com_read_analiz(uint8_t* destination, int max_count)
{
    return read_ring(buf_com_tail_analiz, destination, max_count);
}

int buf_com_read_view(uint8_t* destination, int max_count)
{
    return read_ring(buf_com_tail_view, destination, max_count);
}

int buf_com_wait_data(int timeout_ms)
{
    std::unique_lock guard(buf_com_lock);
    bool ready = buf_com_arrived.wait_for(guard, std::chrono::milliseconds(timeout_ms), [] {
        return buf_com_data && buf_com_tail_analiz != buf_com_head;
    });
    return ready ? 1 : 0;
}
