// NMEA 0183 sentence decoder: folds $GPGGA and $GPRMC lines into a GpsFix.
// The GNSS mode also takes GGA and RMC from other talkers (GN, GL, GA, GB, BD
// ...), whole-second times, one-digit satellite counts, and lets RMC stand for
// the fix of a receiver that sends no GGA.
#pragma once

#include "src/gps/gps_fix.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Decoder results. Only the positive ones may start a clock correction.
constexpr int NMEA_GGA = 1;           // GGA taken, minute or second changed
constexpr int NMEA_RMC = 2;           // RMC taken, minute or second changed
constexpr int NMEA_REJECTED = -1;     // not GGA/RMC or a field failed its length test; record unchanged
constexpr int NMEA_SAME_SECOND = -2;  // taken (record updated), same minute and second as before
constexpr int NMEA_BAD_CHECKSUM = -3; // no leading "$", a bad checksum or a NUL byte; record unchanged

// Decodes one line (from "$" up to and including its line end, which is
// optional) into fix. The line is any bytes of any length: it needs no
// terminating NUL and is never written to.
int parse_nmea_line(std::string_view line, GpsFix& fix);
int parse_nmea_line(const char* line, size_t length, GpsFix* fix);

// What the decoder keeps of the receiver besides the record: the receiver's
// time of day of the last GGA taken, so that an RMC can tell whether GGA comes
// at all. Cleared together with the record.
struct NmeaReceiverMemory {
    int32_t gga_time_ms = -1;  // ms since midnight (receiver's UTC); -1 before any GGA
};

// A receiver that has sent no GGA within this span of its own time counts as
// RMC-only (GNSS mode): its RMC status gives the fix.
inline constexpr int32_t kRmcOnlyAfterMs = 3000;

// Decodes as above, remembering each GGA taken in memory. With accept_gnss
// false the results and the record are exactly those of the two-argument form.
// With accept_gnss true it also takes: GGA and RMC of any talker of two
// capital letters (not "P", the proprietary prefix); time fields of six or
// more characters (no fraction: 0 ms); a GGA satellite count of one or two
// digits; and, while no GGA has been taken within kRmcOnlyAfterMs, an RMC with
// status "A" sets fix_quality 1, "V" sets -1.
int parse_nmea_line(std::string_view line, GpsFix& fix, NmeaReceiverMemory& memory, bool accept_gnss);

// Why the two-sentence decoder turned away a line that the GNSS mode takes.
enum class GnssRefusal : uint8_t {
    none,        // the mode would refuse it too (or the line was taken)
    talker,      // a talker other than GP
    time_format, // a time field without its fraction digits
    satellites,  // a one-digit satellite count
};

// For a line that parse_nmea_line refused (NMEA_REJECTED) with accept_gnss
// false: what the GNSS mode would have lifted to take it, judged against the
// current record and memory, which are not changed.
GnssRefusal nmea_gnss_refusal(std::string_view line, const GpsFix& fix, const NmeaReceiverMemory& memory);

// True when the line is a sentence of this three-letter type ("RMC", "GGA")
// after "$" and a two-letter talker, in any letter case.
bool nmea_sentence_is(std::string_view line, const char* type);

// 1 when the line starts with "$" and either has no "*" or the two bytes after
// the first "*" are the XOR of the bytes between "$" and "*" in hex (any case);
// 0 otherwise. A NUL byte inside the line fails it: receivers never send one.
int nmea_checksum_ok(std::string_view line);
int nmea_checksum_ok(const char* line);  // NUL-terminated

// Compares the first n bytes of a and b, ASCII letters folded to lower case,
// stopping early at a NUL; 0 when equal, else <0 or >0 like a byte compare.
int str_equal_nocase(const char* a, const char* b, size_t n);
