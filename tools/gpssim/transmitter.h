// The simulator's side of the line: queued sentences become bytes on the pty
// as the receiver's hardware would hand them to the PC, and each sentence's
// hand-over goes into the log.
#pragma once

#include "sim_log.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

// How received bytes reach the program reading the port.
enum class Delivery {
    byte,  // one byte at a time as it comes off the line (the default)
    fifo,  // a 16550 UART: an interrupt per 14 bytes, the rest after 4 idle character times
    usb,   // a receiver with its own USB port: packets of up to 64 bytes, one per 1 ms frame
};

// Parses "byte", "fifo" or "usb"; and the name of a mode.
bool parse_delivery(const char* text, Delivery& delivery);
const char* delivery_name(Delivery delivery);

class Transmitter {
public:
    Transmitter(int fd, int baud, Delivery delivery, SimLog& log, bool speed_mismatch = false);

    // A sentence (or any bytes) whose first byte leaves the receiver at due_ns,
    // or once the line is free.
    void enqueue(int64_t due_ns, std::string bytes, std::string type, int64_t second_ns, int64_t reported_ns);

    // Hands over what is due by now; returns when the next hand-over is due,
    // -1 when nothing is queued.
    int64_t pump(int64_t now_ns);

    bool idle() const { return queue_.empty(); }

private:
    struct Chunk {
        int64_t start_ns;      // when its first byte is received (in the UART or the USB device)
        std::string bytes;
        std::string type;      // "GGA", "RMC", "garbage", ...
        int64_t second_ns;     // the true second it belongs to
        int64_t reported_ns;   // the time it reports (sentences)
        size_t received = 0;   // bytes received by the last pump
        size_t written = 0;    // bytes handed over (or dropped)
        int64_t first_byte_ns = 0, cr_ns = 0;
        bool looked_at_line = false;
        std::string sent{};    // what went on the line when bytes holds what the program's UART made of it
    };

    int64_t byte_offset_ns(size_t bytes) const;
    int64_t received_at(const Chunk& chunk, size_t index) const;
    size_t pending(int64_t now_ns, int64_t* last_received_ns);
    size_t due_now(size_t pending, int64_t last_received_ns, int64_t now_ns);
    int64_t next_due(size_t pending, int64_t last_received_ns, int64_t now_ns) const;
    int64_t next_fifo_interrupt(size_t pending, int64_t last_received_ns) const;
    void hand_over(size_t count);
    void account(size_t count, int64_t stamp_ns, bool dropped);
    void look_at_line(Chunk& chunk, int64_t now_ns);
    void finish(const Chunk& chunk);

    int fd_;
    int baud_;
    Delivery delivery_;
    SimLog& log_;
    bool speed_mismatch_;
    int last_line_speed_ = -1;
    std::deque<Chunk> queue_;
    int64_t line_free_ns_ = 0;
    int64_t next_frame_ns_ = 0;  // usb: the next frame that may carry a packet
};
