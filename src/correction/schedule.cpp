// The correction schedule: interval table, next moment, the 500 ms check.
#include "src/correction/schedule.h"

#include "src/correction/analiz.h"
#include "src/correction/calendar.h"
#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"

#define N_(text) text

// The periods of the short intervals are these decimal constants, not exact
// fractions of a day; kept so that the moments match the stored history.
const ScheduleInterval schedule_intervals[kScheduleIntervalCount] = {
    {N_("No scheduler interval"), kScheduleNever},
    {N_("On Startup"), kScheduleOnStartup},
    {N_("Every minute"), 0.000694444444444},
    {N_("Every  5 minutes"), 0.003472222222222},
    {N_("Every 15 minutes"), 0.010416666666666},
    {N_("Every 30 minutes"), 0.020833333333333},
    {N_("Hourly"), 0.041666666666666},
    {N_("Every  3 hours"), 0.125},
    {N_("Every  6 hours"), 0.25},
    {N_("Every 12 hours"), 0.5},
    {N_("Daily"), 1},
    {N_("Every 3 days"), 3},
    {N_("Weekly"), 7},
    {N_("Every 2 weeks"), 14},
    {N_("Monthly"), kScheduleMonthly},
};

double next_update_jd = -1.0;
int schedule_tick_count = 0;

namespace {

// Day numbers of whole seconds carry some 40 us of rounding from the way
// calendar_to_jd sums its terms, so "base + 15 minutes" may lie a hair after
// the day number of that very second. Moments are whole seconds: compare
// them to the half second.
constexpr double kHalfSecondDays = 0.5 / 86400.0;

// One calendar month on: day and time of day kept, the day past the month's
// end carried by calendar_to_jd (31 January gives early March).
double one_month_from(double base)
{
    CalendarTime t{};
    jd_to_calendar(base, t);
    t.month += 1;
    if (t.month > 12) {
        t.month = 1;
        t.year += 1;
    }
    return calendar_to_jd(t) - base;
}

// The base of the interval: the last correction, else the stored start,
// which the first check of an installation writes.
double schedule_base(double now)
{
    double prev = correct_time_jd_prev.load();
    if (prev >= 0) {
        app_settings.correct_time_jd_start = prev;
        return prev;
    }
    if (app_settings.correct_time_jd_start < 0) {
        double start = now;
        if (settings_read_double(settings_keys::correct_time_jd_start, now, start) < 1) {
            start = now;
            settings_post_double(settings_keys::correct_time_jd_start, start);
        }
        app_settings.correct_time_jd_start = start;
    }
    return app_settings.correct_time_jd_start;
}

}  // namespace

double schedule_period_days(int schedule_value, double base)
{
    if (schedule_value < 0 || schedule_value >= kScheduleIntervalCount)
        return kScheduleNever;
    double period = schedule_intervals[schedule_value].period_days;
    return period == kScheduleMonthly ? one_month_from(base) : period;
}

double schedule_next_update(int schedule_value, bool auto_update, double base, double now)
{
    double period = schedule_period_days(schedule_value, base);
    if (period == kScheduleNever || !auto_update)
        return -1.0;
    if (period == kScheduleOnStartup)
        return 0.0;
    double next = base + period;
    return now > next - kHalfSecondDays ? now : next;
}

int schedule_is_due()
{
    int value = app_settings.schedule_value;
    if (value < 0)
        return 0;
    double now = now_jd();
    double base = schedule_base(now);
    next_update_jd = schedule_next_update(value, app_settings.auto_update, base, now);
    return gps_fix_copy().fix_quality > 0 && next_update_jd == now ? 1 : 0;
}

void schedule_check()
{
    if (schedule_is_due() == 1)
        correct_time_request.store(1);
}

void schedule_tick()
{
    schedule_tick_count = (schedule_tick_count + 1) % 10;
    if (schedule_tick_count == 0)
        schedule_check();
}

int schedule_request_on_startup()
{
    if (app_settings.schedule_value != kScheduleOnStartupIndex || !app_settings.auto_update)
        return 0;
    correct_time_request.store(1);
    return 1;
}
