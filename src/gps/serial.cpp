// The port slots: open, read, write and close a receiver's port, and its
// 1PPS edges. A close wakes a pending read at once through a wake descriptor
// in every poll set.
#include "src/gps/serial.h"

#include "platform/clock.h"
#include "platform/deadline.h"
#include "platform/wake_descriptor.h"
#include "src/gps/gpsd_link.h"
#include "src/gps/link_log.h"
#include "src/gps/pps_watcher.h"
#include "src/gps/serial_line.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <poll.h>
#include <utility>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Writes may take 150 ms per byte plus 50 ms before they count as failed.
constexpr int kWriteMsPerByte = 150, kWriteMsConstant = 50;

class Port {
public:
    Port(int fd, WakeDescriptor&& wake, int number) : fd_(fd), wake_(std::move(wake)), watcher(fd, number) {}
    ~Port()
    {
        watcher.stop();
        close(fd_);
        wake_.close();
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    int fd() const { return fd_; }
    int wake_fd() const { return wake_.fd(); }

    // Makes every pending and later read or write on the port fail.
    void wake() { wake_.set(); }

    // Wakes everything that waits on the port and gives the device free for
    // the next open at once, even while a woken read still holds the descriptor.
    void shutdown()
    {
        wake();
        watcher.stop();
        ioctl(fd_, TIOCNXCL);
        flock(fd_, LOCK_UN);
    }

private:
    int fd_;
    WakeDescriptor wake_;

public:
    PpsWatcher watcher;
};

// The close lock: it makes taking a port out of its slot one step, so the
// reader's own close and another thread's close never shut the same port twice.
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

// The configured line of a port, or null with errno set.
std::shared_ptr<Port> open_port(int port, int baud, int data_bits, int stop_bits, int parity)
{
    std::string device = com_port_device(port);
    if (device.empty()) {
        link_log("[com] COM%d: no such port\n", port);
        errno = ENOENT;
        return nullptr;
    }
    int fd = serial_line_open_exclusive(device);
    if (fd < 0) {
        int error = errno;
        link_log("[com] COM%d (%s): %s\n", port, device.c_str(), strerror(error));
        errno = error;
        return nullptr;
    }
    int error = serial_line_configure(fd, baud, data_bits, stop_bits, parity);
    WakeDescriptor wake;
    if (!error)
        error = wake.open();
    if (error) {
        link_log("[com] COM%d (%s): cannot set %d baud: %s\n", port, device.c_str(), baud, strerror(error));
        close(fd);
        errno = error;
        return nullptr;
    }
    serial_line_raise_dtr_rts(fd, port);
    auto opened = std::make_shared<Port>(fd, std::move(wake), port);
    opened->watcher.start();
    return opened;
}

}  // namespace

std::atomic<int> pps_inverted{0};

void com_init()
{
    for (int slot = 0; slot < kComSlots; ++slot)
        com_close(slot);
}

int com_open(int slot, int port, int baud, int data_bits, int stop_bits, int parity)
{
    if (slot < 0 || slot >= kComSlots) {
        errno = EINVAL;
        return 0;
    }
    std::shared_ptr<Port> opened = open_port(port, baud, data_bits, stop_bits, parity);
    if (!opened)
        return 0;
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
        log_read_error(EBADF, port->fd());  // closed by com_close or woken by com_interrupt
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
    const int64_t deadline_ns = platform_deadline_after_ms(timeout_ms);
    while (left > 0) {
        ssize_t n = write(port->fd(), next, static_cast<size_t>(left));
        if (n > 0) {
            next += n;
            left -= static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return 0;
        int remaining_ms = platform_ms_left(deadline_ns);
        if (remaining_ms == 0 || !wait_writable(*port, remaining_ms))
            return 0;
    }
    return 1;
}

void com_interrupt(int slot)
{
    if (std::shared_ptr<Port> port = slot_port(slot))
        port->wake();
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

// A reader that reads through gpsd leaves slot 0 empty: gpsd's pulse
// reports stand for the port's edges then.
int com_wait_pps_edge(int slot, int use_cts, int timeout_ms, int64_t* edge_ns)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port)
        return slot == 0 ? gpsd_wait_pps_edge(timeout_ms, edge_ns) : -1;
    return port->watcher.wait_edge(use_cts != 0, timeout_ms, edge_ns);
}

int com_pps_last_edge(int slot, int use_cts, unsigned long* count, int64_t* mono_ns)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port)
        return slot == 0 ? gpsd_pps_last_edge(count, mono_ns) : -1;
    return port->watcher.last_edge(use_cts != 0, count, mono_ns);
}

int com_pps_pulse(int slot, int use_cts, PpsPulse* pulse)
{
    std::shared_ptr<Port> port = slot_port(slot);
    return port ? port->watcher.pulse(use_cts != 0, pulse) : -1;
}

int com_modem_lines(int slot, ModemLinesNow* lines, int* error)
{
    std::shared_ptr<Port> port = slot_port(slot);
    if (!port) {
        *error = ENODEV;
        return -1;
    }
    *error = port->watcher.lines(lines);
    return *error ? -1 : 1;
}

int com_event_mask(int slot)
{
    std::shared_ptr<Port> port = slot_port(slot);
    return port ? port->watcher.event_mask.load() : 0;
}
