// New clock values from GPS fields: dates around midnight, fractions, invalid times, 1PPS rounding.
#include "src/correction/gps_clock.h"

#include <gtest/gtest.h>

namespace {

int64_t ft_of(int year, int month, int day, int hour, int minute, int second, int millis)
{
    int64_t ft = 0;
    EXPECT_EQ(file_time_from_utc_fields({year, month, day, hour, minute, second, millis}, &ft), 1);
    return ft;
}

int tod(int hour, int minute, int second) { return hour * 3600 + minute * 60 + second; }

struct NewTimeCase {
    const char* what;
    GpsClockFields gps;
    UtcFields pc;      // the PC clock when the sentence arrived
    UtcFields expect;  // year 0: no valid time
};

const NewTimeCase kNewTimeCases[] = {
    {"date and time of the receiver", {2026, 12, 7, 12, 35, 19, 0, tod(12, 35, 18)},
     {2026, 12, 7, 12, 35, 17, 437}, {2026, 12, 7, 12, 35, 19, 0}},
    {"the sentence's own RMC carried the date", {2026, 12, 7, 12, 35, 19, 0, tod(12, 35, 19)},
     {2026, 12, 7, 12, 35, 17, 437}, {2026, 12, 7, 12, 35, 19, 0}},
    {"true milliseconds of the fraction", {2026, 12, 7, 12, 35, 19, 500, tod(12, 35, 19)},
     {2026, 12, 7, 12, 35, 19, 900}, {2026, 12, 7, 12, 35, 19, 500}},
    {"the receiver's date wins over a PC days off", {2018, 12, 19, 8, 0, 0, 0, tod(7, 59, 59)},
     {2026, 1, 1, 0, 0, 0, 0}, {2018, 12, 19, 8, 0, 0, 0}},
    {"GGA at midnight after the last RMC of the day", {2026, 12, 7, 0, 0, 0, 0, tod(23, 59, 59)},
     {2026, 12, 7, 23, 59, 59, 800}, {2026, 12, 8, 0, 0, 0, 0}},
    {"midnight rolls over the year", {2026, 12, 31, 0, 0, 1, 0, tod(23, 59, 59)},
     {2027, 1, 1, 0, 0, 0, 900}, {2027, 1, 1, 0, 0, 1, 0}},
    {"midnight rolls into a leap day", {2024, 2, 28, 0, 0, 0, 0, tod(23, 59, 59)},
     {2024, 2, 28, 23, 59, 59, 0}, {2024, 2, 29, 0, 0, 0, 0}},
    {"midnight rolls over February of a common year", {2023, 2, 28, 0, 0, 0, 0, tod(23, 59, 58)},
     {2023, 2, 28, 23, 59, 59, 0}, {2023, 3, 1, 0, 0, 0, 0}},
    {"RMC date of unknown time of day is taken as it is", {2026, 12, 7, 0, 0, 0, 0, -1},
     {2026, 12, 7, 23, 59, 59, 0}, {2026, 12, 7, 0, 0, 0, 0}},
    {"no RMC: the PC's date", {0, 0, 0, 12, 0, 3, 0, -1},
     {2026, 12, 7, 12, 0, 1, 0}, {2026, 12, 7, 12, 0, 3, 0}},
    {"no RMC, GPS past midnight, PC not yet", {0, 0, 0, 0, 0, 1, 0, -1},
     {2026, 12, 7, 23, 59, 58, 0}, {2026, 12, 8, 0, 0, 1, 0}},
    {"no RMC, PC past midnight, GPS not yet", {0, 0, 0, 23, 59, 59, 0, -1},
     {2026, 12, 8, 0, 0, 2, 0}, {2026, 12, 7, 23, 59, 59, 0}},
    {"no RMC, new year's eve", {0, 0, 0, 0, 0, 0, 250, -1},
     {2026, 12, 31, 23, 59, 59, 0}, {2027, 1, 1, 0, 0, 0, 250}},
    {"RMC of 2007: the PC's date", {2007, 3, 4, 10, 0, 0, 0, tod(9, 59, 59)},
     {2026, 12, 7, 10, 0, 5, 0}, {2026, 12, 7, 10, 0, 0, 0}},
    {"month and day 0 take the PC's", {2026, 0, 0, 10, 0, 0, 0, tod(10, 0, 0)},
     {2026, 12, 7, 10, 0, 5, 0}, {2026, 12, 7, 10, 0, 0, 0}},
    {"leap second", {2026, 12, 31, 23, 59, 60, 0, tod(23, 59, 59)}, {2026, 12, 31, 23, 59, 59, 0}, {}},
    {"hour 24", {2026, 12, 7, 24, 0, 0, 0, -1}, {2026, 12, 7, 23, 59, 59, 0}, {}},
    {"minute 60", {2026, 12, 7, 10, 60, 0, 0, -1}, {2026, 12, 7, 10, 59, 59, 0}, {}},
    {"milliseconds 1000", {2026, 12, 7, 10, 0, 0, 1000, -1}, {2026, 12, 7, 10, 0, 0, 0}, {}},
    {"negative field", {2026, 12, 7, 10, -1, 0, 0, -1}, {2026, 12, 7, 10, 0, 0, 0}, {}},
    {"month 13", {2026, 13, 7, 10, 0, 0, 0, -1}, {2026, 12, 7, 10, 0, 0, 0}, {}},
    {"31 April", {2026, 4, 31, 10, 0, 0, 0, -1}, {2026, 4, 30, 10, 0, 0, 0}, {}},
    {"29 February of a common year", {2026, 2, 29, 10, 0, 0, 0, -1}, {2026, 2, 28, 10, 0, 0, 0}, {}},
};

TEST(GpsNewFileTime, DatesTimesAndRejections)
{
    for (const NewTimeCase& c : kNewTimeCases) {
        SCOPED_TRACE(c.what);
        int64_t cur_ft = ft_of(c.pc.year, c.pc.month, c.pc.day, c.pc.hour, c.pc.minute, c.pc.second, c.pc.millis);
        int64_t new_ft = -1;
        int ok = gps_new_file_time(c.gps, cur_ft, &new_ft);
        if (c.expect.year == 0) {
            EXPECT_EQ(ok, 0);
            EXPECT_EQ(new_ft, -1);
            continue;
        }
        ASSERT_EQ(ok, 1);
        UtcFields got = utc_fields_from_file_time(new_ft);
        EXPECT_EQ(got.year, c.expect.year);
        EXPECT_EQ(got.month, c.expect.month);
        EXPECT_EQ(got.day, c.expect.day);
        EXPECT_EQ(got.hour, c.expect.hour);
        EXPECT_EQ(got.minute, c.expect.minute);
        EXPECT_EQ(got.second, c.expect.second);
        EXPECT_EQ(got.millis, c.expect.millis);
    }
}

TEST(GpsNewFileTime, FileTimeConversions)
{
    // 2020-01-01 00:00:00 UTC and the Unix epoch as file times.
    EXPECT_EQ(ft_of(2020, 1, 1, 0, 0, 0, 0), 132223104000000000LL);
    EXPECT_EQ(ft_of(1970, 1, 1, 0, 0, 0, 0), 116444736000000000LL);
    EXPECT_EQ(ft_of(1601, 1, 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(days_from_civil(2000, 3, 1), 11017);
    for (int64_t ft : {0LL, 116444736000000000LL, 132223104001230000LL, 139000000000000000LL}) {
        UtcFields f = utc_fields_from_file_time(ft);
        int64_t back = 0;
        ASSERT_EQ(file_time_from_utc_fields(f, &back), 1);
        EXPECT_EQ(back, ft);
    }
    // Every day of a leap year round-trips, with its length.
    int64_t first = ft_of(2024, 1, 1, 0, 0, 0, 0);
    for (int d = 0; d < 366; ++d) {
        UtcFields f = utc_fields_from_file_time(first + d * kFileTimeTicksPerDay + 43200LL * 10000000);
        EXPECT_EQ(f.year, 2024);
        EXPECT_EQ(f.hour, 12);
        EXPECT_EQ(ft_of(f.year, f.month, f.day, 0, 0, 0, 0), first + d * kFileTimeTicksPerDay);
    }
    EXPECT_EQ(utc_fields_from_file_time(first + 366 * kFileTimeTicksPerDay).year, 2025);
}

TEST(AlignShift, RoundsToTheNearestSecondHalfDown)
{
    const struct { int millis; int64_t shift; } cases[] = {
        {437, -437}, {500, -500}, {501, 499}, {0, 0}, {1, -1}, {999, 1}, {250, -250}, {750, 250},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.millis);
        EXPECT_EQ(align_shift_ms(c.millis), c.shift);
    }
}

}  // namespace
