// Where the receiver can be read from, for the port list of the GPS
// configuration page: the port numbers with their devices, the receivers
// that gpsd holds, the watch of ports coming and going, and what reading
// through gpsd costs.
#pragma once

#include <string>
#include <vector>

// What reading through gpsd costs without 1PPS, measured with the simulated
// receiver through gpsd 3.22 on a pty (bench/correction_accuracy): a
// sentence reaches the clock this much later than straight from the port
// (the median, 2 to 7 ms over two runs), and up to this much on a busy
// machine (the worst of 60 corrections at a load of 12 on 2 cores: gpsd
// runs at normal priority, Satclock's reader at real-time priority).
inline constexpr int kGpsdExtraDelayMs = 5;
inline constexpr int kGpsdBusyDelayMs = 140;

// The port numbers of list_com_ports, ascending.
std::vector<int> receiver_ports();
// "/dev/ttyUSB0, u-blox 7 - GPS/GNSS Receiver", the device alone where the
// receiver is not known, "" when the number names no device.
std::string receiver_port_description(int port);

// A receiver of a gpsd: the source text to store (setting "gpsd_host"),
// the gpsd's address ("localhost:2947") and the receiver's device ("" not known).
struct GpsdEntry {
    std::string source;
    std::string address;
    std::string device;
};
// The receivers of a gpsd at the default address and at the one of the
// source chosen ("" the port), and that source even while its gpsd is away.
// Where a gpsd has one receiver its source is the address alone (a receiver
// plugged in again under another name is still it); with several, the
// address and the device. Waits a moment for each gpsd to answer.
std::vector<GpsdEntry> receiver_gpsd_entries(const std::string& chosen);

// The watch of ports coming and going, one at a time, on the GTK thread:
// starting gives the descriptors to poll for reading (none when nothing can
// be watched); drain reads what woke the poll and says whether a port may
// have come or gone.
std::vector<int> receiver_port_watch_start();
bool receiver_port_watch_drain();
void receiver_port_watch_stop();
