// The PC clock's offset from GPS time.
#include "src/correction/clock_offset.h"

#include "platform/clock.h"
#include "platform/time_units.h"
#include "src/correction/analiz.h"
#include "src/correction/nmea_delay.h"
#include "src/gps/serial.h"

#include <algorithm>
#include <mutex>

namespace {

constexpr int64_t kStaleNs = 3 * kNsPerSecond;
constexpr int kPpsSlot = 0;

std::mutex offset_lock;
ClockOffset latest;          // under offset_lock
int64_t latest_mono_ns = 0;  // when latest was measured
PpsOffsetFilter pps_filter;  // analysis thread only
unsigned long last_edge_count = 0;

// The PC clock at a moment stamped on the monotonic clock.
int64_t pc_clock_at(int64_t mono_ns)
{
    int64_t pc_now = platform_clock_read_ns();
    return pc_now - (platform_monotonic_ns() - mono_ns);
}

// The edge that began the sentence's second: fresh, and less than a second
// before the burst. 0 when there is none.
int64_t pulse_before(int64_t burst_mono_ns)
{
    unsigned long count = 0;
    int64_t edge_mono_ns = 0;
    if (com_pps_last_edge(kPpsSlot, pps_use_cts.load(), &count, &edge_mono_ns) != 1 || count == last_edge_count)
        return 0;
    last_edge_count = count;
    int64_t lead = burst_mono_ns - edge_mono_ns;
    return (lead > 0 && lead < kNsPerSecond) ? edge_mono_ns : 0;
}

ClockSamples read_samples(int64_t gps_ns, int64_t burst_mono_ns)
{
    ClockSamples samples;
    samples.valid = true;
    int spread = nmea_delay_spread_ms.load();
    samples.delay_learned = spread >= 0 && nmea_delay_ms.load() > 0;
    int64_t delay_ns = samples.delay_learned ? int64_t(nmea_delay_ms.load()) * kNsPerMs : 0;
    samples.burst_pc_ns = pc_clock_at(burst_mono_ns);
    samples.burst_gps_ns = gps_ns + delay_ns;
    int64_t edge_mono_ns = use_pps.load() ? pulse_before(burst_mono_ns) : 0;
    if (edge_mono_ns != 0) {
        samples.pulse = true;
        samples.edge_pc_ns = pc_clock_at(edge_mono_ns);
        samples.edge_gps_ns = gps_ns - gps_ns % kNsPerSecond;
    }
    return samples;
}

ClockOffset measure(const ClockSamples& samples)
{
    ClockOffset offset;
    offset.valid = true;
    if (samples.pulse) {
        offset.offset_ns = pps_filter.add(samples.edge_gps_ns - samples.edge_pc_ns);
        offset.uncertainty_ms = kPpsOffsetUncertaintyMs;
        offset.source = OffsetSource::pps;
        return offset;
    }
    pps_filter.restart();
    offset.offset_ns = samples.burst_gps_ns - samples.burst_pc_ns;
    offset.uncertainty_ms =
        samples.delay_learned ? std::max(2, nmea_delay_spread_ms.load() + 1) : kNmeaOffsetUncertaintyMs;
    offset.source = samples.delay_learned ? OffsetSource::nmea_delay : OffsetSource::nmea;
    return offset;
}

}  // namespace

int64_t PpsOffsetFilter::add(int64_t offset_ns)
{
    int64_t best = count_ ? *std::max_element(samples_, samples_ + count_) : offset_ns;
    if (best - offset_ns > kStepNs || offset_ns - best > kStepNs)
        restart();
    samples_[count_ < kPpsWindow ? count_ : next_] = offset_ns;
    if (count_ < kPpsWindow)
        ++count_;
    else
        next_ = (next_ + 1) % kPpsWindow;
    return *std::max_element(samples_, samples_ + count_);
}

ClockSamples clock_offset_note_sentence(int64_t gps_ns, int64_t burst_mono_ns)
{
    if (burst_mono_ns == 0)
        return ClockSamples{};
    ClockSamples samples = read_samples(gps_ns, burst_mono_ns);
    ClockOffset offset = measure(samples);
    std::lock_guard guard(offset_lock);
    latest = offset;
    latest_mono_ns = platform_monotonic_ns();
    return samples;
}

void clock_offset_forget()
{
    pps_filter.restart();
    std::lock_guard guard(offset_lock);
    latest = ClockOffset{};
}

ClockOffset clock_offset_now()
{
    std::lock_guard guard(offset_lock);
    if (!latest.valid || platform_monotonic_ns() - latest_mono_ns > kStaleNs)
        return ClockOffset{};
    return latest;
}
