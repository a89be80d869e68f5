// Serial port access for the receiver: open/configure, read, write, close,
// 1PPS edges on CTS or DSR, and the list of port numbers.
//
// A port number n is a device: $SATCLOCK_PORT_DIR/COMn (default
// /etc/satclock/ports/COMn, usually a symlink to /dev/serial/by-id/... or a
// pty), else COM1-32 = /dev/ttyS0-31, COM33-64 = /dev/ttyUSB0-31,
// COM65-96 = /dev/ttyACM0-31.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Two slots; the program uses slot 0.
inline constexpr int kComSlots = 2;
// list_com_ports stores at most this many numbers.
inline constexpr int kComPortListMax = 510;

// Stop-bits and parity codes as the receiver settings give them.
inline constexpr int kComOneStopBit = 0, kComOne5StopBits = 1, kComTwoStopBits = 2;
inline constexpr int kComNoParity = 0, kComOddParity = 1, kComEvenParity = 2, kComMarkParity = 3,
                     kComSpaceParity = 4;

// Modem-line event mask of a port: received characters normally, CTS or DSR
// only while com_wait_pps_edge waits.
inline constexpr int kComEvRxChar = 0x0001, kComEvCts = 0x0008, kComEvDsr = 0x0010;

// Clears both slots. Called once at start-up before any other operation.
void com_init();

// Opens and configures a port: raw, the given speed (any speed the driver
// takes), data bits 5..8, stop-bits code, parity code, no flow control, DTR
// and RTS raised, modem lines ignored for carrier (CLOCAL). The device is held
// exclusively. Non-zero on success, 0 otherwise (bad slot, busy or missing
// port, not a tty, refused settings) with errno saying why: EACCES, EBUSY,
// ENOENT, ...
int com_open(int slot, int port, int baud, int data_bits, int stop_bits, int parity);

// Reads up to count bytes, waiting at most timeout_ms (default 50 ms; -1:
// until bytes come or the port closes) for the first one. Returns the count,
// 0 when none arrived, -1 on a hard error (port closed, hangup).
inline constexpr int kComReadTimeoutMs = 50;
int com_read(int slot, void* buffer, int count, int timeout_ms = kComReadTimeoutMs);

// Writes all bytes. 1 when written, 0 on failure.
int com_write(int slot, const void* bytes, int count);

// Makes a read or write pending on the slot's port, and every later one,
// fail (-1) without closing it: the thread that reads closes it. Never waits.
void com_interrupt(int slot);

// Closes the slot's port if it holds one and clears the slot. A read or
// modem-line wait pending in another thread on that port returns at once.
void com_close(int slot);

// 1: the receiver's pulse line rests on and the pulse turns it off at the
// top of the second (setting "pps_inverted"); 0: the pulse turns it on.
// The edge of 1PPS is always the pulse's leading edge: the line leaving its
// resting state. The trailing edge only measures the pulse's width.
extern std::atomic<int> pps_inverted;

// Waits for the leading edge of a pulse on CTS (use_cts non-zero) or DSR on
// the slot's port: 1 on an edge, 0 on time-out, -1 on error (no port, no
// modem lines, port closed). Only edges after the call began count. When
// edge_ns is given, it receives the PC clock (platform_clock_read_ns) read
// right after the edge woke the port's watcher, which is closer to the pulse
// than the caller's wake.
int com_wait_pps_edge(int slot, int use_cts, int timeout_ms, int64_t* edge_ns = nullptr);

// The last leading edge on CTS (use_cts non-zero) or DSR, without waiting:
// the number of leading edges since the port opened and the monotonic clock
// (platform_monotonic_ns) at the last one. 1 when there has been one, 0 none
// yet, -1 no port or no modem lines.
int com_pps_last_edge(int slot, int use_cts, unsigned long* count, int64_t* mono_ns);

// The pulse on CTS or DSR as last seen (monotonic ns).
struct PpsPulse {
    unsigned long count = 0;     // leading edges since the port opened
    int64_t leading_ns = 0;      // at the last leading edge
    int64_t period_ns = 0;       // from the leading edge before it, 0 unknown
    int64_t width_ns = 0;        // the last whole pulse, leading to trailing edge, 0 unknown
};
// The same results as com_pps_last_edge.
int com_pps_pulse(int slot, int use_cts, PpsPulse* pulse);

// The four modem-status lines as the port's watcher sees them.
inline constexpr int kModemLineCount = 4;
enum ModemLine { modem_cts, modem_dsr, modem_dcd, modem_ri };
struct ModemLineState {
    bool on = false;              // asserted now
    unsigned long edges = 0;      // since the port opened
    int64_t last_edge_ns = 0;     // platform_monotonic_ns at the last edge, 0 none
    int64_t on_ns = 0, off_ns = 0;  // the last whole spell on and off, 0 unknown
};
struct ModemLinesNow {
    ModemLineState line[kModemLineCount];
};
// 1 with the lines filled, or -1 with *error: ENODEV no open port, ENOTTY a
// port without modem lines (a pty), another errno when the lines were lost.
int com_modem_lines(int slot, ModemLinesNow* lines, int* error);

// The slot's current event mask (kComEvRxChar when no wait runs), 0 when empty.
int com_event_mask(int slot);

// Port numbers of the port-folder entries and of the real serial hardware,
// ascending, no duplicates, at most kComPortListMax. ports has room for
// kComPortListMax entries. Returns the number stored.
int list_com_ports(int16_t* ports);

// The device a port number opens, "" when none.
std::string com_port_device(int port);

// The port folder: $SATCLOCK_PORT_DIR, else /etc/satclock/ports.
std::string com_port_dir();
