// The receiver read through gpsd instead of its port: where gpsd already owns
// the receiver (its udev hook takes a USB receiver the moment it is plugged
// in), Satclock asks it for the receiver's own NMEA sentences and, where gpsd
// sees the receiver's 1PPS, for its pulse reports. The connection goes
// through libgps, gpsd's client library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where gpsd listens when nothing else is said.
inline constexpr char kGpsdDefaultAddress[] = "localhost:2947";

// A source text "host:port[:device]" (gpsd's own notation, as its clients
// take it): the port defaults to 2947; no device means the sentences of
// every receiver gpsd has, which is one on most machines.
struct GpsdSource {
    std::string host;
    std::string port;
    std::string device;  // "" every device
};
// False for an empty text or an empty host.
bool gpsd_source_parse(const std::string& text, GpsdSource* source);
// "localhost:2947".
std::string gpsd_source_address(const GpsdSource& source);

// The source the reader uses (setting "gpsd_host"): "" the serial port, as
// designed; else a gpsd source text. The reader takes it at each (re)start.
void gpsd_link_choose(const std::string& source);
std::string gpsd_link_chosen();

// One connection to gpsd, run by the reader thread: it connects, asks for
// the raw NMEA (and the pulse reports) and hands each sentence, with its
// line end, to sink with the monotonic clock at its arrival from the socket,
// until gpsd closes the connection or wake_fd turns readable (the reader's
// stop or restart). It keeps the link's status (link_status_set_gpsd) on the
// way. False when gpsd could not be reached.
using GpsdSentenceSink = void (*)(const char* bytes, int count, int64_t arrival_ns);
class GpsdConnection {
public:
    GpsdConnection();
    ~GpsdConnection();
    GpsdConnection(const GpsdConnection&) = delete;
    GpsdConnection& operator=(const GpsdConnection&) = delete;

    bool open(const std::string& source);
    void read(GpsdSentenceSink sink, int wake_fd);

private:
    struct State;
    State* state_;
};

// gpsd's pulse reports while the reader reads through gpsd, as
// com_wait_pps_edge and com_pps_last_edge give the port's (the same results;
// -1 while no gpsd connection runs). gpsd stamps each edge itself, with the
// kernel's PPS device or the serial line's modem-status interrupt.
int gpsd_wait_pps_edge(int timeout_ms, int64_t* edge_ns);
int gpsd_pps_last_edge(unsigned long* count, int64_t* mono_ns);

// The receivers a gpsd at address ("host:port") has, within timeout_ms:
// their device paths; empty when it does not answer or has none.
std::vector<std::string> gpsd_list_devices(const std::string& address, int timeout_ms);
