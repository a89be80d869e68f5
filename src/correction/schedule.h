// When the next automatic clock correction is due, checked every 500 ms on the
// user-interface thread. Moments are local J2000 day numbers (now_jd).
#pragma once

// One entry of the "Schedule Correction:" list; the index is schedule_value.
struct ScheduleInterval {
    const char* label;   // English message id, shown through the catalogue
    double period_days;  // kScheduleNever, kScheduleOnStartup, kScheduleMonthly or a period
};

inline constexpr double kScheduleNever = -1.0;
inline constexpr double kScheduleOnStartup = 0.0;
inline constexpr double kScheduleMonthly = -2.0;  // one calendar month from the base
inline constexpr int kScheduleIntervalCount = 15;
inline constexpr int kScheduleOnStartupIndex = 1;

extern const ScheduleInterval schedule_intervals[kScheduleIntervalCount];

// The next automatic correction as last computed: -1 never, 0 at the next
// start of the program, otherwise a moment. GUI thread only.
extern double next_update_jd;
// The 50 ms ticks counted modulo 10.
extern int schedule_tick_count;

// Length of the interval that starts at base, in days; kScheduleNever for
// index 0 and any index outside the table, 0 for "On Startup".
double schedule_period_days(int schedule_value, double base);

// next_update_jd for these inputs: -1, 0, or base + period (now once that
// second has come).
double schedule_next_update(int schedule_value, bool auto_update, double base, double now);

// 1 when an automatic correction is due now (auto update on, a periodic
// interval that has run out, and a fix). Recomputes next_update_jd; on the
// first check of an installation that never corrected, stores
// correct_time_jd_start.
int schedule_is_due();

// When a correction is due, sets correct_time_request.
void schedule_check();
// Called by the 50 ms refresh: every tenth call checks the schedule.
void schedule_tick();

// The start-up rule for the info page build: with "On Startup" chosen and
// auto update on, one correction is requested. Returns 1 when it was.
int schedule_request_on_startup();
