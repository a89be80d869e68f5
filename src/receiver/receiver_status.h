// What stands between the receiver and a set clock, cause by cause, for the
// status line of the GPS info page and the tray tooltip. Each cause clears
// itself when the facts no longer show it.
#pragma once

#include "platform/time_units.h"
#include "src/correction/chrony_feed.h"
#include "src/correction/clock_offset.h"
#include "src/correction/prestep_check.h"
#include "src/gps/link_status.h"
#include "src/receiver/chrony_sources.h"

#include <cstdint>
#include <string>
#include <vector>

enum class ReceiverCause {
    port_denied,    // the port cannot be opened: permission
    port_busy,      // the port cannot be opened: another process holds it
    port_missing,   // the port's device is not there (never was since start)
    port_failed,    // the port cannot be opened for another reason
    receiver_gone,  // the port was read and is gone or failed: tried again every 2 s
    no_bytes,       // the port is open and nothing arrives
    no_sentence,    // bytes arrive but no sentence: the speed is wrong
    no_fix,         // sentences arrive, the receiver has no fix yet
    gpsd_down,      // the gpsd read through does not answer (not running): tried again every 2 s
    gpsd_no_device, // that gpsd answers but has no receiver
    through_gpsd,   // the receiver is read through gpsd, without its pulse: what that costs
    no_pps_lines,   // 1PPS chosen on a port without modem lines
    no_pulse,       // 1PPS chosen, no pulse on its line
    pulse_too_wide, // 1PPS chosen, its pulse is wider than kWidestPulseNs: the wrong edge leads
    pulse_wrong_rate,  // 1PPS chosen, its leading edges do not come once a second
    service_down,   // the time service is not running: the clock will not be set
    not_permitted,  // this account may not set the clock: not in the channel's group
    timesyncd_runs,     // systemd-timesyncd runs: it may undo corrections
    ntpd_runs,          // ntpd runs: it may undo corrections
    chronyd_runs,       // chronyd runs while Satclock sets the clock itself
    chrony_takes_time,  // chrony takes Satclock's GPS time
    chrony_not_taking,  // the service cannot hand the samples to chrony
    chrony_old_service, // the service does not know chrony's samples: the clock is set as designed
    chrony_kernel_pps,  // chrony has a kernel 1PPS line: whether it uses it
    date_refused,   // the receiver's date is before the build day: no correction from it
    few_satellites, // a correction waits for more satellites in use
    step_asked,     // a step over the cap waits for the user's answer
    step_declined,  // the user said no to that step
    never_corrected, // never corrected, and off by more than a sentence can tell
};

struct ReceiverIssue {
    ReceiverCause cause;
    LinkStatus link;     // the port, device, error, group, holder
    int seconds = 0;     // no_bytes, no_pulse: for how long
    bool use_cts = true; // no_pulse, no_pps_lines: the line chosen
    bool no_fix_reported = false;  // no_fix: the receiver says so (else no GGA/RMC with a fix)
    std::string socket;  // chrony_not_taking: chrony's socket for the samples
    PrestepList prestep{};         // the pre-step causes: the checks' figures
    int pulse_ms = 0;    // pulse_too_wide: the width; pulse_wrong_rate: the time between leading edges
    int64_t offset_ns = 0;         // never_corrected: GPS time minus the PC clock
    KernelPpsState kernel_pps{};   // chrony_kernel_pps: chrony's line and its state
};

// Everything the causes are read from, taken at one moment.
struct ReceiverFacts {
    LinkStatus link;
    int64_t now_ns = 0;            // monotonic
    int64_t last_byte_ns = 0;      // monotonic, 0 none
    int64_t last_sentence_ns = 0;  // monotonic, 0 none
    int fix_quality = 0;
    bool gnss_hint = false;        // the GNSS hint speaks for the receiver already
    bool use_pps = false;
    bool use_cts = true;
    int pps_lines = 0;             // com_pps_last_edge: 1 edges seen, 0 none yet, -1 no modem lines
    int64_t last_edge_ns = 0;      // monotonic, at the last edge
    int64_t pulse_width_ns = 0;    // com_pps_pulse: the last whole pulse, 0 unknown
    int64_t pulse_period_ns = 0;   // com_pps_pulse: between the last two leading edges, 0 unknown
    int service = 1;               // time_service_present
    bool refused_account = false;  // the service answered "not permitted" to the latest correction or sample
    unsigned time_daemons = 0;     // time_daemons_running: kTimesyncdRuns, kChronydRuns, kNtpdRuns
    ChronyFeedState chrony = ChronyFeedState::off;
    std::string chrony_socket;     // where the service sends the samples
    KernelPpsState kernel_pps;     // what chronyc said of a kernel 1PPS line
    bool correction_requested = false;  // correct_time_request
    PrestepList prestep;           // what the next correction would meet
    bool never_corrected = false;  // correct_time_jd_prev is -1
    ClockOffset offset;            // the PC clock against GPS time, as last measured
};

inline constexpr int64_t kNoBytesAfterNs = 3000000000LL;
inline constexpr int64_t kNoSentenceAfterNs = 3000000000LL;
inline constexpr int64_t kNoPulseAfterNs = 2500 * kNsPerMs;
// A pulse a second wider than this leaves no room for the line to rest: the
// line rests the other way round (or the receiver sends no pulse).
inline constexpr int64_t kWidestPulseNs = 990 * kNsPerMs;
// Leading edges closer or further apart than this are not once a second.
inline constexpr int64_t kPulsePeriodSlackNs = 100 * kNsPerMs;

// The causes the facts show, most basic first (at most one about the port
// and the data, one about 1PPS, one about the pre-step check, one about the
// service, then the machine's time daemons and chrony).
std::vector<ReceiverIssue> receiver_issues(const ReceiverFacts& facts);

// The facts now. Never waits: the service's presence is the last probe's.
ReceiverFacts receiver_facts_now();
