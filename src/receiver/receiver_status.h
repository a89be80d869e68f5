// What stands between the receiver and a set clock, cause by cause, for the
// status line of the GPS info page and the tray tooltip. Each cause clears
// itself when the facts no longer show it.
#pragma once

#include "src/correction/chrony_feed.h"
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
    no_pps_lines,   // 1PPS chosen on a port without modem lines
    no_pulse,       // 1PPS chosen, no pulse on its line
    service_down,   // the time service is not running: the clock will not be set
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
};

struct ReceiverIssue {
    ReceiverCause cause;
    LinkStatus link;     // the port, device, error, group, holder
    int seconds = 0;     // no_bytes, no_pulse: for how long
    bool use_cts = true; // no_pulse, no_pps_lines: the line chosen
    bool no_fix_reported = false;  // no_fix: the receiver says so (else no GGA/RMC with a fix)
    std::string socket;  // chrony_not_taking: chrony's socket for the samples
    PrestepList prestep{};         // the pre-step causes: the checks' figures
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
    int service = 1;               // time_service_present
    unsigned time_daemons = 0;     // time_daemons_running: kTimesyncdRuns, kChronydRuns, kNtpdRuns
    ChronyFeedState chrony = ChronyFeedState::off;
    std::string chrony_socket;     // where the service sends the samples
    KernelPpsState kernel_pps;     // what chronyc said of a kernel 1PPS line
    bool correction_requested = false;  // correct_time_request
    PrestepList prestep;           // what the next correction would meet
};

inline constexpr int64_t kNoBytesAfterNs = 3000000000LL;
inline constexpr int64_t kNoSentenceAfterNs = 3000000000LL;
inline constexpr int64_t kNoPulseAfterNs = 2500000000LL;

// The causes the facts show, most basic first (at most one about the port
// and the data, one about 1PPS, one about the pre-step check, one about the
// service, then the machine's time daemons and chrony).
std::vector<ReceiverIssue> receiver_issues(const ReceiverFacts& facts);

// The facts now. Never waits: the service's presence is the last probe's.
ReceiverFacts receiver_facts_now();
