// The floor under the receiver link's latency: the same sentences, paced the
// same, from a pty master to a thread blocked in read() on its slave, with no
// Satclock code between. A benchmark measures it in the same run as its own
// figures, so a loaded or slow host shows in both.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Writes a sentence into a pty master a byte at a time at the baud rate
// (10 bit times a byte, from line_ns on the monotonic clock, which it
// advances); returns the monotonic time right before the carriage return's
// write.
int64_t pty_send_paced(int master, const std::string& sentence, int baud, int64_t& line_ns);

class PtyFloor {
public:
    // Opens the pty pair and starts the reader (at real-time priority where
    // permitted, as the program's reader runs).
    PtyFloor();
    ~PtyFloor();
    PtyFloor(const PtyFloor&) = delete;
    PtyFloor& operator=(const PtyFloor&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    int master() const { return master_; }

    // The monotonic time at which the reader had each carriage return, in
    // order, once `count` have come (waited for at most timeout_ms; fewer
    // when they did not).
    std::vector<int64_t> cr_read_stamps(size_t count, int timeout_ms);

private:
    void read_loop();

    int master_ = -1;
    int slave_ = -1;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<int64_t> stamps_;  // under lock_
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

// The bare pty write-to-read time of this host now, over `pairs` pairs of
// sentences (GGA and RMC) at 4800 baud, a pair every tenth of a second.
std::vector<int64_t> pty_floor_measure(int pairs);
