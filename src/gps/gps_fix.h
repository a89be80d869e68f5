// The process-wide GPS fix record: the latest decoded receiver state, kept
// under a lock so that display readers never see a half-written sentence.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

struct GpsFix {
    uint16_t year{};           // 2000 + two-digit year of the last RMC; 0 before any RMC
    uint8_t month{};           // 1..12, from the last RMC
    uint8_t day{};             // day of month, from the last RMC
    uint8_t hour{};            // UTC time of the last GGA or RMC
    uint8_t minute{};
    uint8_t second{};
    uint16_t fraction{};       // integer value of the digits after the time field's point (up to four kept)
    uint8_t fraction_digits{}; // how many digits make up fraction: ".50" is 50 with 2
    double latitude{};         // decimal degrees, north positive
    double longitude{};        // decimal degrees, east positive
    double altitude{};         // metres above mean sea level, as the receiver sends it
    int8_t fix_quality{};      // 0 nothing decoded, -1 receiver has no fix, 1..9 its quality digit
    uint8_t satellites{};      // satellites in use

    bool operator==(const GpsFix&) const = default;
};

// The fractional second of the time fields in true milliseconds (0..999):
// ".5" and ".500" are 500, ".05" is 50, ".1234" is 123.
int gps_fraction_ms(const GpsFix& fix);

// A copy of the shared record taken under its lock; displays work on the copy.
GpsFix gps_fix_copy();

// Clears the shared record to all zero (port change, silent receiver), with
// what the decoder remembers of the receiver and the refused-receiver hint.
void gps_fix_clear();

// Decodes one line into the shared record, holding the lock for the whole
// update; returns the decoder's result (see nmea.h). Reads
// accept_gnss_talkers at every line, and feeds the refused-receiver hint
// (gnss_hint.h) with the monotonic clock, or with now_ns.
int gps_fix_decode_line(std::string_view line);
int gps_fix_decode_line(std::string_view line, int64_t now_ns);

// 1: decode in the GNSS mode (setting "accept_gnss_talkers", default off).
// Set by the GUI, read by the decoding thread at each line.
extern std::atomic<int> accept_gnss_talkers;
