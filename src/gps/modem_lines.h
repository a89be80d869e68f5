// Where the 1PPS watcher learns of modem-line changes: the port's own CTS,
// DSR, DCD and RI (TIOCMIWAIT), or a source a provider stands in with for the
// port's number (ptys have no modem lines: the tests' devices come this way).
// Both count edges per line, so a waiter never misses two edges between two
// wakes.
#pragma once

#include <memory>

struct ModemLineCounts {
    unsigned long cts = 0, dsr = 0, dcd = 0, ri = 0;  // edges counted since the source was made
    int bits = 0;  // the lines' states now: TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI
};

class ModemLineSource {
public:
    virtual ~ModemLineSource() = default;
    // The counts now; false with errno set when the lines cannot be read.
    virtual bool read(ModemLineCounts& counts) = 0;
    // Blocks until a line may have changed: true, or false with errno set
    // (EINTR after interrupt(), anything else when the lines are lost).
    virtual bool wait_change() = 0;
    // Makes a wait_change running in another thread return soon; called
    // until that thread has seen its stop flag.
    virtual void interrupt() = 0;
};

// Gives the source for a port number it stands in for, null for the others.
using ModemLineProvider = std::unique_ptr<ModemLineSource> (*)(int port);
// Puts provider before the ports' own lines for the ports opened from now on;
// null leaves the ports their own lines.
void modem_line_provider_set(ModemLineProvider provider);

// The provider's source for port, else the modem lines of fd.
std::unique_ptr<ModemLineSource> modem_line_source(int fd, int port);
