// Calendar fields and J2000 day numbers on the local wall clock, and their display texts.
//
// A J2000 day number is the Julian date minus 2451545.0: 0.0 is 2000-01-01 12:00,
// 1.0 one day later, the fraction the time of day. No time zone is kept with it.
#pragma once

#include <cstdint>
#include <string>

// Broken-out moment; every field holds a whole number when produced here.
struct CalendarTime {
    double year;    // full year (2018, not 18)
    double month;   // 1..12
    double day;     // day of month
    double hour;    // 0..23; 24 from jd_to_calendar less than half a second before midnight
    double minute;  // 0..59
    double second;  // 0..59
};

// Calendar fields (hour, minute and second may carry fractions) to a J2000 day number.
double calendar_to_jd(const CalendarTime& t);

// J2000 day number to calendar fields, the time of day rounded to the nearest second
// (halves up). A non-finite or absurdly distant day number gives an all-zero record.
void jd_to_calendar(double jd, CalendarTime& t);

// Days since 1899-12-31 12:00 to month, day of month with the day's fraction, and year
// (no year 0: the year before 1 is -1). Keeps a one-entry cache per thread.
void dj_to_ymd(double dj, int& month, double& day, int& year);

// The PC clock's local wall-clock time, seconds truncated; all zero when the local
// time cannot be obtained.
void now_calendar(CalendarTime& t);
double now_jd();

// Display texts in the current locale, converted to UTF-8; g_malloc'ed, the caller
// g_free's them. jd_format_date gives the locale's date ("%x"); jd_format_datetime the
// day of month without a leading zero, the abbreviated month and the locale's time.
char* jd_format_date(double jd);
char* jd_format_datetime(double jd);

// A day since 1970 (UTC) in a g_date_time_format format, UTF-8: "%x" the
// locale's date as the GPS info page's time rows write it ("12/08/26"),
// "%Y-%m-%d" the log's ("2026-12-08"). "-" for a day beyond the years 1..9999.
std::string day_text(int64_t day, const char* format = "%x");
