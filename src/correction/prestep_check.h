// What is checked before the PC clock is stepped: a fix with enough
// satellites, a receiver date not before the day this program was built (a
// GPS week roll-over is moved forward by 1024 weeks), and a step no larger
// than the cap unless the user agreed to it in the window.
//
// The analysis thread runs the checks before every correction; the window
// shows them as a list and answers the question of a large step. Neither
// ever waits for the other: the question is a value both read and write.
#pragma once

#include "src/correction/clock_offset.h"
#include "src/gps/gps_fix.h"

#include <atomic>
#include <cstdint>

// GPS counts weeks in ten bits: every 1024 weeks a receiver whose firmware
// does not know the epoch reports dates 1024 weeks early.
inline constexpr int64_t kGpsRolloverDays = 1024 * 7;

// Days since 1970-01-01 (UTC) of the day this program was built.
int64_t program_build_day();

// The pre-step settings: at least this many satellites in use (0: a fix is
// enough), and a step larger than this many minutes is asked for (0: never).
extern std::atomic<int> prestep_min_satellites;
extern std::atomic<int> prestep_step_cap_minutes;

enum class DateVerdict {
    none,         // the receiver sent no date (no RMC): the PC's date is used
    ok,           // not before the build day
    rolled_over,  // within 1024 weeks before it: moved forward 1024 weeks
    refused,      // further back: no correction from it
};

struct DateCheck {
    DateVerdict verdict = DateVerdict::none;
    int64_t reported_day = 0;  // days since 1970 of the receiver's date
    int64_t used_day = 0;      // after the roll-over
};

// The receiver's date (year 0: none sent; month or day 0: the first) against
// the build day.
DateCheck check_receiver_date(int year, int month, int day, int64_t build_day);

enum class StepVerdict {
    ok,        // within the cap (or no cap)
    approved,  // over the cap, and the user said yes to it
    ask,       // over the cap: waiting for the user's answer
    declined,  // over the cap, and the user said no to it
};

// Steps within this of the one asked about count as the same step: the
// receiver's time and the PC clock's drift move it a little between seconds.
inline constexpr int64_t kSameStepNs = 2000000000;

// The open question of a large step, for the window. id 0: none.
struct StepQuestion {
    unsigned id = 0;
    int64_t step_ns = 0;    // GPS time minus the PC clock
    int64_t target_ns = 0;  // the GPS time the clock would be set to (UTC ns since 1970)
    bool answered = false;
    bool approved = false;
};

// The analysis thread's side: may the clock move by step_ns now? Over the
// cap, a step not asked about yet opens a question (the earlier one is
// dropped); an approved step is used once.
StepVerdict prestep_step_verdict(int64_t step_ns, int64_t target_ns, int64_t cap_ns);
// The cap in force, in ns (0: none).
int64_t prestep_step_cap_ns();

// The window's side.
StepQuestion step_question_now();
void step_question_answer(unsigned id, bool yes);
// "Correct PC Clock Now!": a step declined before is asked about again.
void step_question_forget_declined();

// --- The list the GPS info page shows: what the next correction would meet ---

enum class CheckState {
    unknown,   // nothing to judge yet (no data, no offset measured)
    ok,
    adjusted,  // passes after a change: a roll-over date moved, a large step approved
    waiting,   // a large step: the window asks, or will
    failed,    // no correction while it lasts
};

struct PrestepList {
    CheckState fix = CheckState::unknown;
    int fix_quality = 0;
    int satellites = 0;
    int min_satellites = 0;

    CheckState date = CheckState::unknown;
    DateCheck date_check;
    int64_t build_day = 0;

    CheckState step = CheckState::unknown;
    int64_t step_ns = 0;  // GPS time minus the PC clock: the step a correction would make
    int64_t cap_ns = 0;   // 0: no cap
    StepVerdict step_verdict = StepVerdict::ok;
};

PrestepList prestep_list(const GpsFix& fix, const ClockOffset& offset, const StepQuestion& question,
                         int min_satellites, int64_t cap_ns, int64_t build_day);
// The same with the values in force now.
PrestepList prestep_list_now();
