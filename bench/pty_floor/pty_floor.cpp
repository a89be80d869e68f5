// The bare pty floor: a paced writer and a reader that only stamps.
#include "pty_floor.h"

#include "platform/time_units.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {

int64_t monotonic_ns()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

void sleep_until(int64_t monotonic)
{
    timespec at {static_cast<time_t>(monotonic / kNsPerSecond), static_cast<long>(monotonic % kNsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// The program's reader runs at SCHED_FIFO 10 where it may: so does this one.
void realtime_if_permitted()
{
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

int64_t pty_send_paced(int master, const std::string& sentence, int baud, int64_t& line_ns)
{
    const int64_t byte_ns = 10 * kNsPerSecond / baud;
    int64_t cr_ns = 0;
    for (char byte : sentence) {
        sleep_until(line_ns);
        // Stamped as the byte is handed over: a reader at real-time priority
        // may have it before the write returns.
        if (byte == '\r')
            cr_ns = monotonic_ns();
        if (write(master, &byte, 1) != 1)
            std::perror("pty write");
        line_ns += byte_ns;
    }
    return cr_ns;
}

PtyFloor::PtyFloor()
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) || unlockpt(master_))
        return;
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(slave_, TCSANOW, &tio);
    reader_ = std::thread([this] { read_loop(); });
}

PtyFloor::~PtyFloor()
{
    stop_ = true;
    if (master_ >= 0) {
        char wake = '\n';
        (void)!write(master_, &wake, 1);
    }
    if (reader_.joinable())
        reader_.join();
    if (slave_ >= 0)
        close(slave_);
    if (master_ >= 0)
        close(master_);
}

void PtyFloor::read_loop()
{
    realtime_if_permitted();
    char bytes[512];
    while (!stop_) {
        ssize_t n = read(slave_, bytes, sizeof bytes);
        int64_t now = monotonic_ns();
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        long crs = std::count(bytes, bytes + n, '\r');
        if (crs == 0)
            continue;
        {
            std::lock_guard guard(lock_);
            stamps_.insert(stamps_.end(), size_t(crs), now);
        }
        arrived_.notify_all();
    }
}

std::vector<int64_t> PtyFloor::cr_read_stamps(size_t count, int timeout_ms)
{
    std::unique_lock guard(lock_);
    arrived_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] { return stamps_.size() >= count; });
    return stamps_;
}

std::vector<int64_t> pty_floor_measure(int pairs)
{
    const std::string gga = "$GPGGA,123519.000,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*5A\r\n";
    const std::string rmc = "$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,0.0,0.0,191218,,,A*6B\r\n";
    PtyFloor bare;
    std::vector<int64_t> written, floor;
    if (!bare.ok())
        return floor;
    int64_t line_ns = monotonic_ns();
    for (int i = 0; i < 2 * pairs; ++i) {
        written.push_back(pty_send_paced(bare.master(), i % 2 ? rmc : gga, 4800, line_ns));
        if (i % 2)
            line_ns += 100 * kNsPerMs;
    }
    std::vector<int64_t> read = bare.cr_read_stamps(written.size(), 1000);
    for (size_t i = 0; i < read.size() && i < written.size(); ++i)
        floor.push_back(read[i] - written[i]);
    return floor;
}
