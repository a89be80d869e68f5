// The correction schedule over the sandbox clock: intervals, no fix, auto
// update off, "On Startup", Monthly, the first start's stored moment.
#include "src/correction/schedule.h"

#include "platform/clock.h"
#include "src/correction/analiz.h"
#include "src/correction/calendar.h"
#include "src/correction/gps_clock.h"
#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"
#include "tests/support/test_env.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr char kGgaWithFix[] =
    "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59\r\n";
constexpr char kGgaNoFix[] = "$GPGGA,123520.000,,,,,0,00,,,M,,M,,*7F\r\n";

double jd_of(int year, int month, int day, int hour, int minute, int second)
{
    return calendar_to_jd(CalendarTime{double(year), double(month), double(day), double(hour), double(minute),
                                       double(second)});
}

CalendarTime calendar_of(double jd)
{
    CalendarTime t{};
    jd_to_calendar(jd, t);
    return t;
}

// One test's world: sandbox clock in UTC (local time = the PC's UTC clock),
// a settings file of its own, the schedule's state as at program start.
class Schedule : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        std::filesystem::create_directories(sandbox_.path("appdata") + "/satclock");
        settings_init_path();
        app_settings = AppSettings{};
        app_settings.auto_update = true;
        correct_time_jd_prev.store(-1.0);
        correct_time_request.store(0);
        next_update_jd = -1.0;
        schedule_tick_count = 0;
        set_fix(true);
    }
    void TearDown() override
    {
        gps_fix_clear();
        correct_time_request.store(0);
        unsetenv("TZ");
        tzset();
    }

    // The PC clock at that UTC second plus 100 ms.
    void set_clock(int year, int month, int day, int hour, int minute, int second)
    {
        int64_t ft = 0;
        ASSERT_EQ(file_time_from_utc_fields({year, month, day, hour, minute, second, 100}, &ft), 1);
        ASSERT_EQ(platform_clock_set_ft(ft), 0);
    }

    // schedule_is_due(), and the clock's readings just before and after it,
    // between which its idea of now lies.
    struct DueCheck {
        int due = -1;
        double before = 0, after = 0;
    };
    static DueCheck check_due()
    {
        DueCheck check;
        check.before = now_jd();
        check.due = schedule_is_due();
        check.after = now_jd();
        return check;
    }

    void set_fix(bool fix)
    {
        gps_fix_clear();
        EXPECT_GT(gps_fix_decode_line(fix ? kGgaWithFix : kGgaNoFix), 0);
    }

    TestSandbox sandbox_;
};

TEST_F(Schedule, FifteenMinutesFromTheLastCorrection)
{
    app_settings.schedule_value = 4;
    double last = jd_of(2026, 12, 7, 10, 0, 0);
    correct_time_jd_prev.store(last);

    // A second before the moment; set again if a stall of the machine
    // carried the clock past it before the checks were done.
    int due = -1, requested = -1;
    do {
        set_clock(2026, 12, 7, 10, 14, 59);
        due = schedule_is_due();
        for (int i = 0; i < 10; ++i)
            schedule_tick();
        requested = correct_time_request.exchange(0);
    } while (now_jd() >= jd_of(2026, 12, 7, 10, 15, 0));
    EXPECT_EQ(due, 0);
    EXPECT_EQ(requested, 0);
    CalendarTime next = calendar_of(next_update_jd);
    EXPECT_EQ(next.hour, 10);
    EXPECT_EQ(next.minute, 15);
    EXPECT_EQ(next.second, 0);

    set_clock(2026, 12, 7, 10, 15, 0);
    EXPECT_EQ(schedule_is_due(), 1);
    set_clock(2026, 12, 7, 10, 16, 30);
    DueCheck overdue = check_due();
    EXPECT_EQ(overdue.due, 1);
    EXPECT_GE(next_update_jd, overdue.before) << "an overdue schedule follows the current time";
    EXPECT_LE(next_update_jd, overdue.after);
    EXPECT_EQ(app_settings.correct_time_jd_start, last);

    for (int i = 0; i < 9; ++i)
        schedule_tick();
    EXPECT_EQ(correct_time_request.load(), 0) << "only every tenth tick checks";
    schedule_tick();
    EXPECT_EQ(correct_time_request.load(), 1);
}

TEST_F(Schedule, WithoutAFixNothingIsDueUntilTheFixReturns)
{
    app_settings.schedule_value = 4;
    correct_time_jd_prev.store(jd_of(2026, 12, 7, 10, 0, 0));
    set_fix(false);
    set_clock(2026, 12, 7, 10, 20, 0);
    DueCheck check = check_due();
    EXPECT_EQ(check.due, 0);
    EXPECT_GE(next_update_jd, check.before);
    EXPECT_LE(next_update_jd, check.after);
    for (int i = 0; i < 20; ++i)
        schedule_tick();
    EXPECT_EQ(correct_time_request.load(), 0);

    set_fix(true);
    for (int i = 0; i < 10; ++i)
        schedule_tick();
    EXPECT_EQ(correct_time_request.load(), 1);
}

TEST_F(Schedule, AutoUpdateOffIsNeverWhateverTheInterval)
{
    app_settings.auto_update = false;
    correct_time_jd_prev.store(jd_of(2026, 1, 1, 0, 0, 0));
    set_clock(2026, 12, 7, 10, 20, 0);
    for (int value = 0; value < kScheduleIntervalCount; ++value) {
        SCOPED_TRACE(value);
        app_settings.schedule_value = value;
        EXPECT_EQ(schedule_is_due(), 0);
        EXPECT_EQ(next_update_jd, -1.0);
    }
}

TEST_F(Schedule, OnStartupRequestsOnceAtThePageBuildOnly)
{
    app_settings.schedule_value = kScheduleOnStartupIndex;
    correct_time_jd_prev.store(jd_of(2026, 1, 1, 0, 0, 0));
    set_clock(2026, 12, 7, 10, 20, 0);
    for (int i = 0; i < 30; ++i)
        schedule_tick();
    EXPECT_EQ(next_update_jd, 0.0) << "shown as On Next Startup";
    EXPECT_EQ(correct_time_request.load(), 0);

    EXPECT_EQ(schedule_request_on_startup(), 1);
    EXPECT_EQ(correct_time_request.load(), 1);

    correct_time_request.store(0);
    app_settings.auto_update = false;
    EXPECT_EQ(schedule_request_on_startup(), 0);
    app_settings.auto_update = true;
    app_settings.schedule_value = 4;
    EXPECT_EQ(schedule_request_on_startup(), 0);
    EXPECT_EQ(correct_time_request.load(), 0);
}

TEST_F(Schedule, MonthlyCountsCalendarMonths)
{
    app_settings.schedule_value = 14;
    struct {
        int base[6];
        int next[6];
    } cases[] = {
        {{2026, 3, 15, 8, 30, 0}, {2026, 4, 15, 8, 30, 0}},
        {{2027, 1, 31, 8, 30, 0}, {2027, 3, 3, 8, 30, 0}},   // "31 February"
        {{2028, 1, 31, 8, 30, 0}, {2028, 3, 2, 8, 30, 0}},   // leap year
        {{2026, 12, 20, 23, 59, 59}, {2027, 1, 20, 23, 59, 59}},
    };
    set_clock(2026, 1, 1, 0, 0, 0);  // before every base: the next moment is base + a month
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base[0] * 10000 + c.base[1] * 100 + c.base[2]);
        correct_time_jd_prev.store(jd_of(c.base[0], c.base[1], c.base[2], c.base[3], c.base[4], c.base[5]));
        EXPECT_EQ(schedule_is_due(), 0);
        CalendarTime next = calendar_of(next_update_jd);
        EXPECT_EQ(next.year, c.next[0]);
        EXPECT_EQ(next.month, c.next[1]);
        EXPECT_EQ(next.day, c.next[2]);
        EXPECT_EQ(next.hour, c.next[3]);
        EXPECT_EQ(next.minute, c.next[4]);
        EXPECT_EQ(next.second, c.next[5]);
    }
}

TEST_F(Schedule, FirstStartStoresTheMomentToCountFrom)
{
    app_settings.schedule_value = 10;  // daily
    set_clock(2026, 12, 7, 10, 0, 0);
    DueCheck first = check_due();
    EXPECT_EQ(first.due, 0);
    double now = app_settings.correct_time_jd_start;
    EXPECT_GE(now, first.before);
    EXPECT_LE(now, first.after);
    double stored = -5;
    ASSERT_TRUE(settings_flush(10000));  // written off the GUI thread
    EXPECT_EQ(settings_read_double(settings_keys::correct_time_jd_start, -5, stored), 1);
    EXPECT_NEAR(stored, now, 1e-6);
    EXPECT_NEAR(next_update_jd, now + 1, 1e-9);

    // The next start reads the stored moment instead of writing a new one.
    app_settings.correct_time_jd_start = -1;
    set_clock(2026, 12, 8, 9, 0, 0);
    EXPECT_EQ(schedule_is_due(), 0);
    EXPECT_NEAR(app_settings.correct_time_jd_start, now, 1e-6);
    set_clock(2026, 12, 8, 10, 0, 1);
    EXPECT_EQ(schedule_is_due(), 1);
    EXPECT_EQ(settings_read_double(settings_keys::correct_time_jd_start, -5, stored), 1);
    EXPECT_NEAR(stored, now, 1e-6) << "written once";
}

TEST_F(Schedule, OutOfTableAndNegativeValues)
{
    correct_time_jd_prev.store(jd_of(2026, 1, 1, 0, 0, 0));
    set_clock(2026, 12, 7, 10, 20, 0);
    for (int value : {0, 15, 20, 1000}) {
        SCOPED_TRACE(value);
        app_settings.schedule_value = value;
        next_update_jd = 123;
        EXPECT_EQ(schedule_is_due(), 0);
        EXPECT_EQ(next_update_jd, -1.0);
    }
    app_settings.schedule_value = -1;
    next_update_jd = 123;
    EXPECT_EQ(schedule_is_due(), 0);
    EXPECT_EQ(next_update_jd, 123.0) << "a negative value changes nothing";
}

}  // namespace
