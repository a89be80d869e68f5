// The receiver reader thread and the receive ring it fills.
//
// One reader thread owns the open port (slot 0): it opens it, sends the two
// receiver commands, and copies every received byte into buf_com_data. Two
// consumers read the ring, each through its own cursor: the analysis thread
// and the NMEA view. A cursor equal to the head means nothing to read; a
// consumer more than buf_com_size bytes behind loses the overwritten bytes.
#pragma once

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

// Closes the port to end the reader and returns once it has gone.
void stop_com_read_thread();

// 1 while a reader thread runs, else 0.
int com_read_running();

// Copy up to max_count bytes from the ring at the consumer's cursor and
// advance it. Return the count, 0 when there is nothing new.
int buf_com_read_analiz(uint8_t* destination, int max_count);
int buf_com_read_view(uint8_t* destination, int max_count);

// Waits until the analysis cursor has bytes to read or timeout_ms passes.
// 1 when bytes are there, 0 on time-out. The reader signals after every byte,
// so a line is seen the moment its carriage return lands.
int buf_com_wait_data(int timeout_ms);

// The reader thread's body (started by start_com_threads).
void read_com_thread_func(int com_port, int baudrate);
