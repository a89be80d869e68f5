// The receiver threads of the desktop program: the analysis thread (clock
// correction) and the reader thread (receiver link). The link knows nothing of
// the correction; this layer owns both and starts them in order.
#pragma once

#include <atomic>

// Analysis thread number once started (never stopped); 0 before.
extern std::atomic<int> thread_analiz_id;

// Starts the analysis thread the first time, then the reader on port com_port
// at baudrate. Returns what start_com_threads returns: 1 when a reader was
// started, 0 when one already runs.
int start_receiver_threads(int com_port, int baudrate);

// Ends the reader (which holds the port); the analysis thread goes on. False
// when the reader still runs after timeout_ms (>= 0).
bool stop_receiver_threads(int timeout_ms = -1);
