// The causes of the status line, read from the link, the decoder, the 1PPS
// watcher and the service probe.
#include "src/receiver/receiver_status.h"

#include "common/chrony_socket.h"
#include "platform/clock.h"
#include "common/smem_sender.h"
#include "platform/time_units.h"
#include "src/correction/analiz.h"
#include "src/correction/correction_result.h"
#include "src/gps/com_reader.h"
#include "src/gps/gnss_hint.h"
#include "src/gps/gps_fix.h"
#include "src/gps/serial.h"
#include "src/receiver/receiver_threads.h"
#include "src/receiver/time_daemons.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

int whole_seconds(int64_t ns) { return int(ns / kNsPerSecond); }

ReceiverIssue issue(ReceiverCause cause, const ReceiverFacts& facts)
{
    ReceiverIssue out{cause, facts.link, 0, true, false, {}, {}, 0};
    out.use_cts = facts.use_cts;
    return out;
}

ReceiverCause open_failure(const LinkStatus& link)
{
    switch (link.error) {
    case EACCES:
    case EPERM:
        return ReceiverCause::port_denied;
    case EBUSY:
        return ReceiverCause::port_busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return link.opened_ns ? ReceiverCause::receiver_gone : ReceiverCause::port_missing;
    default:
        return ReceiverCause::port_failed;
    }
}

// The port and its data; false when nothing flows that the next causes could judge.
bool data_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    const LinkStatus& link = facts.link;
    if (!link.gpsd.empty() && link.state == LinkState::open_failed) {
        out.push_back(issue(link.error == ENODEV ? ReceiverCause::gpsd_no_device : ReceiverCause::gpsd_down, facts));
        return false;
    }
    if (link.state == LinkState::open_failed) {
        out.push_back(issue(open_failure(link), facts));
        return false;
    }
    if (link.state == LinkState::lost) {
        out.push_back(issue(ReceiverCause::receiver_gone, facts));
        return false;
    }
    if (link.state != LinkState::open)
        return false;
    int64_t open_for = facts.now_ns - link.opened_ns;
    int64_t quiet_for = facts.now_ns - std::max(facts.last_byte_ns, link.opened_ns);
    if (quiet_for > kNoBytesAfterNs) {
        ReceiverIssue silent = issue(ReceiverCause::no_bytes, facts);
        silent.seconds = whole_seconds(quiet_for);
        out.push_back(silent);
        return false;
    }
    bool sentence_lately = facts.last_sentence_ns > std::max(link.opened_ns, facts.now_ns - kNoSentenceAfterNs);
    if (!sentence_lately) {
        if (open_for > kNoSentenceAfterNs)
            out.push_back(issue(ReceiverCause::no_sentence, facts));
        return false;
    }
    if (facts.fix_quality <= 0 && !facts.gnss_hint) {
        ReceiverIssue no_fix = issue(ReceiverCause::no_fix, facts);
        no_fix.no_fix_reported = facts.fix_quality < 0;
        out.push_back(no_fix);
    }
    return true;
}

bool pulse_lately(const ReceiverFacts& facts)
{
    return facts.pps_lines > 0 && facts.now_ns - facts.last_edge_ns <= kNoPulseAfterNs;
}

// Through gpsd the sentences come later than from the port, by gpsd's own
// delay; with gpsd's pulse reports in use, that no longer counts.
void gpsd_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    if (!facts.link.gpsd.empty() && !(facts.use_pps && pulse_lately(facts)))
        out.push_back(issue(ReceiverCause::through_gpsd, facts));
}

void pulse_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    if (!facts.use_pps)
        return;
    if (facts.pps_lines < 0) {
        out.push_back(issue(ReceiverCause::no_pps_lines, facts));
        return;
    }
    int64_t since = facts.now_ns - std::max(facts.pps_lines > 0 ? facts.last_edge_ns : 0, facts.link.opened_ns);
    if (since > kNoPulseAfterNs) {
        ReceiverIssue none = issue(ReceiverCause::no_pulse, facts);
        none.seconds = whole_seconds(since);
        out.push_back(none);
        return;
    }
    ReceiverIssue odd = issue(ReceiverCause::pulse_too_wide, facts);
    int64_t period_off = facts.pulse_period_ns - kNsPerSecond;
    if (facts.pulse_width_ns > kWidestPulseNs) {
        odd.pulse_ms = int(facts.pulse_width_ns / kNsPerMs);
    } else if (facts.pulse_period_ns != 0 && std::abs(period_off) > kPulsePeriodSlackNs) {
        odd.cause = ReceiverCause::pulse_wrong_rate;
        odd.pulse_ms = int(facts.pulse_period_ns / kNsPerMs);
    } else {
        return;
    }
    out.push_back(odd);
}

// chrony steering the clock from Satclock's samples is the remedy for every
// daemon but timesyncd and ntpd, which would fight chrony as well.
void time_daemon_issues(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    if (facts.time_daemons & kTimesyncdRuns)
        out.push_back(issue(ReceiverCause::timesyncd_runs, facts));
    if (facts.time_daemons & kNtpdRuns)
        out.push_back(issue(ReceiverCause::ntpd_runs, facts));
    bool satclock_sets = facts.chrony == ChronyFeedState::off || facts.chrony == ChronyFeedState::old_service;
    if ((facts.time_daemons & kChronydRuns) && satclock_sets)
        out.push_back(issue(ReceiverCause::chronyd_runs, facts));
}

void chrony_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    switch (facts.chrony) {
    case ChronyFeedState::delivering:
        out.push_back(issue(ReceiverCause::chrony_takes_time, facts));
        break;
    case ChronyFeedState::not_delivered: {
        ReceiverIssue refused = issue(ReceiverCause::chrony_not_taking, facts);
        refused.socket = facts.chrony_socket;
        out.push_back(refused);
        break;
    }
    case ChronyFeedState::old_service:
        out.push_back(issue(ReceiverCause::chrony_old_service, facts));
        return;
    default:
        break;
    }
    if (facts.chrony != ChronyFeedState::off && facts.kernel_pps.use != KernelPpsUse::unknown) {
        ReceiverIssue pps = issue(ReceiverCause::chrony_kernel_pps, facts);
        pps.kernel_pps = facts.kernel_pps;
        out.push_back(pps);
    }
}

// Why a correction is or would be held back. A refused date is said while it
// is reported; too few satellites only while a correction waits for them.
void prestep_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    const PrestepList& list = facts.prestep;
    ReceiverCause cause;
    if (list.date == CheckState::failed)
        cause = ReceiverCause::date_refused;
    else if (list.step_verdict == StepVerdict::declined)
        cause = ReceiverCause::step_declined;
    else if (list.step == CheckState::waiting && facts.correction_requested)
        cause = ReceiverCause::step_asked;
    else if (list.fix == CheckState::failed && list.fix_quality > 0 && facts.correction_requested)
        cause = ReceiverCause::few_satellites;
    else
        return;
    ReceiverIssue held = issue(cause, facts);
    held.prestep = list;
    out.push_back(held);
}

// Before its first correction the clock waits a whole period from the first
// start (a week by default): said while the clock is off by more than a
// sentence-only measurement can tell, unless chrony steers the clock or a
// correction is already asked for.
void never_corrected_issue(const ReceiverFacts& facts, std::vector<ReceiverIssue>& out)
{
    const ClockOffset& offset = facts.offset;
    int64_t magnitude = offset.offset_ns < 0 ? -offset.offset_ns : offset.offset_ns;
    if (!facts.never_corrected || facts.correction_requested || !offset.valid ||
        facts.chrony == ChronyFeedState::delivering || magnitude <= kNmeaOffsetUncertaintyMs * kNsPerMs)
        return;
    ReceiverIssue off = issue(ReceiverCause::never_corrected, facts);
    off.offset_ns = offset.offset_ns;
    out.push_back(off);
}

}  // namespace

std::vector<ReceiverIssue> receiver_issues(const ReceiverFacts& facts)
{
    std::vector<ReceiverIssue> out;
    if (data_issue(facts, out)) {
        pulse_issue(facts, out);
        gpsd_issue(facts, out);
        prestep_issue(facts, out);
        never_corrected_issue(facts, out);
    }
    if (facts.service == 0)
        out.push_back(issue(ReceiverCause::service_down, facts));
    else if (facts.service == kPeerNotPermitted || facts.refused_account)
        out.push_back(issue(ReceiverCause::not_permitted, facts));
    time_daemon_issues(facts, out);
    chrony_issue(facts, out);
    return out;
}

ReceiverFacts receiver_facts_now()
{
    ReceiverFacts facts;
    facts.link = link_status_now();
    facts.now_ns = platform_monotonic_ns();
    facts.last_byte_ns = buf_com_last_arrival_ns();
    facts.last_sentence_ns = link_last_sentence_ns();
    facts.fix_quality = gps_fix_copy().fix_quality;
    facts.gnss_hint = gnss_hint_now().why != GnssRefusal::none;
    facts.use_pps = use_pps.load() != 0;
    facts.use_cts = pps_use_cts.load() != 0;
    if (facts.use_pps && facts.link.state == LinkState::open) {
        unsigned long count = 0;
        facts.pps_lines = com_pps_last_edge(0, facts.use_cts, &count, &facts.last_edge_ns);
        PpsPulse pulse;
        if (com_pps_pulse(0, facts.use_cts, &pulse) == 1) {
            facts.pulse_width_ns = pulse.width_ns;
            facts.pulse_period_ns = pulse.period_ns;
        }
    }
    facts.service = time_service_presence.load();
    facts.chrony = chrony_feed_state();
    CorrectionResult result = correction_result_now();
    bool correction_refused = result.sequence != 0 && !result.made && result.hold == CorrectionHold::none &&
                              result.refusal == PostOutcome::not_permitted;
    facts.refused_account = correction_refused || facts.chrony == ChronyFeedState::not_permitted;
    facts.time_daemons = time_daemons_present.load();
    if (facts.chrony == ChronyFeedState::not_delivered)
        facts.chrony_socket = chrony_sample_socket_path();
    facts.kernel_pps = kernel_pps_last();
    facts.correction_requested = correct_time_request.load() != 0;
    facts.prestep = prestep_list_now();
    facts.never_corrected = correct_time_jd_prev.load() < 0;
    facts.offset = clock_offset_now();
    return facts;
}
