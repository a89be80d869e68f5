// Line speeds the classic termios constants do not name (termios2 + BOTHER).
#pragma once

// Sets input and output speed of an open tty to baud bits per second.
// Returns 0, or the errno value when the driver refuses it.
int serial_set_any_speed(int fd, int baud);
