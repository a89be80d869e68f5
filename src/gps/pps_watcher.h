// The 1PPS watcher of an open port: a thread that sleeps on the port's modem
// lines (TIOCMIWAIT has no time-out), stamps each edge with the PC clock and
// the monotonic clock right after it wakes, and hands the edges to waiters
// with the time-out they ask for.
//
// A receiver's pulse has two edges a second: the leading one at the top of
// the second (the line turning on, or off when pps_inverted is set) and the
// trailing one a pulse width later. Only the leading edge is handed out as
// "the edge"; the trailing one only measures the pulse's width.
#pragma once

#include "src/gps/modem_lines.h"
#include "src/gps/serial.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class PpsWatcher {
public:
    PpsWatcher(int fd, int port);
    ~PpsWatcher();
    PpsWatcher(const PpsWatcher&) = delete;
    PpsWatcher& operator=(const PpsWatcher&) = delete;

    void start();
    // Ends the thread (it is woken from its wait) and fails every waiter.
    void stop();

    // 1 on a leading edge of the line after the call began (edge_ns: the PC
    // clock at it), 0 on time-out, -1 when the lines are lost or the port closed.
    int wait_edge(bool use_cts, int timeout_ms, int64_t* edge_ns);
    // The leading edges so far and the monotonic clock at the last: 1 when
    // there has been one, 0 none yet, -1 lost or closed.
    int last_edge(bool use_cts, unsigned long* count, int64_t* mono_ns);
    // The pulse on the line as last seen; the same results as last_edge.
    int pulse(bool use_cts, PpsPulse* pulse);

    // The four lines: 0, or the errno value that ended the watch (ENOTTY:
    // the port has no modem lines).
    int lines(ModemLinesNow* now);

    // kComEvCts or kComEvDsr while a wait_edge waits (set once the count it
    // compares against is taken), else kComEvRxChar.
    std::atomic<int> event_mask{kComEvRxChar};

private:
    void watch();
    void publish_edges(const ModemLineCounts& before, const ModemLineCounts& after, int64_t stamp_ns,
                       int64_t mono_ns);
    void publish_error(int error);
    void track_lines(const ModemLineCounts& before, const ModemLineCounts& after, int64_t mono_ns);

    // The edges of one direction of a line: turning on, or turning off.
    struct EdgeRun {
        unsigned long count = 0;  // since the port opened
        int64_t pc_ns = 0;        // PC clock at the last
        int64_t mono_ns = 0;      // the monotonic clock at the same moment
        int64_t before_ns = 0;    // the monotonic clock at the one before it, 0 unknown
        void add(unsigned long edges, int64_t stamp_ns, int64_t stamp_mono_ns);
    };
    struct PulseLine {
        EdgeRun on, off;
        const EdgeRun& leading() const;
        void add(unsigned long edges, bool on_now, int64_t stamp_ns, int64_t mono_ns);
    };
    int result_of(const EdgeRun& leading) const;

    int port_;
    std::unique_ptr<ModemLineSource> lines_;

    std::mutex lock_;
    std::condition_variable changed_;
    PulseLine cts_, dsr_;
    ModemLinesNow lines_now_;                    // all four lines, for the port doctor
    int error_ = 0;                              // errno once the lines cannot be watched
    bool closed_ = false;

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
};
