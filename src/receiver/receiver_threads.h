// The receiver threads of the desktop program: the analysis thread (clock
// correction), the reader thread (receiver link) and the probe of the time
// service. The link knows nothing of the correction; this layer owns them
// all, and the pages reach the receiver only through it.
#pragma once

#include "src/gps/com_reader.h"

#include <atomic>
#include <cstdint>
#include <string>

// Analysis thread number once started (never stopped); 0 before.
extern std::atomic<int> thread_analiz_id;

// What the latest probe found of the time service (time_service_present): 1
// running, 0 not, 2 (kPeerNotPermitted) this account may not reach it, -1
// cannot be told. Written by the probe thread only.
extern std::atomic<int> time_service_presence;
// The time daemons the latest look found running (time_daemons_running),
// looked for every 10 s by the same thread.
extern std::atomic<unsigned> time_daemons_present;

// Readies the serial layer (both port slots empty): once at start-up, before
// start_receiver_threads.
void receiver_init();

// Starts the analysis thread and the probe the first time (with the source
// of the setting "gpsd_host"), then the reader on port com_port at baudrate,
// or through gpsd. Returns what start_com_threads returns: 1
// when a reader was started, 0 when one already runs.
int start_receiver_threads(int com_port, int baudrate);

// Moves the receiver to another port or speed: the reader reopens, the fix
// and the 1PPS state are forgotten. Never waits, so the GTK thread may call it.
void receiver_restart(int com_port, int baudrate);
// The source of the next (re)start: "" the serial port, else gpsd's
// "host:port[:device]" (setting "gpsd_host").
void receiver_use_gpsd(const std::string& source);

// 1 while a reader runs (it keeps trying a port that fails), else 0.
int receiver_running();

// The 1PPS line: a check of it (state_1PPS shows measuring, then the
// result), and the choice of CTS or DSR (what was measured becomes unknown).
// state_1PPS is written by the analysis thread alone.
void receiver_check_pulse();
void receiver_choose_pulse_line(bool cts);

// Ends the reader (which holds the port); the analysis thread goes on. False
// when the reader still runs after timeout_ms (>= 0).
bool stop_receiver_threads(int timeout_ms = -1);

// The NMEA view's share of the receive ring: up to max_count bytes it has not
// shown yet (0 none), and what the view and the analysis lost to overruns.
int receiver_ring_read_view(uint8_t* destination, int max_count);
RingOverrun receiver_ring_overrun_view();
RingOverrun receiver_ring_overrun_analiz();

// Called on the thread that saw a change of what the tray shows of the
// receiver (its fix state, the refused-receiver hint); it must not block.
// nullptr removes it.
void receiver_set_view_listener(void (*listener)());
