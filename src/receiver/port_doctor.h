// The port doctor of the GPS configuration page: what the receiver's port
// shows now (the four modem-status lines with their edges and pulse width,
// bytes and sentences a second, checksum failures) and a verdict in plain
// words on the speed and on the line that carries the 1PPS pulse; and the
// search for the receiver's speed through the reader's own restart.
#pragma once

#include "src/gps/link_status.h"
#include "src/gps/serial.h"

#include <cstdint>
#include <deque>
#include <vector>

// What the port shows at one moment.
struct DoctorSample {
    int64_t mono_ns = 0;
    LinkStatus link;
    uint64_t bytes = 0;          // read since the program started
    uint64_t sentences = 0;      // well-formed sentences since then
    uint64_t bad_checksums = 0;  // lines failing their checksum since then
    int lines_error = 0;         // 0 lines read; ENOTTY no modem lines; ENODEV no port open
    ModemLinesNow lines;
    bool use_pps = false;
    bool use_cts = true;
    bool pps_inverted = false;  // the pulse turns the line off
};

DoctorSample port_doctor_sample_now();

enum class DoctorVerdictKind {
    measuring,         // not enough seen yet
    port_closed,       // the reader has no open port
    nothing_received,  // no byte at all
    wrong_speed,       // bytes but no sentence: another speed (baud) to try
    speed_right,       // sentences at this speed (baud)
    bad_checksums,     // sentences, and lines failing their checksum
    no_modem_lines,    // the port has none (a pty, many USB adapters)
    pulses,            // a pulse on CTS or DSR (line, width_ms, chosen)
    pulses_unusable,   // a pulse only on DCD or RI (line)
    no_pulses,         // the lines are there, nothing pulses
};

struct DoctorVerdict {
    DoctorVerdictKind kind = DoctorVerdictKind::measuring;
    int baud = 0;        // wrong_speed: the speed to try; speed_right, bad_checksums: the speed in force
    int line = -1;       // pulses, pulses_unusable: modem_cts ... modem_ri
    int width_ms = 0;    // pulses: the pulse's width, 0 unknown (the line chosen: leading to trailing edge)
    bool chosen = false; // pulses: 1PPS is on and uses that line
    bool operator==(const DoctorVerdict&) const = default;
};

struct DoctorReading {
    double bytes_per_s = 0;
    double sentences_per_s = 0;
    double bad_checksums_per_s = 0;
    int lines_error = 0;
    ModemLinesNow lines;
    bool pulsing[kModemLineCount] = {};
    int width_ms[kModemLineCount] = {};  // the shorter of a line's last spells on and off, 0 unknown
    std::vector<DoctorVerdict> verdicts;  // the data first, then the lines
};

// The speeds a receiver usually talks at, in the order they are tried.
inline constexpr int kUsualSpeeds[] = {4800, 9600, 19200, 38400, 57600, 115200};

// Keeps the samples of the last few seconds of one reader start.
class PortDoctor {
public:
    static constexpr int64_t kWindowNs = 3000000000LL;   // the rates are over this
    static constexpr int64_t kJudgeAfterNs = 2000000000LL;  // "nothing" needs this much seen

    void add(const DoctorSample& sample);
    DoctorReading reading() const;

private:
    std::deque<DoctorSample> samples_;
};

enum class SearchState { idle, trying, found, not_found, port_failed };

// Tries the usual speeds one after another through receiver_restart: a speed
// at which two well-formed sentences arrive within kListenNs of the port's
// opening is the receiver's. Never waits: the window calls step() from a
// timer. Without a find the reader goes back to the speed in force.
class SpeedSearch {
public:
    static constexpr int64_t kSettleNs = 300000000;     // bytes of the speed before drain meanwhile
    static constexpr int64_t kListenNs = 3000000000LL;  // a receiver talks at least once a second
    static constexpr int64_t kOpenWithinNs = 5000000000LL;

    void start(int port, int baud_in_force, int64_t now_ns);
    SearchState step(int64_t now_ns);
    SearchState state() const { return state_; }
    int trying() const;  // the speed being tried
    int found() const { return found_; }

private:
    void try_next(int64_t now_ns);
    void finish(SearchState state);

    SearchState state_ = SearchState::idle;
    int port_ = 0;
    int in_force_ = 0;
    int index_ = -1;
    int found_ = 0;
    int64_t restarted_ns_ = 0;
    int64_t listening_ns_ = 0;  // 0 until the port opened at the speed and settled
    uint64_t sentences_at_listen_ = 0;
};
