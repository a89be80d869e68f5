// The port doctor's readings and verdicts, and the speed search.
#include "src/receiver/port_doctor.h"

#include "platform/clock.h"
#include "src/correction/analiz.h"
#include "src/gps/com_reader.h"
#include "src/receiver/receiver_threads.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <iterator>

namespace {

constexpr int64_t kPulseFreshNs = 2500000000LL;  // a pulse comes once a second
constexpr double kMostEdgesPerSecond = 4;         // a pulse a second is two edges a second

bool same_reader(const LinkStatus& a, const LinkStatus& b)
{
    return a.port == b.port && a.baud == b.baud && a.opened_ns == b.opened_ns && a.state == b.state;
}

// The first usual speed other than the one in force.
int speed_to_try(int baud)
{
    for (int speed : kUsualSpeeds)
        if (speed != baud)
            return speed;
    return kUsualSpeeds[0];
}

void judge_data(DoctorReading& out, const DoctorSample& first, const DoctorSample& last)
{
    int64_t span = last.mono_ns - first.mono_ns;
    int baud = last.link.baud;
    if (last.link.state != LinkState::open)
        out.verdicts.push_back({DoctorVerdictKind::port_closed});
    else if (last.sentences > first.sentences)
        out.verdicts.push_back({last.bad_checksums > first.bad_checksums ? DoctorVerdictKind::bad_checksums
                                                                         : DoctorVerdictKind::speed_right,
                                baud});
    else if (span < PortDoctor::kJudgeAfterNs)
        out.verdicts.push_back({DoctorVerdictKind::measuring});
    else if (last.bytes > first.bytes)
        out.verdicts.push_back({DoctorVerdictKind::wrong_speed, speed_to_try(baud)});
    else
        out.verdicts.push_back({DoctorVerdictKind::nothing_received});
}

// The shorter of the last whole spells on and off, to 10 ms: a pulse is the short one.
int pulse_width_ms(const ModemLineState& line)
{
    int64_t shorter = line.on_ns && line.off_ns ? std::min(line.on_ns, line.off_ns) : 0;
    return int(std::lround(double(shorter) / 1e7)) * 10;
}

void read_lines(DoctorReading& out, const DoctorSample& first, const DoctorSample& last)
{
    double span_s = double(last.mono_ns - first.mono_ns) / kNsPerSecond;
    for (int i = 0; i < kModemLineCount; ++i) {
        const ModemLineState& line = last.lines.line[i];
        unsigned long edges = line.edges - first.lines.line[i].edges;
        bool fresh = line.last_edge_ns != 0 && last.mono_ns - line.last_edge_ns < kPulseFreshNs;
        out.pulsing[i] = edges >= 2 && fresh && (span_s <= 0 || edges / span_s <= kMostEdgesPerSecond + 1);
        out.width_ms[i] = pulse_width_ms(line);
    }
}

// The line 1PPS uses: its pulse runs from the leading edge (the line leaving
// its resting state) to the trailing one, to the ms.
int leading_width_ms(const ModemLineState& line, bool inverted)
{
    return int(std::lround(double(inverted ? line.off_ns : line.on_ns) / 1e6));
}

void judge_lines(DoctorReading& out, const DoctorSample& first, const DoctorSample& last)
{
    if (last.lines_error == ENODEV || last.link.state != LinkState::open)
        return;
    if (last.lines_error != 0) {
        out.verdicts.push_back({DoctorVerdictKind::no_modem_lines});
        return;
    }
    int chosen = last.use_cts ? modem_cts : modem_dsr;
    int other = last.use_cts ? modem_dsr : modem_cts;
    for (int line : {chosen, other}) {
        if (out.pulsing[line]) {
            bool in_use = last.use_pps && line == chosen;
            int width = in_use ? leading_width_ms(last.lines.line[line], last.pps_inverted) : out.width_ms[line];
            out.verdicts.push_back({DoctorVerdictKind::pulses, 0, line, width, in_use});
            return;
        }
    }
    for (int line : {int(modem_dcd), int(modem_ri)}) {
        if (out.pulsing[line]) {
            out.verdicts.push_back({DoctorVerdictKind::pulses_unusable, 0, line});
            return;
        }
    }
    if (last.mono_ns - first.mono_ns >= PortDoctor::kJudgeAfterNs)
        out.verdicts.push_back({DoctorVerdictKind::no_pulses});
}

}  // namespace

DoctorSample port_doctor_sample_now()
{
    DoctorSample sample;
    sample.mono_ns = platform_monotonic_ns();
    sample.link = link_status_now();
    sample.bytes = buf_com_bytes_received();
    sample.sentences = link_sentence_count();
    sample.bad_checksums = link_bad_checksum_count();
    com_modem_lines(0, &sample.lines, &sample.lines_error);
    sample.use_pps = use_pps.load() != 0;
    sample.use_cts = pps_use_cts.load() != 0;
    sample.pps_inverted = pps_inverted.load() != 0;
    return sample;
}

void PortDoctor::add(const DoctorSample& sample)
{
    if (!samples_.empty() && !same_reader(samples_.back().link, sample.link))
        samples_.clear();
    samples_.push_back(sample);
    while (samples_.size() > 1 && samples_[1].mono_ns <= sample.mono_ns - kWindowNs)
        samples_.pop_front();
}

DoctorReading PortDoctor::reading() const
{
    DoctorReading out;
    if (samples_.empty()) {
        out.verdicts.push_back({DoctorVerdictKind::measuring});
        return out;
    }
    const DoctorSample& first = samples_.front();
    const DoctorSample& last = samples_.back();
    out.lines_error = last.lines_error;
    out.lines = last.lines;
    double span_s = double(last.mono_ns - first.mono_ns) / kNsPerSecond;
    if (span_s > 0) {
        out.bytes_per_s = double(last.bytes - first.bytes) / span_s;
        out.sentences_per_s = double(last.sentences - first.sentences) / span_s;
        out.bad_checksums_per_s = double(last.bad_checksums - first.bad_checksums) / span_s;
    }
    read_lines(out, first, last);
    judge_data(out, first, last);
    judge_lines(out, first, last);
    return out;
}

// ---- the speed search ----

void SpeedSearch::start(int port, int baud_in_force, int64_t now_ns)
{
    port_ = port;
    in_force_ = baud_in_force;
    index_ = -1;
    found_ = 0;
    state_ = SearchState::trying;
    try_next(now_ns);
}

int SpeedSearch::trying() const { return index_ >= 0 && index_ < int(std::size(kUsualSpeeds)) ? kUsualSpeeds[index_] : 0; }

void SpeedSearch::try_next(int64_t now_ns)
{
    if (++index_ >= int(std::size(kUsualSpeeds))) {
        finish(SearchState::not_found);
        return;
    }
    restarted_ns_ = now_ns;
    listening_ns_ = 0;
    receiver_restart(port_, kUsualSpeeds[index_]);
}

void SpeedSearch::finish(SearchState state)
{
    state_ = state;
    if (state != SearchState::found)
        receiver_restart(port_, in_force_);
}

SearchState SpeedSearch::step(int64_t now_ns)
{
    if (state_ != SearchState::trying)
        return state_;
    LinkStatus link = link_status_now();
    bool ours = link.port == port_ && link.baud == trying() && link.since_ns >= restarted_ns_;
    if (ours && link.state == LinkState::open_failed) {
        finish(SearchState::port_failed);
    } else if (ours && link.state == LinkState::open) {
        // Bytes of the speed before may still be in the analysis thread's hands: let them pass first.
        if (listening_ns_ == 0 && now_ns - link.opened_ns >= kSettleNs) {
            listening_ns_ = now_ns;
            sentences_at_listen_ = link_sentence_count();
        } else if (listening_ns_ != 0 && link_sentence_count() - sentences_at_listen_ >= 2) {
            found_ = trying();
            finish(SearchState::found);
        } else if (listening_ns_ != 0 && now_ns - listening_ns_ > kListenNs) {
            try_next(now_ns);
        }
    } else if (now_ns - restarted_ns_ > kOpenWithinNs) {
        finish(SearchState::port_failed);
    }
    return state_;
}
