// satclock-gpssim: a simulated GPS receiver on a pty. It plays the satellites,
// so all its times are the machine's real clock (CLOCK_REALTIME), never the
// sandbox clock of the PC being corrected.
#include "capture.h"
#include "options.h"
#include "pty_port.h"
#include "sentences.h"
#include "sim_log.h"
#include "transmitter.h"

#include "platform/env.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <poll.h>
#include <random>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int64_t kSecondNs = 1000000000;
// Sentences of a second are queued this long before the top of that second.
constexpr int64_t kQueueLeadNs = 500000000;

volatile sig_atomic_t stop_signal = 0;

void on_stop_signal(int number) { stop_signal = number; }

int64_t realtime_ns()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

// The receiver's sentences of one second.
class Receiver {
public:
    Receiver(const SimOptions& options) : o_(options), random_(options.seed), jitter_random_(options.seed + 1) {}

    void queue_second(Transmitter& tx, int64_t second_ns, int64_t reported_offset_ns)
    {
        if (o_.silence_after >= 0 && seconds_ >= o_.silence_after)
            return;
        int64_t due = second_ns + int64_t(o_.start_offset_ms) * 1000000 + jitter_ns();
        int64_t reported = second_ns + reported_offset_ns;
        if (!o_.fix.rmc_only)
            tx.enqueue(due, make_gga(o_.fix, reported), "GGA", second_ns, reported);
        tx.enqueue(due, make_rmc(o_.fix, reported), "RMC", second_ns, reported);
        if (o_.garbage_bytes > 0 && seconds_ % o_.garbage_every == 0)
            tx.enqueue(due, garbage(), "garbage", second_ns, reported);
        ++seconds_;
    }

private:
    // The output delay's wander this second, never before the top of it.
    int64_t jitter_ns()
    {
        if (o_.offset_jitter_ms == 0)
            return 0;
        int64_t span = int64_t(o_.offset_jitter_ms) * 1000000;
        int64_t draw = std::uniform_int_distribution<int64_t>(-span, span)(jitter_random_);
        return std::max<int64_t>(draw, -int64_t(o_.start_offset_ms) * 1000000);
    }

    std::string garbage()
    {
        std::string bytes(static_cast<size_t>(o_.garbage_bytes), '\0');
        for (char& byte : bytes) {
            do
                byte = static_cast<char>(random_() & 0xFF);
            while (byte == '$');
        }
        return bytes;
    }

    const SimOptions& o_;
    std::mt19937 random_;
    std::mt19937 jitter_random_;
    int seconds_ = 0;
};

// Lines the program writes to the port (the receiver commands).
class CommandLog {
public:
    explicit CommandLog(SimLog& log) : log_(log) {}

    void drain(int fd)
    {
        char bytes[512];
        ssize_t n;
        while ((n = read(fd, bytes, sizeof bytes)) > 0) {
            int64_t stamp = realtime_ns();
            for (ssize_t i = 0; i < n; ++i)
                take(bytes[i], stamp);
        }
    }

private:
    void take(char byte, int64_t stamp)
    {
        if (byte == '\n' || pending_.size() > 4096) {
            if (!pending_.empty() && pending_.back() == '\r')
                pending_.pop_back();
            log_.begin("command").field("ns", stamp).field("text", pending_).end();
            pending_.clear();
        } else {
            pending_ += byte;
        }
    }

    SimLog& log_;
    std::string pending_;
};

void install_signals(sigset_t& wait_mask)
{
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Blocked except while waiting in ppoll, so no stop is lost between
    // looking at the flag and going to sleep.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&blocked, number);
    sigprocmask(SIG_BLOCK, &blocked, &wait_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&wait_mask, number);
}

void wait_until(int fd, int64_t wake_ns, const sigset_t& wait_mask, CommandLog& commands)
{
    int64_t delay = std::max<int64_t>(0, wake_ns - realtime_ns());
    timespec timeout {static_cast<time_t>(delay / kSecondNs), static_cast<long>(delay % kSecondNs)};
    pollfd master {fd, POLLIN, 0};
    if (ppoll(&master, 1, &timeout, &wait_mask) > 0 && (master.revents & POLLIN))
        commands.drain(fd);
}

std::string resolve_port_dir(const SimOptions& options)
{
    if (!options.port_dir.empty())
        return options.port_dir;
    std::string dir = env_value("SATCLOCK_PORT_DIR");
    return dir.empty() ? "/etc/satclock/ports" : dir;
}

// The reported time runs this far from the true time: the given offset, or
// whatever makes the first second report --start-time.
int64_t reported_offset_ns(const SimOptions& options, int64_t first_second_ns)
{
    int64_t start_time = 0;
    if (!options.start_time.empty() && parse_utc_time(options.start_time, start_time))
        return start_time - first_second_ns;
    return options.time_offset_ns;
}

// Sends until a stop signal or --exit-after: generated seconds queued half a
// second ahead, or the capture queued all at once.
void serve(const SimOptions& options, const std::vector<CaptureLine>& capture, PtyPort& pty, SimLog& log,
           int64_t started, const sigset_t& wait_mask)
{
    Transmitter tx(pty.master(), options.baud, options.delivery, log, options.speed_mismatch);
    Receiver receiver(options);
    CommandLog commands(log);
    int64_t next_second = (started / kSecondNs + 1) * kSecondNs;
    const int64_t reported_offset = reported_offset_ns(options, next_second);
    const int64_t exit_at = options.exit_after >= 0 ? started + options.exit_after * kSecondNs : -1;
    const bool replay = !options.replay_file.empty();
    const int64_t replay_start = next_second + int64_t(options.start_offset_ms) * 1000000;
    for (const CaptureLine& line : capture)
        tx.enqueue(replay_start + line.at_ns, line.text, sentence_type(line.text), next_second, 0);

    while (!stop_signal) {
        int64_t now = realtime_ns();
        if (exit_at >= 0 && now >= exit_at)
            break;
        if (!replay && now >= next_second - kQueueLeadNs) {
            receiver.queue_second(tx, next_second, reported_offset);
            next_second += kSecondNs;
        }
        int64_t wake = tx.pump(now);
        int64_t next_queue = replay ? now + kSecondNs : next_second - kQueueLeadNs;
        if (wake < 0 || wake > next_queue)
            wake = next_queue;
        if (exit_at >= 0)
            wake = std::min(wake, exit_at);
        wait_until(pty.master(), wake, wait_mask, commands);
    }
    commands.drain(pty.master());
}

int run(const SimOptions& options, const std::vector<CaptureLine>& capture)
{
    SimLog log;
    if (!log.open(options.log_file)) {
        std::perror(("satclock-gpssim: " + options.log_file).c_str());
        return 1;
    }
    sigset_t wait_mask;
    install_signals(wait_mask);
    prctl(PR_SET_TIMERSLACK, 1UL);  // wake on the byte, not 50 us later
    if (options.realtime) {
        // It plays the receiver's hardware: on a busy machine its bytes keep
        // their times (it only ever sleeps in ppoll).
        sched_param realtime{};
        realtime.sched_priority = 20;
        sched_setscheduler(0, SCHED_FIFO, &realtime);
    }

    PtyPort pty;
    std::string error;
    if (!pty.open(resolve_port_dir(options), options.port, options.replace_link, error)) {
        std::fprintf(stderr, "satclock-gpssim: %s\n", error.c_str());
        return 1;
    }
    int64_t started = realtime_ns();
    log.begin("start").field("ns", started).field("port", options.port).field("link", pty.link_path())
        .field("pty", pty.slave_path()).field("baud", options.baud).field("delivery", std::string(delivery_name(options.delivery)))
        .end();
    if (options.log_file.empty())
        std::printf("satclock-gpssim: COM%d -> %s\n", options.port, pty.slave_path().c_str());
    std::fflush(stdout);

    serve(options, capture, pty, log, started, wait_mask);
    log.begin("stop").field("ns", realtime_ns()).field("signal", int64_t(stop_signal)).end();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    int status = parse_options(argc, argv, options);
    if (status >= 0)
        return status;
    std::vector<CaptureLine> capture;
    std::string error;
    if (!options.replay_file.empty() && !read_capture(options.replay_file, capture, error)) {
        std::fprintf(stderr, "satclock-gpssim: %s\n", error.c_str());
        return 1;
    }
    return run(options, capture);
}
