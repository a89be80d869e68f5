// Clock commands: delay compensation, shifts, the settable span, hostile times;
// the locale language and the unit file text.
#include "clockkeeper/clock_commands.h"
#include "clockkeeper/command_policy.h"
#include "clockkeeper/service.h"
#include "clockkeeper/service_install.h"
#include "common/locale_language.h"
#include "platform/clock.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/test_env.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kMs = kFileTimeTicksPerMs;
constexpr int64_t kHour = 3600 * 1000 * kMs;
// 2026-12-07 12:00:00 UTC as a file time, a whole millisecond.
constexpr int64_t kNow = 134411184000000000LL;

struct TargetCase {
    const char* what;
    int64_t now;
    int64_t cur_ft;
    int64_t new_ft;
    bool settable;
    int64_t target;
};

TEST(SetCommandTarget, MovesNewTimeOnByTheChannelDelay)
{
    const TargetCase cases[] = {
        {"sent at the service's own reading", kNow, kNow, kNow + kHour, true, kNow + kHour},
        {"arrives 250 ms late", kNow, kNow - 250 * kMs, kNow + kHour, true, kNow + kHour + 250 * kMs},
        {"sender's clock ahead of ours", kNow, kNow + 40 * kMs, kNow, true, kNow - 40 * kMs},
        {"new time keeps its 100-ns ticks", kNow, kNow, kNow + 7, true, kNow + 7},
        {"first settable instant", kNow, kNow, kSettableFirstFt, true, kSettableFirstFt},
        {"before 1970", kNow, kNow, kSettableFirstFt - 1, false, 0},
        {"the year 2101", kNow, kNow, kSettableEndFt, false, 0},
        {"file time zero", kNow, kNow, 0, false, 0},
        {"new time with the top bit set", kNow, kNow, INT64_MIN + kNow, false, 0},
        {"sum past the 64-bit range", kNow, kNow - kHour, INT64_MAX - 5, false, 0},
        {"cur_ft with the top bit set", kNow, -1, kNow, false, 0},
        {"both with the top bit set, difference in range", kNow, -2, -2 + kHour, false, 0},
    };
    for (const TargetCase& c : cases) {
        int64_t target = 0;
        EXPECT_EQ(set_command_target(c.now, c.cur_ft, c.new_ft, &target), c.settable) << c.what;
        if (c.settable) {
            EXPECT_EQ(target, c.target) << c.what;
        }
    }
}

TEST(ShiftCommandTarget, AddsTheShiftToTheRawReadingOnly)
{
    const int64_t raw = kNow + 1234;  // sub-millisecond ticks kept in the raw reading
    const TargetCase cases[] = {
        {"shift 0 after a 250 ms delay leaves the clock", raw, kNow - 250 * kMs, 0, true, raw},
        {"shift after a 250 ms delay is not moved on by it", raw, kNow - 250 * kMs, 40, true, raw + 40 * kMs},
        {"five seconds on", raw, kNow, 5000, true, raw + 5000 * kMs},
        {"one hour back", raw, kNow, -3600 * 1000, true, raw - kHour},
        {"shift before 1970", raw, kNow, -(kNow / kMs), false, 0},
        {"shift past 2100", raw, kNow, 200LL * 365 * 86400 * 1000, false, 0},
        {"most negative shift", raw, kNow, INT64_MIN, false, 0},
        {"largest shift", raw, kNow, INT64_MAX, false, 0},
        {"cur_ft with the top bit set", raw, INT64_MIN, 0, false, 0},
        // 1844674407370955 ms is 2^64 - 1616 ticks: modulo 2^64 it would land just before now.
        {"shift whose ticks wrap 2^64", raw, kNow, 1844674407370955LL, false, 0},
    };
    for (const TargetCase& c : cases) {
        int64_t target = 0;
        EXPECT_EQ(shift_command_target(c.now, c.cur_ft, c.new_ft, &target), c.settable) << c.what;
        if (c.settable) {
            EXPECT_EQ(target, c.target) << c.what;
        }
    }
}

class ApplyOnSandbox : public ::testing::Test {
protected:
    void SetUp() override { service_log_set_quiet(true); }
    void TearDown() override { service_log_set_quiet(false); }
    TestSandbox sandbox;
};

TEST_F(ApplyOnSandbox, SetLandsOnTheTargetCutToAMillisecond)
{
    int64_t now = truncate_to_ms(platform_clock_read_ft());
    int64_t target = 0;
    int64_t begin_ns = platform_monotonic_ns();
    ASSERT_EQ(apply_set_command(now, now + kHour + 9999, &target), 1);
    double took_ms = double(platform_monotonic_ns() - begin_ns) / 1e6;
    EXPECT_GE(target, now + kHour + 9999);
    // The clock runs on between the service's reading and its set: by at
    // most as long as the command took.
    double moved_ms = clock_moved_ms(sandbox);
    EXPECT_LE(moved_ms, 3600000.0 + 1.0);
    EXPECT_GE(moved_ms, 3600000.0 - took_ms - 1.0);
}

TEST_F(ApplyOnSandbox, RefusedTargetsLeaveTheClockAlone)
{
    int64_t now = truncate_to_ms(platform_clock_read_ft());
    EXPECT_EQ(apply_set_command(now, 0), 0);
    EXPECT_EQ(apply_set_command(now, kSettableEndFt + kHour), 0);
    EXPECT_EQ(apply_shift_command(now, INT64_MIN), 0);
    EXPECT_EQ(apply_shift_command(-1, 0), 0);
    EXPECT_FALSE(sandbox.clock_was_set());
}

TEST(LocaleLanguage, FirstSetVariableDecides)
{
    struct Case {
        const char* language;
        const char* lc_all;
        const char* lang;
        const char* code;
        bool russian;
    } cases[] = {
        {"ru:en", "", "en_US.UTF-8", "ru", true},
        {"", "uk_UA.UTF-8", "en_US.UTF-8", "uk", true},
        {"", "", "kk_KZ", "kk", true},
        {"", "", "uz_UZ.UTF-8@cyrillic", "uz", true},
        {"de", "", "ru_RU.UTF-8", "de", false},
        {"", "", "C.UTF-8", "", false},
        {"", "POSIX", "ru_RU.UTF-8", "", false},
        {"", "", "", "", false},
    };
    unsetenv("LC_MESSAGES");
    for (const Case& c : cases) {
        setenv("LANGUAGE", c.language, 1);
        setenv("LC_ALL", c.lc_all, 1);
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(locale_primary_language(), c.code) << c.language << "|" << c.lc_all << "|" << c.lang;
        EXPECT_EQ(locale_is_russian_speaking(), c.russian) << c.language << "|" << c.lc_all << "|" << c.lang;
    }
}

TEST(ServiceUnit, NotifyTypeOwnPathAndDescription)
{
    std::string text = service_unit_text("/opt/Satclock/bin/clockkeeper", false);
    EXPECT_EQ(text,
              "# Setting the system time for Satclock\n"
              "[Unit]\nDescription=SetTime service Satclock\n\n"
              "[Service]\nType=notify\nExecStart=/opt/Satclock/bin/clockkeeper\n"
              "Restart=on-failure\nRestartSec=1\n"
              "CapabilityBoundingSet=CAP_SYS_TIME CAP_SYS_NICE\nNoNewPrivileges=yes\n"
              "RuntimeDirectory=satclock\nRuntimeDirectoryMode=0755\n"
              "ProtectSystem=strict\nPrivateTmp=yes\n\n"
              "[Install]\nWantedBy=multi-user.target\n");
    EXPECT_EQ(service_unit_text("/x", true).substr(0, 2 + std::string("Установка").size()), "# Установка");
}

TEST(ServiceUnit, PathsWithBlanksOrPercentAreQuoted)
{
    EXPECT_NE(service_unit_text("/opt/My Programs/clockkeeper", false)
                  .find("ExecStart=\"/opt/My Programs/clockkeeper\"\n"),
              std::string::npos);
    EXPECT_NE(service_unit_text("/opt/100%/clock\"keeper", false).find("ExecStart=\"/opt/100%%/clock\\\"keeper\"\n"),
              std::string::npos);
}

TEST(CommandPolicy, LinesPerAccountAreDueOnceAnIntervalWithTheirCount)
{
    UidLineLimit limit(1000);
    long long count = 0;
    EXPECT_TRUE(limit.note(5, 0, &count));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(limit.note(5, 10, &count));
    EXPECT_FALSE(limit.due(5, 999));
    EXPECT_FALSE(limit.note(5, 999, &count));
    EXPECT_TRUE(limit.note(6, 10, &count)) << "another account has a line of its own";
    EXPECT_TRUE(limit.due(5, 1000));
    EXPECT_TRUE(limit.note(5, 1000, &count));
    EXPECT_EQ(count, 3) << "the two held back, and this one";
}

TEST(CommandPolicy, RootTheServicesAccountAndTheGroupMayPost)
{
    struct Case {
        bool grouped, credentials;
        uid_t uid;
        gid_t gid;
        bool permitted;
    } cases[] = {
        {true, true, 0, 1, true},
        {true, true, geteuid(), 1, true},
        {true, true, 65534, 4242, true},    // the group is its own
        {true, true, 65534, 65534, false},  // nobody is in no group 4242
        {true, false, 0, 0, false},         // no credentials: nobody knows who sent it
        {false, true, 65534, 4242, false},  // without the group nobody is a member
    };
    for (const Case& c : cases) {
        CommandAccess access;
        access.reset(c.grouped, 4242);
        DatagramPeer sender{};
        sender.credentials = c.credentials;
        sender.uid = c.uid;
        sender.gid = c.gid;
        EXPECT_EQ(access.permitted(sender, 0), c.permitted) << c.grouped << " " << c.uid << " " << c.gid;
    }
}

}  // namespace
