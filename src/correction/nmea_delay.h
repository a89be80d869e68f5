// The receiver's output delay: how long after the top of a second its output
// begins. Without 1PPS a correction adds it and the time since the output
// began; with 1PPS it is learned from the pulse.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// --- Shared with the user interface (each has one setter and one clearer) ---

// 1: corrections without 1PPS add the delay (setting "nmea_compensate").
extern std::atomic<int> nmea_compensate;
// The delay in ms (setting "nmea_delay_ms"), and its spread when learned, -1
// when entered by hand (setting "nmea_delay_spread_ms").
extern std::atomic<int> nmea_delay_ms;
extern std::atomic<int> nmea_delay_spread_ms;
// The GUI sets 1 to measure for 15 s now; the analysis thread clears it.
extern std::atomic<int> nmea_delay_measure_request;
// 0 idle, 1 measuring, 2 measured and stored, -1 the measurement failed (no pulses).
extern std::atomic<int> nmea_delay_measure_state;

inline constexpr int kNmeaDelayMaxMs = 2000;  // a receiver's output delay is well under this

// --- Arithmetic ---

// new_ft (the sentence's time as a file time) with the output delay put back:
// + delay_ms + since_burst_ns, the time from the burst's first byte to the
// clock reading new_ft goes with, rounded to the millisecond. A time since
// the burst below 0 or above 10 s (no burst seen) leaves new_ft as it is.
int64_t nmea_compensated_file_time(int64_t new_ft, int delay_ms, int64_t since_burst_ns);

struct NmeaDelayEstimate {
    int median_ms = 0;
    int spread_ms = 0;  // the median distance of the samples from the median
    int samples = 0;
};

// Keeps, for each second of the last 15, burst first byte minus the pulse
// edge before it; the median is the delay.
class NmeaDelayLearner {
public:
    static constexpr int64_t window_ns = 15000000000LL;
    static constexpr int min_samples = 10;

    // A burst began at burst_ns; the pulse line has seen edge_count edges, the
    // last at edge_ns (the same monotonic clock). A sample is taken only for a fresh edge
    // less than a second before the burst. True when one was taken.
    bool note_burst(int64_t burst_ns, unsigned long edge_count, int64_t edge_ns);
    // Forget everything (another receiver, a new measurement).
    void restart();
    // False while fewer than min_samples seconds are kept.
    bool estimate(NmeaDelayEstimate* estimate) const;
    int samples() const { return int(samples_.size()); }

private:
    struct Sample {
        int64_t burst_ns;
        int64_t delay_ns;
    };
    std::deque<Sample> samples_;
    unsigned long last_edge_count_ = 0;
};

// --- The analysis thread's side ---

// Loads the settings into the flags above (start-up).
void nmea_delay_load_settings();
// Called by the analysis thread at each burst's first byte (its monotonic
// stamp) and for each line.
void nmea_delay_note_burst(int64_t burst_ns);
void nmea_delay_note_line(std::string_view line);
// The receiver fell silent: a measurement running fails.
void nmea_delay_note_silence();
// The text describing the receiver a learned delay belongs to: port, speed
// and the identification it sent ("COM3 4800 $GPTXT,01,01,02,u-blox ag*..").
std::string nmea_delay_receiver_text();
