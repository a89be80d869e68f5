// The checks before a step of the clock, and the question of a large step.
#include "src/correction/prestep_check.h"

#include "platform/time_units.h"
#include "src/correction/gps_clock.h"
#include "src/settings/settings_table.h"

#include "build_date.h"

#include <cstdio>
#include <mutex>

std::atomic<int> prestep_min_satellites{setting_default_int(settings_keys::min_satellites)};
std::atomic<int> prestep_step_cap_minutes{setting_default_int(settings_keys::step_cap_minutes)};

namespace {

constexpr int64_t kNsPerMinute = 60 * kNsPerSecond;

std::mutex question_lock;
StepQuestion question;  // under question_lock
unsigned last_question_id = 0;

int64_t magnitude(int64_t v) { return v < 0 ? -v : v; }

// SATCLOCK_BUILD_DATE is "YYYY-MM-DD", the day the program was built.
int64_t parse_build_day()
{
    int year = 0, month = 0, day = 0;
    if (std::sscanf(SATCLOCK_BUILD_DATE, "%d-%d-%d", &year, &month, &day) != 3)
        return 0;
    return days_from_civil(year, month, day);
}

}  // namespace

int64_t program_build_day()
{
    static const int64_t day = parse_build_day();
    return day;
}

DateCheck check_receiver_date(int year, int month, int day, int64_t build_day)
{
    DateCheck check;
    if (year == 0)
        return check;
    check.reported_day = days_from_civil(year, month ? month : 1, day ? day : 1);
    check.used_day = check.reported_day;
    if (check.reported_day >= build_day) {
        check.verdict = DateVerdict::ok;
    } else if (check.reported_day + kGpsRolloverDays >= build_day) {
        check.verdict = DateVerdict::rolled_over;
        check.used_day = check.reported_day + kGpsRolloverDays;
    } else {
        check.verdict = DateVerdict::refused;
    }
    return check;
}

int64_t prestep_step_cap_ns() { return int64_t(prestep_step_cap_minutes.load()) * kNsPerMinute; }

StepVerdict prestep_step_verdict(int64_t step_ns, int64_t target_ns, int64_t cap_ns)
{
    std::lock_guard guard(question_lock);
    if (cap_ns <= 0 || magnitude(step_ns) <= cap_ns) {
        question = StepQuestion{};  // whatever was asked no longer applies
        return StepVerdict::ok;
    }
    if (question.id != 0 && magnitude(step_ns - question.step_ns) <= kSameStepNs) {
        if (!question.answered)
            return StepVerdict::ask;
        return question.approved ? StepVerdict::approved : StepVerdict::declined;
    }
    question = StepQuestion{++last_question_id, step_ns, target_ns};
    return StepVerdict::ask;
}

StepQuestion step_question_now()
{
    std::lock_guard guard(question_lock);
    return question;
}

void step_question_answer(unsigned id, bool yes)
{
    std::lock_guard guard(question_lock);
    if (id == 0 || id != question.id)
        return;
    question.answered = true;
    question.approved = yes;
}

void step_question_forget_declined()
{
    std::lock_guard guard(question_lock);
    if (question.answered && !question.approved)
        question = StepQuestion{};
}

namespace {

CheckState fix_state(const GpsFix& fix, int min_satellites)
{
    if (fix.fix_quality == 0)
        return CheckState::unknown;
    return fix.fix_quality > 0 && fix.satellites >= min_satellites ? CheckState::ok : CheckState::failed;
}

CheckState date_state(const DateCheck& date)
{
    switch (date.verdict) {
    case DateVerdict::rolled_over:
        return CheckState::adjusted;
    case DateVerdict::refused:
        return CheckState::failed;
    default:
        return CheckState::ok;
    }
}

// A question asked shows as asked; else the offset measured now is the step.
void judge_step(PrestepList& list, const ClockOffset& offset, const StepQuestion& question)
{
    if (question.id != 0) {
        list.step_ns = question.step_ns;
        list.step_verdict = !question.answered ? StepVerdict::ask
                            : question.approved ? StepVerdict::approved
                                                : StepVerdict::declined;
        list.step = list.step_verdict == StepVerdict::ask        ? CheckState::waiting
                    : list.step_verdict == StepVerdict::approved ? CheckState::adjusted
                                                                 : CheckState::failed;
        return;
    }
    if (!offset.valid)
        return;
    list.step_ns = offset.offset_ns;
    bool over = list.cap_ns > 0 && magnitude(list.step_ns) > list.cap_ns;
    list.step_verdict = over ? StepVerdict::ask : StepVerdict::ok;
    list.step = over ? CheckState::waiting : CheckState::ok;
}

}  // namespace

PrestepList prestep_list(const GpsFix& fix, const ClockOffset& offset, const StepQuestion& question,
                         int min_satellites, int64_t cap_ns, int64_t build_day)
{
    PrestepList list;
    list.fix_quality = fix.fix_quality;
    list.satellites = fix.satellites;
    list.min_satellites = min_satellites;
    list.fix = fix_state(fix, min_satellites);
    list.build_day = build_day;
    if (fix.fix_quality != 0) {
        list.date_check = check_receiver_date(fix.year, fix.month, fix.day, build_day);
        list.date = date_state(list.date_check);
    }
    list.cap_ns = cap_ns;
    judge_step(list, offset, question);
    return list;
}

PrestepList prestep_list_now()
{
    return prestep_list(gps_fix_copy(), clock_offset_now(), step_question_now(), prestep_min_satellites.load(),
                        prestep_step_cap_ns(), program_build_day());
}
