// The pre-step check: the receiver's date against the build day, the question
// of a step over the cap, and the list the GPS info page shows.
#include "src/correction/prestep_check.h"

#include "platform/clock.h"
#include "src/correction/gps_clock.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kHour = 3600 * kSecond;
constexpr int64_t kBuild = 20795;  // 2026-12-08 as days since 1970; the rules are relative to it

struct Civil {
    int year, month, day;
};

Civil civil_of(int64_t day)
{
    UtcFields f = utc_fields_from_file_time(kFileTimeUnixEpoch + day * kFileTimeTicksPerDay);
    return {f.year, f.month, f.day};
}

TEST(PrestepDate, BeforeTheBuildDayIsARollOverOrRefused)
{
    struct Case {
        int64_t reported;  // days since 1970; -1: no date sent
        DateVerdict verdict;
        int64_t used;
    } cases[] = {
        {-1, DateVerdict::none, 0},
        {kBuild, DateVerdict::ok, kBuild},
        {kBuild + 4000, DateVerdict::ok, kBuild + 4000},
        {kBuild - 1, DateVerdict::rolled_over, kBuild - 1 + kGpsRolloverDays},
        {kBuild - kGpsRolloverDays, DateVerdict::rolled_over, kBuild},
        {kBuild - kGpsRolloverDays - 1, DateVerdict::refused, kBuild - kGpsRolloverDays - 1},
        {days_from_civil(1980, 1, 6), DateVerdict::refused, days_from_civil(1980, 1, 6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reported);
        Civil date = c.reported < 0 ? Civil{0, 0, 0} : civil_of(c.reported);
        DateCheck check = check_receiver_date(date.year, date.month, date.day, kBuild);
        EXPECT_EQ(check.verdict, c.verdict);
        if (c.reported >= 0) {
            EXPECT_EQ(check.used_day, c.used);
        }
    }
    EXPECT_GT(program_build_day(), days_from_civil(2026, 1, 1)) << "the build gives its day";
}

TEST(PrestepStep, AStepOverTheCapIsAskedOnceAndMadeAfterYes)
{
    const int64_t cap = kHour;
    struct Step {
        int64_t step_ns;
        const char* answer;  // then answered: "yes", "no", "again" (the user asks for a correction), ""
        StepVerdict verdict;
        bool new_question;
    } steps[] = {
        {10 * kSecond, "", StepVerdict::ok, false},
        {2 * kHour, "", StepVerdict::ask, true},
        {2 * kHour + kSecond, "yes", StepVerdict::ask, false},  // the same step: no second question
        {2 * kHour - kSecond, "", StepVerdict::approved, false},
        {-3 * kHour, "no", StepVerdict::ask, true},           // another step: asked anew
        {-3 * kHour, "again", StepVerdict::declined, false},
        {-3 * kHour, "", StepVerdict::ask, true},
        {5 * kSecond, "", StepVerdict::ok, false},              // within the cap: the question goes
    };
    unsigned last_id = step_question_now().id;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.step_ns);
        EXPECT_EQ(prestep_step_verdict(s.step_ns, 0, cap), s.verdict);
        StepQuestion question = step_question_now();
        EXPECT_EQ(question.id != last_id && question.id != 0, s.new_question);
        if (question.id != 0)
            last_id = question.id;
        if (std::string(s.answer) == "yes" || std::string(s.answer) == "no")
            step_question_answer(question.id, std::string(s.answer) == "yes");
        if (std::string(s.answer) == "again")
            step_question_forget_declined();
    }
    EXPECT_EQ(step_question_now().id, 0u);
    EXPECT_EQ(prestep_step_verdict(400 * 24 * kHour, 0, 0), StepVerdict::ok) << "no cap: never asked";
}

TEST(PrestepList, EachCheckWithItsState)
{
    GpsFix fix{};
    fix.fix_quality = 1;
    fix.satellites = 5;
    Civil today = civil_of(kBuild + 3);
    fix.year = uint16_t(today.year);
    fix.month = uint8_t(today.month);
    fix.day = uint8_t(today.day);
    ClockOffset offset{true, 4 * kSecond, 150, OffsetSource::nmea};
    struct Case {
        const char* what;
        int quality, satellites, min_satellites;
        int64_t day_shift;  // days added to the fix's date
        int64_t offset_ns;
        CheckState fix, date, step;
    } cases[] = {
        {"all pass", 1, 5, 4, 0, 4 * kSecond, CheckState::ok, CheckState::ok, CheckState::ok},
        {"too few satellites", 1, 3, 4, 0, 4 * kSecond, CheckState::failed, CheckState::ok, CheckState::ok},
        {"no fix", -1, 0, 0, 0, 4 * kSecond, CheckState::failed, CheckState::ok, CheckState::ok},
        {"roll-over", 1, 5, 0, -kGpsRolloverDays, 4 * kSecond, CheckState::ok, CheckState::adjusted, CheckState::ok},
        {"refused date", 1, 5, 0, -kGpsRolloverDays - 10, 4 * kSecond, CheckState::ok, CheckState::failed,
         CheckState::ok},
        {"large step", 1, 5, 0, 0, 2 * kHour, CheckState::ok, CheckState::ok, CheckState::waiting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GpsFix f = fix;
        f.fix_quality = int8_t(c.quality);
        f.satellites = uint8_t(c.satellites);
        Civil date = civil_of(kBuild + 3 + c.day_shift);
        f.year = uint16_t(date.year);
        f.month = uint8_t(date.month);
        f.day = uint8_t(date.day);
        ClockOffset o = offset;
        o.offset_ns = c.offset_ns;
        PrestepList list = prestep_list(f, o, StepQuestion{}, c.min_satellites, kHour, kBuild);
        EXPECT_EQ(list.fix, c.fix);
        EXPECT_EQ(list.date, c.date);
        EXPECT_EQ(list.step, c.step);
    }
    PrestepList nothing = prestep_list(GpsFix{}, ClockOffset{}, StepQuestion{}, 0, kHour, kBuild);
    EXPECT_EQ(nothing.fix, CheckState::unknown);
    EXPECT_EQ(nothing.date, CheckState::unknown);
    EXPECT_EQ(nothing.step, CheckState::unknown);
}

}  // namespace
