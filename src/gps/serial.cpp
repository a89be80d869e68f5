// Serial ports on Linux: termios for the line, poll with an eventfd so that a
// close wakes a pending read, and a watcher thread per port for 1PPS edges.
#include "src/gps/serial.h"

#include "platform/clock.h"
#include "src/gps/com_test_device.h"
#include "src/gps/link_log.h"
#include "src/gps/serial_speed.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

namespace tdev = com_test_device_internal;

// Writes may take 150 ms per byte plus 50 ms before they count as failed.
constexpr int kWriteMsPerByte = 150, kWriteMsConstant = 50;

// TIOCMIWAIT has no time-out and ignores close(); this signal (with a handler
// installed without SA_RESTART) makes it return EINTR when the port closes.
int watcher_wake_signal() { return SIGRTMIN + 7; }

void install_watcher_signal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(watcher_wake_signal(), &action, nullptr);
    });
}

// Edges seen on the port's modem lines, handed from the watcher to waiters.
struct PpsEdges {
    std::mutex lock;
    std::condition_variable changed;
    unsigned long cts = 0, dsr = 0;   // edges counted since the port opened
    int64_t cts_ns = 0, dsr_ns = 0;   // PC clock at the last edge of each line
    int64_t cts_mono_ns = 0, dsr_mono_ns = 0;  // the monotonic clock at the same moment
    int error = 0;                    // errno once the lines cannot be watched
    bool closed = false;
};

struct LineCounts {
    unsigned long cts = 0, dsr = 0;
};

class Port {
public:
    Port(int fd, int wake_fd, int number) : fd_(fd), wake_fd_(wake_fd), number_(number) {}
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    int fd() const { return fd_; }
    int wake_fd() const { return wake_fd_; }
    std::atomic<int> event_mask{kComEvRxChar};

    void start_watcher();
    void shutdown();
    int wait_edge(bool use_cts, int timeout_ms, int64_t* edge_ns);
    int last_edge(bool use_cts, unsigned long* count, int64_t* mono_ns);

private:
    void watch();
    void watch_test_device(tdev::Device& device, tdev::Counts seen);
    void watch_hardware();
    bool read_line_counts(LineCounts& counts);
    void publish_edges(const LineCounts& before, const LineCounts& after, int64_t stamp_ns, int64_t mono_ns);
    void publish_error(int error);
    void stop_watcher();

    int fd_;
    int wake_fd_;
    int number_;
    PpsEdges edges_;
    std::shared_ptr<tdev::Device> test_device_;
    tdev::Counts test_device_start_{};  // taken before the watcher starts: no edge falls between
    std::thread watcher_;
    std::atomic<bool> watcher_stop_{false};
    std::atomic<bool> watcher_done_{false};
    int last_modem_bits_ = 0;      // for drivers without TIOCGICOUNT:
    LineCounts state_changes_;     // changes of the line states seen so far
};

Port::~Port()
{
    stop_watcher();
    close(fd_);
    close(wake_fd_);
}

void Port::start_watcher()
{
    test_device_ = tdev::acquire(number_);
    if (test_device_)
        test_device_start_ = tdev::current(*test_device_);
    else
        install_watcher_signal();
    try {
        watcher_ = std::thread([this] { watch(); });
    } catch (const std::system_error& e) {
        link_log("[com] COM%d: no 1PPS watcher thread: %s\n", number_, e.what());
        publish_error(EAGAIN);
    }
}

void Port::watch()
{
    if (test_device_)
        watch_test_device(*test_device_, test_device_start_);
    else
        watch_hardware();
    watcher_done_ = true;
}

void Port::watch_test_device(tdev::Device& device, tdev::Counts seen)
{
    tdev::Counts now;
    while (tdev::wait_change(device, seen, now, watcher_stop_)) {
        int64_t stamp_ns = platform_clock_read_ns();
        int64_t mono_ns = platform_monotonic_ns();
        if (now.error) {
            publish_error(now.error);
            return;
        }
        publish_edges({seen.cts, seen.dsr}, {now.cts, now.dsr}, stamp_ns, mono_ns);
        seen = now;
    }
}

void Port::watch_hardware()
{
    LineCounts before;
    if (!read_line_counts(before)) {
        publish_error(errno);
        return;
    }
    while (!watcher_stop_) {
        if (ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR) != 0) {
            if (errno == EINTR)
                continue;
            publish_error(errno);
            return;
        }
        // Read the clock first: everything after this point delays nothing.
        int64_t stamp_ns = platform_clock_read_ns();
        int64_t mono_ns = platform_monotonic_ns();
        LineCounts after;
        if (!read_line_counts(after)) {
            publish_error(errno);
            return;
        }
        publish_edges(before, after, stamp_ns, mono_ns);
        before = after;
    }
}

// Transition counters where the driver keeps them (they catch two edges
// between two wakes); otherwise the line states, one edge per change seen.
bool Port::read_line_counts(LineCounts& counts)
{
    serial_icounter_struct icount {};
    if (ioctl(fd_, TIOCGICOUNT, &icount) == 0) {
        counts = {static_cast<unsigned long>(icount.cts), static_cast<unsigned long>(icount.dsr)};
        return true;
    }
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0)
        return false;
    if ((bits ^ last_modem_bits_) & TIOCM_CTS)
        ++state_changes_.cts;
    if ((bits ^ last_modem_bits_) & TIOCM_DSR)
        ++state_changes_.dsr;
    last_modem_bits_ = bits;
    counts = state_changes_;
    return true;
}

void Port::publish_edges(const LineCounts& before, const LineCounts& after, int64_t stamp_ns, int64_t mono_ns)
{
    unsigned long cts = after.cts - before.cts, dsr = after.dsr - before.dsr;
    if (!cts && !dsr)
        return;
    {
        std::lock_guard guard(edges_.lock);
        if (cts) {
            edges_.cts += cts;
            edges_.cts_ns = stamp_ns;
            edges_.cts_mono_ns = mono_ns;
        }
        if (dsr) {
            edges_.dsr += dsr;
            edges_.dsr_ns = stamp_ns;
            edges_.dsr_mono_ns = mono_ns;
        }
    }
    edges_.changed.notify_all();
}

void Port::publish_error(int error)
{
    {
        std::lock_guard guard(edges_.lock);
        edges_.error = error ? error : EIO;
    }
    edges_.changed.notify_all();
}

int Port::wait_edge(bool use_cts, int timeout_ms, int64_t* edge_ns)
{
    std::unique_lock guard(edges_.lock);
    unsigned long& count = use_cts ? edges_.cts : edges_.dsr;
    const unsigned long start = count;
    // The mask says "waiting" only once the count to compare against is taken,
    // so an edge raised by whoever watches the mask is never missed.
    event_mask = use_cts ? kComEvCts : kComEvDsr;
    auto edge_or_end = [&] { return count != start || edges_.error || edges_.closed; };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    edges_.changed.wait_until(guard, deadline, edge_or_end);
    if (count != start) {
        if (edge_ns)
            *edge_ns = use_cts ? edges_.cts_ns : edges_.dsr_ns;
        return 1;
    }
    return (edges_.error || edges_.closed) ? -1 : 0;
}

int Port::last_edge(bool use_cts, unsigned long* count, int64_t* mono_ns)
{
    std::lock_guard guard(edges_.lock);
    unsigned long edges = use_cts ? edges_.cts : edges_.dsr;
    if (count)
        *count = edges;
    if (mono_ns)
        *mono_ns = use_cts ? edges_.cts_mono_ns : edges_.dsr_mono_ns;
    if (edges)
        return 1;
    return (edges_.error || edges_.closed) ? -1 : 0;
}

void Port::stop_watcher()
{
    if (!watcher_.joinable())
        return;
    watcher_stop_ = true;
    if (test_device_) {
        tdev::interrupt(*test_device_);
    } else {
        // The signal may land just before the watcher enters the ioctl; repeat
        // until it has seen the stop flag.
        while (!watcher_done_) {
            pthread_kill(watcher_.native_handle(), watcher_wake_signal());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    watcher_.join();
}

// Wakes everything that waits on the port and gives the device free for the
// next open at once, even while a woken read still holds the descriptor.
void Port::shutdown()
{
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wake_fd_, &one, sizeof one);
    stop_watcher();
    {
        std::lock_guard guard(edges_.lock);
        edges_.closed = true;
    }
    edges_.changed.notify_all();
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
}

// The close lock: it makes taking a port out of its slot one step, so the
// reader's own close and the GUI's close never shut the same port twice.
std::mutex close_lock;
// Never destroyed: a port may still be open, and its threads running, while
// the process exits.
std::shared_ptr<Port>* const slots = new std::shared_ptr<Port>[kComSlots];

std::shared_ptr<Port> slot_port(int slot)
{
    if (slot < 0 || slot >= kComSlots)
        return nullptr;
    std::lock_guard guard(close_lock);
    return slots[slot];
}

speed_t standard_speed(int baud)
{
    static const struct {
        int baud;
        speed_t code;
    } table[] = {{50, B50},         {75, B75},           {110, B110},         {134, B134},
                 {150, B150},       {200, B200},         {300, B300},         {600, B600},
                 {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
                 {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
                 {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
                 {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                 {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                 {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& entry : table)
        if (entry.baud == baud)
            return entry.code;
    return B0;
}

bool frame_bits(int data_bits, int stop_bits, int parity, tcflag_t& cflag)
{
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (data_bits < 5 || data_bits > 8 || stop_bits < 0 || stop_bits > 2 || parity < 0 || parity > 4)
        return false;
    cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    cflag |= sizes[data_bits - 5] | CLOCAL | CREAD;
    if (stop_bits != kComOneStopBit)
        cflag |= CSTOPB;  // 1.5 stop bits: the UART sends 1.5 with CSTOPB at 5 data bits
    if (parity != kComNoParity)
        cflag |= PARENB;
    if (parity == kComOddParity || parity == kComMarkParity)
        cflag |= PARODD;
    if (parity == kComMarkParity || parity == kComSpaceParity)
        cflag |= CMSPAR;
    return true;
}

// Raw bytes both ways; VMIN 1 with O_NONBLOCK makes an empty read EAGAIN and
// a hung-up line read 0 or EIO, so the two can be told apart.
int configure_line(int fd, int baud, int data_bits, int stop_bits, int parity)
{
    termios tio {};
    if (baud <= 0 || tcgetattr(fd, &tio) != 0)
        return baud <= 0 ? EINVAL : errno;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (!frame_bits(data_bits, stop_bits, parity, tio.c_cflag))
        return EINVAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    speed_t code = standard_speed(baud);
    if (code != B0) {
        cfsetispeed(&tio, code);
        cfsetospeed(&tio, code);
    }
    tcflush(fd, TCIOFLUSH);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    if (code == B0)
        return serial_set_any_speed(fd, baud);
    return 0;
}

// DTR and RTS on: many receivers draw power from them. A pty has no modem
// lines (ENOTTY), which is fine.
void raise_dtr_rts(int fd, int port)
{
    int bits = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL)
        link_log("[com] COM%d: cannot raise DTR/RTS: %s\n", port, strerror(errno));
}

// Opens the device exclusively, so a second program (or slot) on the same
// port fails like a busy port: flock for every process, TIOCEXCL as well.
int open_exclusive(const std::string& device)
{
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        errno = error;
        return -1;
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

void log_read_error(int error, int handle)
{
    link_log("read err=%d handle=0x%x\n", error, static_cast<unsigned>(handle));
}

// One read once poll said the line has something: data, or a hangup.
int read_ready(Port& port, const pollfd& line, void* buffer, int count)
{
    if (line.revents & POLLIN) {
        ssize_t n = read(port.fd(), buffer, static_cast<size_t>(count));
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        log_read_error(n == 0 ? EIO : errno, port.fd());
        return -1;
    }
    log_read_error(line.revents & POLLNVAL ? EBADF : EIO, port.fd());
    return -1;
}

bool wait_writable(Port& port, int timeout_ms)
{
    pollfd fds[2] = {{port.fd(), POLLOUT, 0}, {port.wake_fd(), POLLIN, 0}};
    int ready = poll(fds, 2, timeout_ms);
    return ready > 0 && !fds[1].revents && (fds[0].revents & POLLOUT);
}

}  // namespace

void com_init()
{
    for (int slot = 0; slot < kComSlots; ++slot)
        com_close(slot);
}

int com_open(int slot, int port, int baud, int data_bits, int stop_bits, int parity)
{
    if (slot < 0 || slot >= kComSlots)
        return 0;
    std::string device = com_port_device(port);
    if (device.empty()) {
        link_log("[com] COM%d: no such port\n", port);
        return 0;
    }
    int fd = open_exclusive(device);
    if (fd < 0) {
        link_log("[com] COM%d (%s): %s\n", port, device.c_str(), strerror(errno));
        return 0;
    }
    int error = configure_line(fd, baud, data_bits, stop_bits, parity);
    int wake_fd = error ? -1 : eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (error || wake_fd < 0) {
        link_log("[com] COM%d (%s): cannot set %d baud: %s\n", port, device.c_str(), baud,
                 strerror(error ? error : errno));
        close(fd);
        return 0;
    }
    raise_dtr_rts(fd, port);
    auto opened = std::make_shared<Port>(fd, wake_fd, port);
    opened->start_watcher();
    std::shared_ptr<Port> previous;
    {
        std::lock_guard guard(close_lock);
        previous = std::move(slots[slot]);
        slots[slot] = opened;
    }
    if (previous)
        previous->shutdown();
    return 1;
}

int com_read(int slot, void* buffer, int count, int timeout_ms)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port) {
        log_read_error(EBADF, 0);
        return -1;
    }
    if (count <= 0)
        return 0;
    pollfd fds[2] = {{port->fd(), POLLIN, 0}, {port->wake_fd(), POLLIN, 0}};
    int ready = poll(fds, 2, timeout_ms < 0 ? -1 : timeout_ms);
    if (ready < 0) {
        if (errno == EINTR)
            return 0;
        log_read_error(errno, port->fd());
        return -1;
    }
    if (fds[1].revents) {
        log_read_error(EBADF, port->fd());  // closed by com_close
        return -1;
    }
    if (ready == 0)
        return 0;
    return read_ready(*port, fds[0], buffer, count);
}

int com_write(int slot, const void* bytes, int count)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port || count < 0)
        return 0;
    const char* next = static_cast<const char*>(bytes);
    int left = count;
    const int timeout_ms = kWriteMsPerByte * count + kWriteMsConstant;
    const int64_t deadline_ns = platform_monotonic_ns() + int64_t(timeout_ms) * 1000000;
    while (left > 0) {
        ssize_t n = write(port->fd(), next, static_cast<size_t>(left));
        if (n > 0) {
            next += n;
            left -= static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return 0;
        int64_t remaining_ms = (deadline_ns - platform_monotonic_ns()) / 1000000;
        if (remaining_ms <= 0 || !wait_writable(*port, static_cast<int>(remaining_ms)))
            return 0;
    }
    return 1;
}

void com_close(int slot)
{
    if (slot < 0 || slot >= kComSlots)
        return;
    std::shared_ptr<Port> port;
    {
        std::lock_guard guard(close_lock);
        port = std::move(slots[slot]);
    }
    if (port)
        port->shutdown();
}

int com_wait_pps_edge(int slot, int use_cts, int timeout_ms, int64_t* edge_ns)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port)
        return -1;
    int result = port->wait_edge(use_cts != 0, timeout_ms, edge_ns);
    port->event_mask = kComEvRxChar;
    return result;
}

int com_pps_last_edge(int slot, int use_cts, unsigned long* count, int64_t* mono_ns)
{
    std::shared_ptr<Port> port = slot_port(slot);
    return port ? port->last_edge(use_cts != 0, count, mono_ns) : -1;
}

int com_event_mask(int slot)
{
    std::shared_ptr<Port> port = slot_port(slot);
    return port ? port->event_mask.load() : 0;
}
