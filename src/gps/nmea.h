// NMEA 0183 sentence decoder: folds $GPGGA and $GPRMC lines into a GpsFix.
#pragma once

#include "src/gps/gps_fix.h"

#include <cstddef>
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

// 1 when the line starts with "$" and either has no "*" or the two bytes after
// the first "*" are the XOR of the bytes between "$" and "*" in hex (any case);
// 0 otherwise. A NUL byte inside the line fails it: receivers never send one.
int nmea_checksum_ok(std::string_view line);
int nmea_checksum_ok(const char* line);  // NUL-terminated

// Compares the first n bytes of a and b, ASCII letters folded to lower case,
// stopping early at a NUL; 0 when equal, else <0 or >0 like a byte compare.
int str_equal_nocase(const char* a, const char* b, size_t n);
