// An in-process stand-in for the modem lines of one port number. Ptys carry
// data but have no CTS/DSR, so tests and benchmarks register a test device for
// the port's number and raise pulse edges on demand; the port's data still
// flow through the real device. Only the 1PPS watcher of serial.cpp reads it.
#pragma once

#include <atomic>
#include <memory>
#include <sys/ioctl.h>

// Registers a test device for a port number; a port opened on that number
// afterwards takes its modem-line edges from it. Registering again resets it.
// The lines in resting_on (TIOCM_CTS, ...) rest on, as the pulse line of a
// receiver whose pulse turns it off; the others rest off.
void com_test_device_register(int port, int resting_on = 0);
void com_test_device_unregister(int port);

// Raises one edge on TIOCM_CTS, TIOCM_DSR, TIOCM_CD or TIOCM_RI: each edge
// turns the line over. Returns 1, or 0 when no device is registered for the
// port or the line is none of these.
int com_test_device_raise_edge(int port, int line);

// Raises one pulse as a receiver's 1PPS output does: the leading edge now
// (the line leaves its resting state), the trailing edge width_ms later (the
// line rests again; the device turns it back by itself, also while nobody
// calls it). A pulse raised before the last one ended ends that one first.
// Returns 1, or 0 as com_test_device_raise_edge.
int com_test_device_raise_pulse(int port, int line, int width_ms);

// Makes the modem-line watch fail with errno_value, as a device that lost its
// lines or hung up; pending and later waits on the open port return -1.
int com_test_device_fail(int port, int errno_value);

namespace com_test_device_internal {

// What the watcher sees: edges counted per line, or a failure.
struct Counts {
    unsigned long cts = 0;
    unsigned long dsr = 0;
    unsigned long dcd = 0;
    unsigned long ri = 0;
    int bits = 0;   // the lines on now: TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI
    int error = 0;  // errno value once failed
};

struct Device;

// The device registered for the port, or null. The watcher keeps it for the
// life of the open port, so a later register starts a fresh device.
std::shared_ptr<Device> acquire(int port);
Counts current(Device& device);
// Blocks until the counts differ from seen or the device fails (true, now
// filled), or until stop is set and interrupt() called (false).
bool wait_change(Device& device, const Counts& seen, Counts& now, const std::atomic<bool>& stop);
// Wakes a wait_change so it looks at its stop flag.
void interrupt(Device& device);

}  // namespace com_test_device_internal
