// Calendar <-> J2000 day number arithmetic, "now" from the PC clock, display texts.
#include "src/correction/calendar.h"

#include "platform/clock.h"
#include "platform/time_units.h"

#include <cmath>
#include <cstdint>
#include <ctime>
#include <glib.h>

namespace {

// Day counts beyond this (about 270 000 years) would overflow the int fields; they
// only come from a corrupt settings value.
constexpr double kMaxAbsDays = 1e8;
// strftime writes at most this many characters, as the display has room for.
constexpr size_t kMaxFormattedChars = 60;

// The last conversion of dj_to_ymd on this thread: input and its three outputs.
struct DjCache {
    bool valid = false;
    double input = 0.0;
    int month = 0;
    double day = 0.0;
    int year = 0;
};

thread_local DjCache dj_cache;

// Weekday 0 (Sunday) .. 6 of the local day that holds the given moment.
int weekday_of(double jd)
{
    double w = std::fmod(std::floor(jd - 0.5), 7.0);
    return static_cast<int>(w < 0 ? w + 7.0 : w);
}

// strftime only takes hours 0..23: a moment rounded up to 24:00:00 is shown as
// 00:00:00 of the next day. Midnights are exact in binary (x.5), so the day after
// converts back with hour 0.
double carry_midnight(double jd, CalendarTime& t)
{
    if (t.hour < 24)
        return jd;
    CalendarTime midnight{t.year, t.month, t.day, 0, 0, 0};
    double next = calendar_to_jd(midnight) + 1.0;
    jd_to_calendar(next, t);
    return next;
}

char* format_jd(double jd, const char* pattern)
{
    CalendarTime t{};
    jd_to_calendar(jd, t);
    if (t.month < 1)
        return g_strdup("");
    jd = carry_midnight(jd, t);

    struct tm tm{};
    tm.tm_year = static_cast<int>(t.year) - 1900;
    tm.tm_mon = static_cast<int>(t.month) - 1;
    tm.tm_mday = static_cast<int>(t.day);
    tm.tm_hour = static_cast<int>(t.hour);
    tm.tm_min = static_cast<int>(t.minute);
    tm.tm_sec = static_cast<int>(t.second);
    tm.tm_wday = weekday_of(jd);
    tm.tm_yday = 0;
    tm.tm_isdst = 0;

    char text[256];
    if (strftime(text, kMaxFormattedChars + 1, pattern, &tm) == 0)
        text[0] = '\0';
    char* utf8 = g_locale_to_utf8(text, -1, nullptr, nullptr, nullptr);
    return utf8 ? utf8 : g_strdup("");
}

}  // namespace

double calendar_to_jd(const CalendarTime& t)
{
    double m = (t.year + 4800) * 12 + t.month - 3;  // months since March of year -4800
    double y = std::floor(m / 12);
    double j = std::floor(((m - 12 * y) * 2 + 7 + 365 * m) / 12) + t.day + std::floor(m / 48) - 32083;
    if (j > 2299171)  // Gregorian calendar from 1582-10-15 on
        j = j + std::floor(m / 4800) - std::floor(m / 1200) + 38;
    double result = t.hour / 24 - 2451545;
    result += t.minute / 1440;
    result += t.second / 86400;
    result -= 0.5;
    return result + j;
}

void dj_to_ymd(double dj, int& month, double& day, int& year)
{
    if (dj == 0.0) {
        month = 12;
        day = 31.5;
        year = 1899;
        return;
    }
    if (!std::isfinite(dj) || std::fabs(dj) > kMaxAbsDays) {
        month = 0;
        day = 0.0;
        year = 0;
        return;
    }
    if (dj_cache.valid && dj == dj_cache.input) {
        month = dj_cache.month;
        day = dj_cache.day;
        year = dj_cache.year;
        return;
    }

    double d = dj + 0.5;
    double i = std::floor(d);
    double f = d - i;
    if (f == 1.0) {
        i += 1;
        f = 0;
    }
    if (i > -115860) {  // Gregorian correction
        double a = std::floor(i / 36524.25 + 0.99835726) + 14;
        i = i + 1 + a - std::floor(a / 4);
    }
    double b = std::floor(i / 365.25 + 0.802601);
    double c = i - std::floor(b * 365.25 + 0.750001) + 416;
    double g = std::floor(c / 30.6001);
    month = static_cast<int>(g - 1);
    day = c - std::floor(g * 30.6001) + f;
    year = static_cast<int>(b + 1899);
    if (g > 13.5)
        month = static_cast<int>(g - 13);
    if (month < 2.5)
        year = static_cast<int>(b + 1900);
    if (year < 1)
        year = year - 1;  // no year 0

    dj_cache = DjCache{true, dj, month, day, year};
}

void jd_to_calendar(double jd, CalendarTime& t)
{
    int month = 0;
    int year = 0;
    double day = 0.0;
    dj_to_ymd(jd + 36525.0, month, day, year);
    if (month == 0) {
        t = CalendarTime{};
        return;
    }
    double s = (day - std::trunc(day)) * 24 * 3600;  // seconds into the day
    double r = std::floor(s);
    if (s - r >= 0.5)
        r += 1;
    int n = static_cast<int>(r);
    t.second = n % 60;
    t.minute = (n / 60) % 60;
    t.hour = (n / 60) / 60;
    t.day = std::floor(day);
    t.month = month;
    t.year = year;
}

void now_calendar(CalendarTime& t)
{
    t = CalendarTime{};
    int64_t ns = platform_clock_read_ns();
    int64_t secs = ns / 1000000000LL - (ns % 1000000000LL < 0 ? 1 : 0);
    time_t now = static_cast<time_t>(secs);
    struct tm local{};
    if (!localtime_r(&now, &local))
        return;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
}

double now_jd()
{
    CalendarTime t{};
    now_calendar(t);
    return calendar_to_jd(t);
}

char* jd_format_date(double jd) { return format_jd(jd, "%x"); }

// glibc spells "day of month without leading zero" %-d.
char* jd_format_datetime(double jd) { return format_jd(jd, "%-d %b %X"); }

std::string day_text(int64_t day, const char* format)
{
    GDateTime* moment = g_date_time_new_from_unix_utc(day * kSecondsPerDay);
    if (!moment)
        return "-";
    gchar* text = g_date_time_format(moment, format);
    g_date_time_unref(moment);
    std::string written = text ? text : "";
    g_free(text);
    return written;
}
