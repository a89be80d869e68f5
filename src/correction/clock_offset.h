// How far the PC clock is from GPS time, measured once a second while the
// receiver has a fix: from the sentence's time against the PC clock at the
// first byte of its burst (plus the receiver's output delay when learned),
// or from the 1PPS edge that began the second when 1PPS is in use.
#pragma once

#include <cstdint>

enum class OffsetSource {
    nmea,        // the sentence alone: the receiver's output delay is not known
    nmea_delay,  // the sentence with the learned output delay put back
    pps,         // the pulse edge
};

struct ClockOffset {
    bool valid = false;
    int64_t offset_ns = 0;    // GPS time minus the PC clock: above 0 the PC clock is behind
    int uncertainty_ms = 0;   // the measurement is good to +- this
    OffsetSource source = OffsetSource::nmea;
};

// The uncertainty of a sentence-only measurement: the receiver's output
// delay and the transmission of the burst's first byte.
inline constexpr int kNmeaOffsetUncertaintyMs = 150;
inline constexpr int kPpsOffsetUncertaintyMs = 1;

// A 1PPS stamp is only ever late (the watcher's wake): of the last
// kPpsWindow seconds, the largest offset is the one least delayed.
class PpsOffsetFilter {
public:
    static constexpr int kPpsWindow = 8;
    static constexpr int64_t kStepNs = 20000000;  // a jump this big is a step of the clock: start afresh

    int64_t add(int64_t offset_ns);
    void restart() { count_ = next_ = 0; }

private:
    int64_t samples_[kPpsWindow] = {};
    int count_ = 0;
    int next_ = 0;
};

// One second's raw readings (UTC ns since 1970): the PC clock at the first
// byte of the burst and the GPS time at that moment (the sentence's time plus
// the receiver's learned output delay), and, when a fresh 1PPS edge began the
// second while 1PPS is in use, the PC clock at the edge and the GPS second.
struct ClockSamples {
    bool valid = false;
    int64_t burst_pc_ns = 0;
    int64_t burst_gps_ns = 0;
    bool delay_learned = false;
    bool pulse = false;
    int64_t edge_pc_ns = 0;
    int64_t edge_gps_ns = 0;
};

// The analysis thread's side, at the first GGA or RMC of each second with a
// fix: gps_ns is the sentence's time (UTC ns since 1970), burst_mono_ns the
// monotonic stamp of its burst's first byte (0 unknown). Returns the raw
// readings it measured from (not valid without a burst stamp).
ClockSamples clock_offset_note_sentence(int64_t gps_ns, int64_t burst_mono_ns);
// The clock was just set: what was measured before no longer holds.
void clock_offset_forget();

// The latest measurement; not valid when none came within the last 3 s.
ClockOffset clock_offset_now();
