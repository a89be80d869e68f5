// An in-process stand-in for the modem lines of one port number. Ptys carry
// data but have no CTS/DSR, so tests and benchmarks register a test device for
// the port's number and raise pulse edges on demand; the port's data still
// flow through the real device. The device stands before the port's own lines
// through the serial layer's modem-line provider; only the 1PPS watcher reads it.
#pragma once

#include <sys/ioctl.h>

// Registers a test device for a port number; a port opened on that number
// afterwards takes its modem-line edges from it. Registering again resets it.
// The lines in resting_on (TIOCM_CTS, ...) rest on, as the pulse line of a
// receiver whose pulse turns it off; the others rest off.
void com_test_device_register(int port, int resting_on = 0);
void com_test_device_unregister(int port);

// Raises one pulse on TIOCM_CTS, TIOCM_DSR, TIOCM_CD or TIOCM_RI as a
// receiver's 1PPS output does: the leading edge now (the line leaves its
// resting state), the trailing edge width_ms later (the line rests again; the
// device turns it back by itself, also while nobody calls it). A pulse raised
// before the last one ended ends that one first. Returns 1, or 0 when no
// device is registered for the port or the line is none of these.
int com_test_device_raise_pulse(int port, int line, int width_ms);

// Makes the modem-line watch fail with errno_value, as a device that lost its
// lines or hung up; pending and later waits on the open port return -1.
int com_test_device_fail(int port, int errno_value);
