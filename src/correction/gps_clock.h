// Turning a GPS time of day and date into a new PC clock value, and the
// shift that rounds the clock to the pulse-per-second edge. Pure integer
// arithmetic on Windows file times (100-ns ticks since 1601-01-01 UTC).
#pragma once

#include "platform/time_units.h"

#include <cstdint>

// What the receiver told us, as the decoder left it.
struct GpsClockFields {
    int year;        // full year from the last RMC; 2007 or less (or 0) means "use the PC's date"
    int month;       // 0 = not sent: the PC's month
    int day;         // 0 = not sent: the PC's day
    int hour;
    int minute;
    int second;
    int millis;      // true milliseconds of the time field, 0..999
    int date_tod_s;  // second of the day of the RMC that carried the date, -1 when unknown
};

// A UTC calendar moment broken out of a file time.
struct UtcFields {
    int year, month, day, hour, minute, second, millis;
};

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12; a day past
// the end of the month carries into the next).
int64_t days_from_civil(int64_t year, int month, int day);
UtcFields utc_fields_from_file_time(int64_t file_time);
// 0 when the fields do not form a valid time (second 60, month 13, 31 April ...).
int file_time_from_utc_fields(const UtcFields& fields, int64_t* file_time);

// new_ft for a clock that read cur_ft (whole milliseconds) when the sentence
// arrived. The date comes from the RMC when its year is after 2007; when the
// sentence's time of day is earlier than that RMC's, midnight has passed since
// and the date moves on one day. Without an RMC date, the PC's UTC date of
// yesterday, today or tomorrow is taken, whichever puts the new time nearest
// to cur_ft. Returns 1, or 0 when the fields do not form a valid time.
int gps_new_file_time(const GpsClockFields& gps, int64_t cur_ft, int64_t* new_ft);

// The shift in milliseconds that rounds a clock showing millis (0..999) to the
// nearest whole second; 500 rounds down.
int64_t align_shift_ms(int millis);
