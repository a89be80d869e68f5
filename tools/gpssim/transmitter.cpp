// Byte pacing and the three ways hardware hands received bytes to the PC.
#include "transmitter.h"

#include "uart_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

constexpr int64_t kSecondNs = 1000000000;
// A 16550 raises its receive interrupt at 14 bytes in its FIFO, or when bytes
// wait and none has come for 4 character times.
constexpr size_t kFifoTrigger = 14;
constexpr int kFifoQuietCharacters = 4;
// A full-speed USB device answers one poll per 1 ms frame, 64 bytes at most.
constexpr size_t kUsbPacket = 64;
constexpr int64_t kUsbFrameNs = 1000000;

int64_t realtime_ns()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

}  // namespace

namespace {

const struct {
    const char* name;
    Delivery delivery;
} delivery_names[] = {{"byte", Delivery::byte}, {"fifo", Delivery::fifo}, {"usb", Delivery::usb}};

}  // namespace

const char* delivery_name(Delivery delivery)
{
    for (const auto& entry : delivery_names)
        if (entry.delivery == delivery)
            return entry.name;
    return "?";
}

bool parse_delivery(const char* text, Delivery& delivery)
{
    for (const auto& entry : delivery_names)
        if (std::strcmp(text, entry.name) == 0) {
            delivery = entry.delivery;
            return true;
        }
    return false;
}

Transmitter::Transmitter(int fd, int baud, Delivery delivery, SimLog& log, bool speed_mismatch)
    : fd_(fd), baud_(baud), delivery_(delivery), log_(log),
      speed_mismatch_(speed_mismatch && delivery != Delivery::usb)
{
}

void Transmitter::enqueue(int64_t due_ns, std::string bytes, std::string type, int64_t second_ns,
                          int64_t reported_ns)
{
    int64_t start = std::max(due_ns, line_free_ns_);
    // A USB receiver's sentence is in its buffer at once; a UART's arrives byte by byte.
    line_free_ns_ = delivery_ == Delivery::usb ? start : start + byte_offset_ns(bytes.size());
    queue_.push_back({start, std::move(bytes), std::move(type), second_ns, reported_ns});
}

int64_t Transmitter::pump(int64_t now_ns)
{
    int64_t last_received = 0;
    size_t waiting = pending(now_ns, &last_received);
    for (size_t count; (count = due_now(waiting, last_received, now_ns)) > 0; waiting -= count)
        hand_over(count);
    while (!queue_.empty() && now_ns >= queue_.front().start_ns &&
           queue_.front().written >= queue_.front().bytes.size()) {
        finish(queue_.front());
        queue_.pop_front();
    }
    return queue_.empty() ? -1 : next_due(waiting, last_received, now_ns);
}

int64_t Transmitter::byte_offset_ns(size_t bytes) const { return int64_t(bytes) * 10 * kSecondNs / baud_; }

// Byte index of the chunk is received (at the line's pace: 10 bit times a byte).
int64_t Transmitter::received_at(const Chunk& chunk, size_t index) const
{
    return delivery_ == Delivery::usb ? chunk.start_ns : chunk.start_ns + byte_offset_ns(index);
}

// Bytes received but not handed over; last_received_ns: when the newest came.
size_t Transmitter::pending(int64_t now_ns, int64_t* last_received_ns)
{
    size_t waiting = 0;
    for (Chunk& chunk : queue_) {
        if (now_ns < chunk.start_ns)
            break;
        if (!chunk.looked_at_line)
            look_at_line(chunk, now_ns);
        size_t received = chunk.bytes.size();
        if (delivery_ != Delivery::usb)
            received = std::min(received, size_t((now_ns - chunk.start_ns) * baud_ / (10 * kSecondNs)) + 1);
        chunk.received = received;
        if (received > chunk.written) {
            waiting += received - chunk.written;
            *last_received_ns = received_at(chunk, received - 1);
        }
    }
    return waiting;
}

size_t Transmitter::due_now(size_t waiting, int64_t last_received_ns, int64_t now_ns)
{
    if (waiting == 0)
        return 0;
    switch (delivery_) {
    case Delivery::byte:
        // What one sentence has due: a late wake writes it at once, the next
        // sentence in a write of its own.
        for (const Chunk& chunk : queue_)
            if (chunk.received > chunk.written)
                return chunk.received - chunk.written;
        return 0;
    case Delivery::fifo:
        if (waiting >= kFifoTrigger)
            return kFifoTrigger;
        return now_ns >= last_received_ns + kFifoQuietCharacters * byte_offset_ns(1) ? waiting : 0;
    case Delivery::usb:
        if (now_ns < next_frame_ns_)
            return 0;
        next_frame_ns_ = (now_ns / kUsbFrameNs + 1) * kUsbFrameNs;
        return std::min(waiting, kUsbPacket);
    }
    return 0;
}

int64_t Transmitter::next_due(size_t waiting, int64_t last_received_ns, int64_t now_ns) const
{
    if (delivery_ == Delivery::fifo)
        return next_fifo_interrupt(waiting, last_received_ns);
    if (delivery_ == Delivery::usb && waiting > 0)
        return next_frame_ns_;
    for (const Chunk& chunk : queue_)
        if (chunk.received < chunk.bytes.size() || now_ns < chunk.start_ns)
            return std::max(received_at(chunk, chunk.received), delivery_ == Delivery::usb ? next_frame_ns_ : 0);
    return now_ns + kUsbFrameNs;
}

// The next interrupt: the 14th byte waiting, or the first gap of 4 character
// times after a byte while bytes wait.
int64_t Transmitter::next_fifo_interrupt(size_t waiting, int64_t last_received_ns) const
{
    const int64_t quiet = kFifoQuietCharacters * byte_offset_ns(1);
    for (const Chunk& chunk : queue_) {
        for (size_t k = chunk.received; k < chunk.bytes.size(); ++k) {
            int64_t at = received_at(chunk, k);
            if (waiting > 0 && at > last_received_ns + quiet)
                return last_received_ns + quiet;
            last_received_ns = at;
            if (++waiting >= kFifoTrigger)
                return at;
        }
    }
    return waiting > 0 ? last_received_ns + quiet : -1;
}

// One hand-over (a read's worth for the program) of the next count bytes.
void Transmitter::hand_over(size_t count)
{
    std::string bytes;
    for (const Chunk& chunk : queue_) {
        if (bytes.size() == count)
            break;
        size_t take = std::min(count - bytes.size(), chunk.received - chunk.written);
        bytes.append(chunk.bytes, chunk.written, take);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        int64_t stamp = realtime_ns();
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Nobody drains the pty: the bytes are lost, as on a line nobody reads.
            log_.begin("dropped").field("ns", stamp).field("bytes", int64_t(bytes.size() - done)).end();
            account(bytes.size() - done, stamp, true);
            return;
        }
        account(size_t(n), stamp, false);
        done += size_t(n);
    }
}

// The next count bytes went over at stamp_ns (or were lost).
void Transmitter::account(size_t count, int64_t stamp_ns, bool dropped)
{
    for (Chunk& chunk : queue_) {
        if (count == 0)
            break;
        size_t take = std::min(count, chunk.bytes.size() - chunk.written);
        if (take == 0)
            continue;
        if (!dropped && chunk.written == 0)
            chunk.first_byte_ns = stamp_ns;
        size_t cr = chunk.bytes.find('\r', chunk.written);
        if (!dropped && cr != std::string::npos && cr < chunk.written + take && !chunk.cr_ns)
            chunk.cr_ns = stamp_ns;
        chunk.written += take;
        count -= take;
    }
}

// With --speed-mismatch, a chunk sent while the program reads at another
// speed reaches it as its UART would frame it.
void Transmitter::look_at_line(Chunk& chunk, int64_t now_ns)
{
    chunk.looked_at_line = true;
    if (!speed_mismatch_)
        return;
    int speed = line_speed(fd_);
    if (speed != last_line_speed_) {
        log_.begin("line_speed").field("ns", now_ns).field("baud", int64_t(speed)).end();
        last_line_speed_ = speed;
    }
    if (!speeds_mismatch(baud_, speed))
        return;
    chunk.sent = chunk.bytes;
    chunk.bytes = uart_reception(chunk.sent, baud_, speed);
}

void Transmitter::finish(const Chunk& chunk)
{
    if (chunk.type == "garbage") {
        log_.begin("garbage").field("second_ns", chunk.second_ns).field("first_byte_ns", chunk.first_byte_ns)
            .field("bytes", int64_t(chunk.bytes.size())).end();
        return;
    }
    std::string text = chunk.sent.empty() ? chunk.bytes : chunk.sent;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    log_.begin("sentence").field("type", chunk.type).field("second_ns", chunk.second_ns)
        .field("reported_ns", chunk.reported_ns).field("first_byte_ns", chunk.first_byte_ns)
        .field("cr_ns", chunk.cr_ns).field("bytes", int64_t(chunk.bytes.size())).field("text", text).end();
}
