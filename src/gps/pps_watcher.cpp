// The 1PPS watcher thread and the hand-over of its edges.
#include "src/gps/pps_watcher.h"

#include "platform/clock.h"
#include "src/gps/link_log.h"

#include <cerrno>
#include <chrono>
#include <sys/ioctl.h>
#include <system_error>

PpsWatcher::PpsWatcher(int fd, int port) : port_(port), lines_(modem_line_source(fd, port)) {}

PpsWatcher::~PpsWatcher() { stop(); }

void PpsWatcher::start()
{
    try {
        thread_ = std::thread([this] {
            watch();
            done_ = true;
        });
    } catch (const std::system_error& e) {
        link_log("[com] COM%d: no 1PPS watcher thread: %s\n", port_, e.what());
        publish_error(EAGAIN);
    }
}

void PpsWatcher::watch()
{
    ModemLineCounts before;
    if (!lines_->read(before)) {
        publish_error(errno);
        return;
    }
    track_lines(before, before, 0);
    while (!stop_) {
        if (!lines_->wait_change()) {
            if (errno == EINTR)
                continue;
            publish_error(errno);
            return;
        }
        // Either edge of a pulse wakes the wait; the lines' state read after
        // it tells which. Read the clocks first: everything after this
        // point delays nothing.
        int64_t stamp_ns = platform_clock_read_ns();
        int64_t mono_ns = platform_monotonic_ns();
        ModemLineCounts after;
        if (!lines_->read(after)) {
            publish_error(errno);
            return;
        }
        publish_edges(before, after, stamp_ns, mono_ns);
        before = after;
    }
}

namespace {

constexpr int kLineBits[kModemLineCount] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI};

unsigned long edges_of(const ModemLineCounts& counts, int line)
{
    const unsigned long all[kModemLineCount] = {counts.cts, counts.dsr, counts.dcd, counts.ri};
    return all[line];
}

// One line after a wake: a single edge closes the spell it ended (on or
// off); several edges between two wakes leave the spells unknown.
void track_line(ModemLineState& line, unsigned long edges, bool on, int64_t mono_ns)
{
    if (edges == 1 && line.last_edge_ns != 0)
        (on ? line.off_ns : line.on_ns) = mono_ns - line.last_edge_ns;
    else if (edges > 1)
        line.on_ns = line.off_ns = 0;
    line.edges += edges;
    line.on = on;
    if (edges)
        line.last_edge_ns = mono_ns;
}

}  // namespace

// Caller holds no lock.
void PpsWatcher::track_lines(const ModemLineCounts& before, const ModemLineCounts& after, int64_t mono_ns)
{
    std::lock_guard guard(lock_);
    for (int line = 0; line < kModemLineCount; ++line)
        track_line(lines_now_.line[line], edges_of(after, line) - edges_of(before, line),
                   (after.bits & kLineBits[line]) != 0, mono_ns);
}

int PpsWatcher::lines(ModemLinesNow* now)
{
    std::lock_guard guard(lock_);
    *now = lines_now_;
    return error_;
}

void PpsWatcher::EdgeRun::add(unsigned long edges, int64_t stamp_ns, int64_t stamp_mono_ns)
{
    if (!edges)
        return;
    // Several edges of one direction between two wakes: the time between them is not known.
    before_ns = edges == 1 && count ? mono_ns : 0;
    count += edges;
    pc_ns = stamp_ns;
    mono_ns = stamp_mono_ns;
}

// The edges alternate, and the line's state read after the wake tells the
// direction of the last of them: from a line that was off, the first turns it on.
void PpsWatcher::PulseLine::add(unsigned long edges, bool on_now, int64_t stamp_ns, int64_t mono_ns)
{
    bool was_on = edges % 2 ? !on_now : on_now;
    unsigned long turning_on = was_on ? edges / 2 : (edges + 1) / 2;
    on.add(turning_on, stamp_ns, mono_ns);
    off.add(edges - turning_on, stamp_ns, mono_ns);
}

const PpsWatcher::EdgeRun& PpsWatcher::PulseLine::leading() const { return pps_inverted.load() ? off : on; }

void PpsWatcher::publish_edges(const ModemLineCounts& before, const ModemLineCounts& after, int64_t stamp_ns,
                               int64_t mono_ns)
{
    track_lines(before, after, mono_ns);
    unsigned long cts = after.cts - before.cts, dsr = after.dsr - before.dsr;
    if (!cts && !dsr)
        return;
    {
        std::lock_guard guard(lock_);
        cts_.add(cts, (after.bits & TIOCM_CTS) != 0, stamp_ns, mono_ns);
        dsr_.add(dsr, (after.bits & TIOCM_DSR) != 0, stamp_ns, mono_ns);
    }
    changed_.notify_all();
}

void PpsWatcher::publish_error(int error)
{
    {
        std::lock_guard guard(lock_);
        error_ = error ? error : EIO;
    }
    changed_.notify_all();
}

void PpsWatcher::stop()
{
    if (thread_.joinable()) {
        stop_ = true;
        // The wake may land just before the thread enters its wait: repeat
        // until it has seen the stop flag.
        while (!done_) {
            lines_->interrupt();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        thread_.join();
    }
    {
        std::lock_guard guard(lock_);
        closed_ = true;
    }
    changed_.notify_all();
}

int PpsWatcher::result_of(const EdgeRun& leading) const
{
    if (leading.count)
        return 1;
    return (error_ || closed_) ? -1 : 0;
}

int PpsWatcher::wait_edge(bool use_cts, int timeout_ms, int64_t* edge_ns)
{
    std::unique_lock guard(lock_);
    const EdgeRun& leading = (use_cts ? cts_ : dsr_).leading();
    const unsigned long start = leading.count;
    event_mask = use_cts ? kComEvCts : kComEvDsr;
    auto edge_or_end = [&] { return leading.count != start || error_ || closed_; };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    changed_.wait_until(guard, deadline, edge_or_end);
    event_mask = kComEvRxChar;
    if (leading.count != start) {
        if (edge_ns)
            *edge_ns = leading.pc_ns;
        return 1;
    }
    return (error_ || closed_) ? -1 : 0;
}

int PpsWatcher::last_edge(bool use_cts, unsigned long* count, int64_t* mono_ns)
{
    std::lock_guard guard(lock_);
    const EdgeRun& leading = (use_cts ? cts_ : dsr_).leading();
    if (count)
        *count = leading.count;
    if (mono_ns)
        *mono_ns = leading.mono_ns;
    return result_of(leading);
}

int PpsWatcher::pulse(bool use_cts, PpsPulse* pulse)
{
    std::lock_guard guard(lock_);
    const EdgeRun& leading = (use_cts ? cts_ : dsr_).leading();
    const ModemLineState& line = lines_now_.line[use_cts ? modem_cts : modem_dsr];
    pulse->count = leading.count;
    pulse->leading_ns = leading.mono_ns;
    pulse->period_ns = leading.before_ns ? leading.mono_ns - leading.before_ns : 0;
    pulse->width_ns = pps_inverted.load() ? line.off_ns : line.on_ns;
    return result_of(leading);
}
