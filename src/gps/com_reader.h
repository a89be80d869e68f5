// The receiver reader thread and the receive ring it fills.
//
// One reader thread owns the open port (slot 0): it opens it, sends the two
// receiver commands, and copies every received byte into buf_com_data. Two
// consumers read the ring, each through its own cursor: the analysis thread
// and the NMEA view. Each consumer also counts the bytes waiting behind its
// cursor: a cursor index alone cannot tell nothing from a whole lap. A
// consumer the writer has come round to (buf_com_size bytes or more behind)
// is overrun: its next read resumes at the newest whole line in the ring, and
// the bytes skipped are counted (buf_com_overrun_*).
#pragma once

#include "platform/time_units.h"

#include <atomic>
#include <cstdint>
#include <mutex>

inline constexpr int buf_com_size = 4096;  // ring size in bytes

// Guards the storage, the head and both cursors. No other lock is taken
// while it is held.
extern std::mutex buf_com_lock;
extern uint8_t* buf_com_data;    // allocated (zero-filled) on the first start, never freed
extern int buf_com_head;         // next byte to write, 0..4095
extern int buf_com_tail_analiz;  // the analysis thread's cursor, 0..4095
extern int buf_com_tail_view;    // the NMEA view's cursor, 0..4095

// Reader thread number while one runs, else 0 (it clears it itself, last).
extern std::atomic<int> thread_com_read_id;

// Starts the reader on port com_port at baudrate (the settings "com_port" and
// "baudrate" as they stand now). The consumers of the ring run on their own.
// Every call resets the head and the analysis cursor and clears the GPS fix.
// Returns 1 when a reader was started, 0 when one already runs (or the ring
// could not be allocated).
int start_com_threads(int com_port, int baudrate);

// Moves the reader to another port or speed without waiting for anything:
// a running reader closes its port and opens the new one with a fresh ring
// and an empty fix; with none running, one is started. Returns 1.
int com_reader_restart(int com_port, int baudrate);

// The port and speed of the latest reader start, and the number of starts so
// far (a change of it says the receiver may be another).
unsigned com_reader_link(int* port, int* baud);

// Closes the port to end the reader and returns once it has gone, or false
// after timeout_ms (>= 0) while it still runs. The reader otherwise never
// ends: a port that cannot be opened or fails is tried again every 2 s.
bool stop_com_read_thread(int timeout_ms = -1);

// 1 while a reader thread runs, else 0.
int com_read_running();

// Copy up to max_count bytes from the ring at the consumer's cursor and
// advance it. Return the count, 0 when there is nothing new.
int buf_com_read_analiz(uint8_t* destination, int max_count);
int buf_com_read_view(uint8_t* destination, int max_count);

// What a consumer lost to the writer since the program started.
struct RingOverrun {
    unsigned count = 0;        // times the writer came round to its cursor
    uint64_t lost_bytes = 0;   // bytes skipped at those times
};
RingOverrun buf_com_overrun_analiz();
RingOverrun buf_com_overrun_view();

// Moves the analysis cursor to the head: what is stored so far is skipped.
void buf_com_skip_analiz();

// Arrival stamps, one slot per ring byte, filled by the reader: the
// monotonic clock (platform_monotonic_ns; a step of the PC clock, such as a
// correction, does not move it) as the reader got the byte, for every line end
// (carriage return or line feed) and for the first byte of a burst (the
// first byte after more than 100 ms without one, which is where a receiver
// begins its output for a second); 0 for every other byte. A burst's first
// byte holds its stamp negated, whether or not it also ends a line.
extern int64_t* buf_com_stamps;  // allocated with buf_com_data
inline constexpr int64_t kBurstGapNs = 100 * kNsPerMs;

// buf_com_read_analiz that also copies the bytes' stamps.
int buf_com_read_analiz_stamped(uint8_t* destination, int64_t* stamps, int max_count);

// Waits until the analysis cursor has bytes to read or timeout_ms passes.
// 1 when bytes are there, 0 on time-out. The reader signals after every
// block that ends a line or begins a burst (and when 1024 bytes wait), so a
// line is seen the moment its carriage return lands.
int buf_com_wait_data(int timeout_ms);

// The analysis thread's wait: until there are bytes to read, a
// buf_com_wake_analiz call, or the monotonic clock reaches deadline_ns (-1:
// no deadline). 1 for bytes, 0 otherwise.
int buf_com_wait_data_until(int64_t deadline_ns);
void buf_com_wake_analiz();

// Whether a whole line (text and its line end) waits behind the analysis
// cursor: the line just analysed is not the newest the receiver sent.
bool buf_com_analiz_line_waiting();

// platform_monotonic_ns of the last byte the reader stored; 0 before any.
int64_t buf_com_last_arrival_ns();
// Bytes the reader has read since the program started, of every port.
uint64_t buf_com_bytes_received();

// The reader thread's body (started by start_com_threads).
void read_com_thread_func(int com_port, int baudrate);
