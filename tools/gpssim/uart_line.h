// What the program's UART receives when it reads the line at another speed
// than the receiver sends.
#pragma once

#include <string>

// The line speed the program set on the pty's slave (read through the
// master), 0 when it cannot be read.
int line_speed(int master_fd);

// True when a UART at rx_baud cannot frame bytes sent at tx_baud (more than
// 3 % apart, past the tolerance of start-bit resynchronisation).
bool speeds_mismatch(int tx_baud, int rx_baud);

// The bytes a receiver at rx_baud makes of bytes sent back to back at
// tx_baud, 8N1: it waits for a falling edge, samples each bit in its middle
// (as it sees bit times), and gives a NUL for a frame whose stop bit is low,
// as the Linux line discipline reports a framing error.
std::string uart_reception(const std::string& sent, int tx_baud, int rx_baud);
