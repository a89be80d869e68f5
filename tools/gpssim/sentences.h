// NMEA 0183 GGA and RMC sentences as a receiver sends them, from a true time.
#pragma once

#include <cstdint>
#include <string>

enum class ChecksumMode { on, off, wrong };

struct ReceiverFix {
    std::string talker = "GP";
    int quality = 1;           // 0: no fix (empty position, RMC status V)
    int satellites = 8;
    double latitude = 48.1173;  // decimal degrees, north positive
    double longitude = 11.516667;
    double altitude = 545.4;    // metres
    int fraction_digits = 3;    // digits after the seconds' point, 0..4
    bool short_satellites = false;  // "8" instead of "08", as some modules send it
    bool rmc_only = false;          // no GGA: the RMC status tells the fix
    ChecksumMode checksum = ChecksumMode::on;
};

// XOR of the bytes between "$" and "*".
unsigned nmea_xor(const std::string& body);

// "$" + body + "*hh" (per mode) + CR LF.
std::string nmea_sentence(const std::string& body, ChecksumMode mode);

// "hhmmss" with fraction_digits digits after a point, truncated (UTC).
std::string nmea_time_field(int64_t utc_ns, int fraction_digits);

// ddmm.mmmm / dddmm.mmmm and the hemisphere letter.
std::string nmea_coordinate(double degrees, bool longitude);

std::string make_gga(const ReceiverFix& fix, int64_t utc_ns);
std::string make_rmc(const ReceiverFix& fix, int64_t utc_ns);
