// GPS time to file time, the date rules around midnight, the 1PPS rounding.
#include "src/correction/gps_clock.h"

#include "platform/clock.h"
#include "platform/time_units.h"

#include <initializer_list>

namespace {

int64_t floor_div(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int64_t year, int month)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

// Days since 1970-01-01 back to a date (proleptic Gregorian).
void civil_from_days(int64_t days, int64_t* year, int* month, int* day)
{
    days += 719468;
    int64_t era = floor_div(days, 146097);
    int64_t doe = days - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2);
}

int64_t abs64(int64_t v) { return v < 0 ? -v : v; }

// The date part (midnight) and the time-of-day part of a GPS fix, as ticks.
int64_t time_of_day_ticks(const GpsClockFields& gps)
{
    return (int64_t(gps.hour) * 3600 + gps.minute * 60 + gps.second) * kFileTimeTicksPerSecond +
           int64_t(gps.millis) * kFileTimeTicksPerMs;
}

bool time_of_day_valid(const GpsClockFields& gps)
{
    return gps.hour >= 0 && gps.hour <= 23 && gps.minute >= 0 && gps.minute <= 59 && gps.second >= 0 &&
           gps.second <= 59 && gps.millis >= 0 && gps.millis <= 999;
}

// SYSTEMTIME's range: the years a file time can be converted to and from.
bool date_valid(int64_t year, int month, int day)
{
    return year >= 1601 && year <= 30827 && month >= 1 && month <= 12 && day >= 1 &&
           day <= days_in_month(year, month);
}

int64_t midnight_ticks(int64_t days_since_1970) { return kFileTimeUnixEpoch + days_since_1970 * kFileTimeTicksPerDay; }

// The receiver's date, moved on a day when midnight passed since its RMC.
int date_from_rmc(const GpsClockFields& gps, const UtcFields& pc, int64_t* days)
{
    int month = gps.month != 0 ? gps.month : pc.month;
    int day = gps.day != 0 ? gps.day : pc.day;
    if (!date_valid(gps.year, month, day))
        return 0;
    *days = days_from_civil(gps.year, month, day);
    int tod_s = gps.hour * 3600 + gps.minute * 60 + gps.second;
    if (gps.date_tod_s >= 0 && tod_s < gps.date_tod_s)
        *days += 1;
    return 1;
}

// Without a receiver date: the PC's yesterday, today or tomorrow, whichever
// lands nearest to the PC clock (a GPS 00:00:05 against a PC at 23:59:58 is tomorrow).
int64_t date_nearest_pc(int64_t tod_ticks, int64_t cur_ft)
{
    int64_t today = floor_div(cur_ft - kFileTimeUnixEpoch, kFileTimeTicksPerDay);
    int64_t best = today;
    for (int64_t candidate : {today - 1, today + 1}) {
        if (abs64(midnight_ticks(candidate) + tod_ticks - cur_ft) < abs64(midnight_ticks(best) + tod_ticks - cur_ft))
            best = candidate;
    }
    return best;
}

}  // namespace

int64_t days_from_civil(int64_t year, int month, int day)
{
    year -= month <= 2;
    int64_t era = floor_div(year, 400);
    int64_t yoe = year - era * 400;
    int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

UtcFields utc_fields_from_file_time(int64_t file_time)
{
    int64_t rel = file_time - kFileTimeUnixEpoch;
    int64_t days = floor_div(rel, kFileTimeTicksPerDay);
    int64_t tod_ms = (rel - days * kFileTimeTicksPerDay) / kFileTimeTicksPerMs;
    UtcFields out{};
    int64_t year = 0;
    civil_from_days(days, &year, &out.month, &out.day);
    out.year = int(year);
    out.hour = int(tod_ms / 3600000);
    out.minute = int(tod_ms / 60000 % 60);
    out.second = int(tod_ms / 1000 % 60);
    out.millis = int(tod_ms % 1000);
    return out;
}

int file_time_from_utc_fields(const UtcFields& f, int64_t* file_time)
{
    GpsClockFields tod{0, 0, 0, f.hour, f.minute, f.second, f.millis, -1};
    if (!date_valid(f.year, f.month, f.day) || !time_of_day_valid(tod))
        return 0;
    *file_time = midnight_ticks(days_from_civil(f.year, f.month, f.day)) + time_of_day_ticks(tod);
    return 1;
}

int gps_new_file_time(const GpsClockFields& gps, int64_t cur_ft, int64_t* new_ft)
{
    if (!time_of_day_valid(gps))
        return 0;
    int64_t tod = time_of_day_ticks(gps);
    int64_t days = 0;
    if (gps.year > 2007) {
        if (!date_from_rmc(gps, utc_fields_from_file_time(cur_ft), &days))
            return 0;
    } else {
        days = date_nearest_pc(tod, cur_ft);
    }
    int64_t year = 0;
    int month = 0, day = 0;
    civil_from_days(days, &year, &month, &day);
    if (!date_valid(year, month, day))
        return 0;
    *new_ft = midnight_ticks(days) + tod;
    return 1;
}

int64_t align_shift_ms(int millis)
{
    return millis > 500 ? 1000 - millis : -millis;
}
