// The receiver's output delay: compensation arithmetic, the learning filter,
// and the analysis thread's learning from 1PPS.
#include "src/correction/nmea_delay.h"

#include "platform/time_units.h"
#include "src/correction/analiz.h"
#include "src/correction/gps_clock.h"
#include "src/gps/com_reader.h"
#include "src/gps/gpsd_link.h"
#include "src/gps/serial.h"
#include "src/settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

std::atomic<int> nmea_compensate{0};
std::atomic<int> nmea_delay_ms{0};
std::atomic<int> nmea_delay_spread_ms{-1};
std::atomic<int> nmea_delay_measure_request{0};
std::atomic<int> nmea_delay_measure_state{0};

namespace {

constexpr int64_t kStaleBurstNs = 10 * kNsPerSecond;
constexpr int64_t kMeasureNs = NmeaDelayLearner::window_ns;
constexpr size_t kReceiverTextMax = 80;
constexpr int kStoreChangeMs = 2;  // a learned delay this far from the stored one is stored anew
constexpr int kPpsSlot = 0;

int64_t round_div(int64_t value, int64_t unit)
{
    return value >= 0 ? (value + unit / 2) / unit : -((-value + unit / 2) / unit);
}

int ms_of(int64_t ns) { return int(round_div(ns, kNsPerMs)); }

// The analysis thread's learning state.
struct Learning {
    NmeaDelayLearner learner;
    unsigned generation = 0;       // of the reader run the samples belong to
    int port = 0, baud = 0;
    std::string identification;    // the receiver's banner or first proprietary sentence
    bool identified = false;
    int64_t measure_start_ns = 0;  // first burst of a "Measure now", 0 when none runs
    int64_t last_store_ns = 0;
    std::string stored_receiver;
};

Learning& learning()
{
    static Learning* state = new Learning;  // analysis thread only; lives with the process
    return *state;
}

// A new reader run may be another receiver: its samples start afresh.
void follow_receiver(Learning& l)
{
    int port = 0, baud = 0;
    unsigned generation = com_reader_link(&port, &baud);
    if (generation == l.generation)
        return;
    l.generation = generation;
    l.port = port;
    l.baud = baud;
    l.learner.restart();
    l.identification.clear();
    l.identified = false;
}

bool identifies_receiver(std::string_view line)
{
    if (line.size() < 6 || line[0] != '$')
        return false;
    return line[1] == 'P' || line.substr(3, 3) == "TXT";
}

void store(Learning& l, const NmeaDelayEstimate& estimate, int64_t now_ns)
{
    std::string receiver = nmea_delay_receiver_text();
    nmea_delay_ms.store(estimate.median_ms);
    nmea_delay_spread_ms.store(estimate.spread_ms);
    settings_post_int(settings_keys::nmea_delay_ms, estimate.median_ms);
    settings_post_int(settings_keys::nmea_delay_spread_ms, estimate.spread_ms);
    settings_post_string(settings_keys::nmea_delay_receiver, receiver);
    l.last_store_ns = now_ns;
    l.stored_receiver = receiver;
    std::printf("nmea delay %d ms +-%d ms from %d pulses (%s)\n", estimate.median_ms, estimate.spread_ms,
                estimate.samples, receiver.c_str());
    std::fflush(stdout);
}

void finish_measurement(Learning& l, int64_t burst_ns)
{
    NmeaDelayEstimate estimate;
    bool ready = l.learner.estimate(&estimate);
    if (ready)
        store(l, estimate, burst_ns);
    l.measure_start_ns = 0;
    nmea_delay_measure_state.store(ready ? 2 : -1);
    nmea_delay_measure_request.store(0);
}

// While 1PPS is in use the stored delay follows the receiver, written again
// when it moves or the receiver is another.
void follow_delay(Learning& l, int64_t burst_ns)
{
    NmeaDelayEstimate estimate;
    if (!l.learner.estimate(&estimate) || burst_ns - l.last_store_ns < NmeaDelayLearner::window_ns)
        return;
    bool moved = std::abs(estimate.median_ms - nmea_delay_ms.load()) >= kStoreChangeMs;
    if (moved || nmea_delay_spread_ms.load() < 0 || l.stored_receiver != nmea_delay_receiver_text())
        store(l, estimate, burst_ns);
}

}  // namespace

int64_t nmea_compensated_file_time(int64_t new_ft, int delay_ms, int64_t since_burst_ns)
{
    if (since_burst_ns < 0 || since_burst_ns > kStaleBurstNs)
        return new_ft;
    return new_ft + (int64_t(delay_ms) + round_div(since_burst_ns, kNsPerMs)) * kFileTimeTicksPerMs;
}

bool NmeaDelayLearner::note_burst(int64_t burst_ns, unsigned long edge_count, int64_t edge_ns)
{
    while (!samples_.empty() && burst_ns - samples_.front().burst_ns >= window_ns)
        samples_.pop_front();
    bool fresh = edge_count != last_edge_count_;
    last_edge_count_ = edge_count;
    int64_t delay = burst_ns - edge_ns;
    if (!fresh || edge_count == 0 || delay < 0 || delay >= kNsPerSecond)
        return false;
    samples_.push_back({burst_ns, delay});
    return true;
}

void NmeaDelayLearner::restart()
{
    samples_.clear();
}

bool NmeaDelayLearner::estimate(NmeaDelayEstimate* estimate) const
{
    if (int(samples_.size()) < min_samples)
        return false;
    std::vector<int64_t> delays;
    for (const Sample& sample : samples_)
        delays.push_back(sample.delay_ns);
    std::sort(delays.begin(), delays.end());
    size_t n = delays.size();
    int64_t median = n % 2 ? delays[n / 2] : (delays[n / 2 - 1] + delays[n / 2]) / 2;
    std::vector<int64_t> deviations;
    for (int64_t delay : delays)
        deviations.push_back(delay > median ? delay - median : median - delay);
    std::nth_element(deviations.begin(), deviations.begin() + long(n / 2), deviations.end());
    estimate->median_ms = ms_of(median);
    estimate->spread_ms = ms_of(deviations[n / 2]);
    estimate->samples = int(n);
    return true;
}

void nmea_delay_load_settings()
{
    namespace key = settings_keys;
    bool compensate = setting_default_bool(key::nmea_compensate);
    int delay = setting_default_int(key::nmea_delay_ms), spread = setting_default_int(key::nmea_delay_spread_ms);
    settings_load(key::nmea_compensate, compensate);
    settings_load(key::nmea_delay_ms, delay);
    settings_load(key::nmea_delay_spread_ms, spread);
    nmea_compensate.store(compensate ? 1 : 0);
    nmea_delay_ms.store(std::clamp(delay, 0, kNmeaDelayMaxMs));
    nmea_delay_spread_ms.store(spread);
}

void nmea_delay_note_burst(int64_t burst_ns)
{
    Learning& l = learning();
    follow_receiver(l);
    if (nmea_delay_measure_request.load() && l.measure_start_ns == 0) {
        l.learner.restart();
        l.measure_start_ns = burst_ns;
        nmea_delay_measure_state.store(1);
    }
    bool measuring = l.measure_start_ns != 0;
    if (!measuring && !use_pps.load())
        return;
    unsigned long count = 0;
    int64_t edge_ns = 0;
    if (com_pps_last_edge(kPpsSlot, pps_use_cts.load(), &count, &edge_ns) == 1)
        l.learner.note_burst(burst_ns, count, edge_ns);
    if (!measuring)
        follow_delay(l, burst_ns);
    else if (burst_ns - l.measure_start_ns >= kMeasureNs)
        finish_measurement(l, burst_ns);
}

void nmea_delay_note_line(std::string_view line)
{
    Learning& l = learning();
    if (l.identified || !identifies_receiver(line))
        return;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    l.identification.assign(line.substr(0, kReceiverTextMax));
    l.identified = true;
}

void nmea_delay_note_silence()
{
    Learning& l = learning();
    if (l.measure_start_ns == 0 && !nmea_delay_measure_request.load())
        return;
    l.measure_start_ns = 0;
    l.learner.restart();
    nmea_delay_measure_state.store(-1);
    nmea_delay_measure_request.store(0);
}

std::string nmea_delay_receiver_text()
{
    const Learning& l = learning();
    char port[48];
    std::snprintf(port, sizeof port, "COM%d %d", l.port, l.baud);
    std::string gpsd = gpsd_link_chosen();
    std::string head = gpsd.empty() ? port : "gpsd " + gpsd;  // gpsd's own delay is part of what was learned
    return l.identification.empty() ? head : head + " " + l.identification;
}
