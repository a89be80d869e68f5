// Calendar and J2000 day numbers: check values, rounding, the calendar reform,
// the per-thread cache, "now" on the sandbox clock and the display texts.
#include "src/correction/calendar.h"

#include "platform/clock.h"
#include "tests/support/test_env.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

// Runs a test in UTC so local time equals the PC's UTC clock.
class UtcZone {
public:
    UtcZone()
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~UtcZone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

std::string take(char* text)
{
    std::string out = text ? text : "(null)";
    g_free(text);
    return out;
}

void expect_fields(const CalendarTime& t, double y, double mo, double d, double h, double mi, double s)
{
    EXPECT_EQ(t.year, y);
    EXPECT_EQ(t.month, mo);
    EXPECT_EQ(t.day, d);
    EXPECT_EQ(t.hour, h);
    EXPECT_EQ(t.minute, mi);
    EXPECT_EQ(t.second, s);
}

struct JdCase {
    CalendarTime time;
    double jd;
    double tolerance;
};

TEST(CalendarToJd, CheckValues)
{
    const JdCase cases[] = {
        {{2000, 1, 1, 12, 0, 0}, 0.0, 0.0},
        {{2000, 1, 1, 0, 0, 0}, -0.5, 0.0},
        {{1970, 1, 1, 0, 0, 0}, -10957.5, 0.0},
        {{2018, 9, 19, 12, 13, 11}, 6836.0091551, 1e-7},
        {{2018, 9, 19, 12, 0, 0}, 6836.0, 0.0},
        {{1899, 12, 31, 12, 0, 0}, -36525.0, 0.0},
    };
    for (const JdCase& c : cases)
        EXPECT_NEAR(calendar_to_jd(c.time), c.jd, c.tolerance) << c.time.year << "-" << c.time.month << "-" << c.time.day;
}

// The time of day is added to -2451545 first, as the design orders it: that costs
// the sum some bits, well under a millisecond.
TEST(CalendarToJd, TakesFractionalTimeOfDay)
{
    EXPECT_NEAR(calendar_to_jd({2000, 1, 1, 18.5, 0, 0}), 0.25 + 0.5 / 24, 1e-9);
    EXPECT_NEAR(calendar_to_jd({2000, 1, 1, 12, 0, 30.5}), 30.5 / 86400, 1e-9);
    EXPECT_NEAR(calendar_to_jd({2000, 1, 1, 12, 1.5, 0}), 90.0 / 86400, 1e-9);
}

TEST(JdToCalendar, EdgeValues)
{
    CalendarTime t{};
    jd_to_calendar(0.0, t);
    expect_fields(t, 2000, 1, 1, 12, 0, 0);
    jd_to_calendar(-0.5, t);
    expect_fields(t, 2000, 1, 1, 0, 0, 0);
    jd_to_calendar(6836.0091551, t);
    expect_fields(t, 2018, 9, 19, 12, 13, 11);
}

TEST(JdToCalendar, HalfSecondBeforeMidnightRoundsToHour24)
{
    CalendarTime t{};
    jd_to_calendar(calendar_to_jd({2024, 2, 28, 23, 59, 59.6}), t);
    expect_fields(t, 2024, 2, 28, 24, 0, 0);
    jd_to_calendar(calendar_to_jd({2024, 2, 28, 23, 59, 59.4}), t);
    expect_fields(t, 2024, 2, 28, 23, 59, 59);
}

TEST(JdToCalendar, CorruptDayNumbersGiveAZeroRecord)
{
    for (double jd : {double(NAN), double(INFINITY), -double(INFINITY), 1e300, -1e12}) {
        CalendarTime t{1, 2, 3, 4, 5, 6};
        jd_to_calendar(jd, t);
        expect_fields(t, 0, 0, 0, 0, 0, 0);
    }
}

void expect_round_trip_of_day(double y, double m, double d)
{
    int failures = 0;
    for (int s = 0; s < 86400 && failures < 5; ++s) {
        CalendarTime in{y, m, d, double(s / 3600), double(s / 60 % 60), double(s % 60)};
        CalendarTime out{};
        jd_to_calendar(calendar_to_jd(in), out);
        if (out.year != in.year || out.month != in.month || out.day != in.day || out.hour != in.hour ||
            out.minute != in.minute || out.second != in.second) {
            ++failures;
            ADD_FAILURE() << y << "-" << m << "-" << d << " second " << s << " came back as " << out.year << "-"
                          << out.month << "-" << out.day << " " << out.hour << ":" << out.minute << ":" << out.second;
        }
    }
}

TEST(JdToCalendar, EveryWholeSecondOfLeapDaysRoundTrips)
{
    const double days[][3] = {
        {2024, 2, 28}, {2024, 2, 29}, {2024, 3, 1}, {2000, 2, 29}, {1900, 2, 28}, {1900, 3, 1},
        {2100, 2, 28}, {1582, 11, 1}, {2018, 12, 31}, {2019, 1, 1},
    };
    for (const auto& day : days)
        expect_round_trip_of_day(day[0], day[1], day[2]);
}

TEST(JdToCalendar, CalendarReformSwitchesAtDifferentPoints)
{
    CalendarTime t{};
    jd_to_calendar(calendar_to_jd({1582, 10, 15, 0, 0, 0}), t);
    expect_fields(t, 1582, 10, 25, 0, 0, 0);
}

TEST(DjToYmd, ZeroIsTheLastDayOf1899)
{
    for (int call = 0; call < 2; ++call) {
        int month = 0, year = 0;
        double day = 0;
        dj_to_ymd(0.0, month, day, year);
        EXPECT_EQ(month, 12);
        EXPECT_EQ(day, 31.5);
        EXPECT_EQ(year, 1899);
    }
}

TEST(DjToYmd, RepeatedInputGivesTheSameAnswer)
{
    int m1 = 0, y1 = 0, m2 = 0, y2 = 0;
    double d1 = 0, d2 = 0;
    dj_to_ymd(6836.25 + 36525, m1, d1, y1);
    dj_to_ymd(6836.25 + 36525, m2, d2, y2);
    EXPECT_EQ(m1, 9);
    EXPECT_DOUBLE_EQ(d1, 19.75);
    EXPECT_EQ(y1, 2018);
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(d1, d2);
    EXPECT_EQ(y1, y2);
}

TEST(DjToYmd, NoYearZero)
{
    int month = 0, year = 0;
    double day = 0;
    // calendar_to_jd counts years astronomically (year 0 = 1 BC).
    dj_to_ymd(calendar_to_jd({0, 7, 1, 12, 0, 0}) + 36525, month, day, year);
    EXPECT_EQ(year, -1);
    EXPECT_EQ(month, 7);
}

// With one cache for all threads, a thread could meet its own input paired with
// the other thread's outputs.
TEST(DjToYmd, ThreadsNeverSeeEachOthersCachedAnswers)
{
    struct Expected {
        double dj;
        int month;
        double day;
        int year;
    };
    auto expected_for = [](double dj) {
        Expected e{dj, 0, 0, 0};
        dj_to_ymd(dj, e.month, e.day, e.year);
        return e;
    };
    const Expected a[2] = {expected_for(43361.25), expected_for(43361.75)};
    const Expected b[2] = {expected_for(100.5), expected_for(-20000.125)};
    std::atomic<int> mismatches{0};
    auto hammer = [&mismatches](const Expected* pair) {
        for (int i = 0; i < 200000; ++i) {
            const Expected& e = pair[i % 3 == 0];
            int month = 0, year = 0;
            double day = 0;
            dj_to_ymd(e.dj, month, day, year);
            if (month != e.month || day != e.day || year != e.year)
                ++mismatches;
        }
    };
    std::thread first(hammer, a);
    std::thread second(hammer, b);
    first.join();
    second.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(Now, FollowsTheSandboxClock)
{
    TestSandbox sandbox;
    UtcZone utc;
    double before = now_jd();
    double expected = double(platform_clock_read_ns() / 1000000000LL) / 86400.0 - 10957.5;
    EXPECT_NEAR(before, expected, 2.0 / 86400);

    ASSERT_EQ(platform_clock_set_ns(platform_clock_read_ns() + 3600LL * 1000000000LL), 0);
    double after = now_jd();
    EXPECT_NEAR(after - before, 1.0 / 24, 2.0 / 86400);
}

TEST(Now, CalendarIsTheLocalTimeInWholeSeconds)
{
    TestSandbox sandbox;
    UtcZone utc;
    // 2021-03-04 05:06:07.9 UTC: the fraction is dropped, not rounded.
    ASSERT_EQ(platform_clock_set_ns(1614834367LL * 1000000000LL + 900000000LL), 0);
    CalendarTime t{};
    now_calendar(t);
    EXPECT_EQ(t.year, 2021);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 4);
    EXPECT_EQ(t.hour, 5);
    EXPECT_EQ(t.minute, 6);
    EXPECT_GE(t.second, 7);
    EXPECT_LE(t.second, 8);
}

TEST(Format, CLocaleTexts)
{
    const struct {
        double jd;
        bool with_time;
        const char* text;
    } cases[] = {
        {6836.0, false, "09/19/18"},
        {6836.0091551, true, "19 Sep 12:13:11"},
        {calendar_to_jd({2024, 3, 5, 7, 8, 9}), true, "5 Mar 07:08:09"},
        {0.0, false, "01/01/00"},
        // 23:59:59.6 rounds up to midnight: shown as the next day, never as hour 24.
        {calendar_to_jd({2024, 2, 29, 23, 59, 59.6}), true, "1 Mar 00:00:00"},
        {calendar_to_jd({2024, 12, 31, 23, 59, 59.7}), false, "01/01/25"},
        {NAN, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(take(c.with_time ? jd_format_datetime(c.jd) : jd_format_date(c.jd)), c.text) << c.jd;
}

}  // namespace
