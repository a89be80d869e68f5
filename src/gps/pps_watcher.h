// The 1PPS watcher of an open port: a thread that sleeps on the port's modem
// lines (TIOCMIWAIT has no time-out), stamps each edge with the PC clock and
// the monotonic clock right after it wakes, and hands the edges to waiters
// with the time-out they ask for.
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

    // 1 on an edge of the line after the call began (edge_ns: the PC clock
    // at it), 0 on time-out, -1 when the lines are lost or the port closed.
    int wait_edge(bool use_cts, int timeout_ms, int64_t* edge_ns);
    // The edges so far and the monotonic clock at the last: 1 when there has
    // been one, 0 none yet, -1 lost or closed.
    int last_edge(bool use_cts, unsigned long* count, int64_t* mono_ns);

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

    int port_;
    std::unique_ptr<ModemLineSource> lines_;

    std::mutex lock_;
    std::condition_variable changed_;
    unsigned long cts_ = 0, dsr_ = 0;            // edges counted since the port opened
    int64_t cts_ns_ = 0, dsr_ns_ = 0;            // PC clock at the last edge of each line
    int64_t cts_mono_ns_ = 0, dsr_mono_ns_ = 0;  // the monotonic clock at the same moment
    ModemLinesNow lines_now_;                    // all four lines, for the port doctor
    int error_ = 0;                              // errno once the lines cannot be watched
    bool closed_ = false;

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
};
