// The termios side of a serial port: exclusive open, raw 8N1-style framing at
// any speed, DTR and RTS raised.
#pragma once

#include <string>

// Opens the device read-write, non-blocking, and holds it exclusively (flock
// for every process, TIOCEXCL as well). The descriptor, or -1 with errno set
// (EBUSY when another holds it).
int serial_line_open_exclusive(const std::string& device);

// Raw bytes both ways at baud (any speed the driver takes), data bits 5..8,
// the stop-bits and parity codes of serial.h, no flow control, CLOCAL. 0 or
// an errno value.
int serial_line_configure(int fd, int baud, int data_bits, int stop_bits, int parity);

// DTR and RTS on: many receivers draw power from them.
void serial_line_raise_dtr_rts(int fd, int port);
