// The sandbox clock: shared offset file, atomic rewrite, range checks.
#include "platform/clock.h"
#include "tests/support/test_env.h"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>
#include <cstdlib>

namespace {

constexpr int64_t kSecond = 1000000000LL;

int64_t real_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * kSecond + ts.tv_nsec;
}

TEST(SandboxClock, EveryTestStartsOnASandboxClock)
{
    // The test launcher names a clock file before any TestSandbox exists, so a
    // test that forgets its sandbox still never reaches the machine's clock.
    EXPECT_TRUE(platform_clock_is_sandbox());
    EXPECT_NE(std::getenv("SATCLOCK_CHANNEL_PREFIX"), nullptr);
}

TEST(SandboxClock, MissingFileRunsOnRealTime)
{
    TestSandbox sandbox;
    ASSERT_TRUE(platform_clock_is_sandbox());
    EXPECT_NEAR(double(platform_clock_read_ns()), double(real_ns()), 0.05 * kSecond);
}

TEST(SandboxClock, SetMovesEveryLaterReadingAndKeepsRealTimeUntouched)
{
    TestSandbox sandbox;
    int64_t target = real_ns() - 3600 * kSecond;
    ASSERT_EQ(platform_clock_set_ns(target), 0);
    EXPECT_NEAR(double(platform_clock_read_ns()), double(target), 0.05 * kSecond);
    EXPECT_NEAR(double(real_ns() - platform_clock_read_ns()), 3600.0 * kSecond, 0.05 * kSecond);

    std::ifstream file(sandbox.clock_file());
    long long offset = 0;
    file >> offset;
    EXPECT_NEAR(double(offset), -3600.0 * kSecond, 0.05 * kSecond);
}

TEST(SandboxClock, FileTimeRoundTrip)
{
    TestSandbox sandbox;
    // 2020-01-01 00:00:00 UTC as a file time.
    const int64_t ft2020 = 132223104000000000LL;
    ASSERT_EQ(platform_clock_set_ft(ft2020), 0);
    EXPECT_NEAR(double(platform_clock_read_ft() - ft2020), 0.0, 0.05 * 1e7);
    EXPECT_EQ(file_time_from_unix_ns(0), kFileTimeUnixEpoch);
    EXPECT_EQ(unix_ns_from_file_time(ft2020), 1577836800LL * kSecond);
}

TEST(SandboxClock, RefusesTimesTheClockCannotTake)
{
    TestSandbox sandbox;
    EXPECT_EQ(platform_clock_set_ft(kFileTimeUnixEpoch - 1), EINVAL);
    EXPECT_EQ(platform_clock_set_ft(INT64_MAX), EINVAL);
    EXPECT_EQ(platform_clock_set_ns(-1), EINVAL);
    EXPECT_NEAR(double(platform_clock_read_ns()), double(real_ns()), 0.05 * kSecond);
}

TEST(SandboxClock, CorruptFileReadsAsOffsetZero)
{
    TestSandbox sandbox;
    std::ofstream(sandbox.clock_file()) << "garbage\n";
    EXPECT_NEAR(double(platform_clock_read_ns()), double(real_ns()), 0.05 * kSecond);
}

TEST(SandboxClock, UnwritableFileFailsWithoutChangingTheClock)
{
    TestSandbox sandbox;
    std::string missing_folder_clock = sandbox.path("no-such-folder/clock");
    setenv("SATCLOCK_CLOCK_FILE", missing_folder_clock.c_str(), 1);
    EXPECT_EQ(platform_clock_set_ns(real_ns() + kSecond * 100), EIO);
    EXPECT_NEAR(double(platform_clock_read_ns()), double(real_ns()), 0.05 * kSecond);
}

}  // namespace

namespace {

TEST(SandboxClock, DeniedSetIsRefusedLikeAnOrdinaryUser)
{
    TestSandbox sandbox;
    int64_t before = platform_clock_read_ns();
    platform_clock_sandbox_deny_set(true);
    EXPECT_EQ(platform_clock_set_ns(real_ns() - 3600 * kSecond), EPERM);
    EXPECT_EQ(platform_clock_set_ft(132223104000000000LL), EPERM);
    platform_clock_sandbox_deny_set(false);
    EXPECT_NEAR(double(platform_clock_read_ns()), double(before), 0.05 * kSecond);
    EXPECT_EQ(platform_clock_set_ns(real_ns() - 3600 * kSecond), 0);
}

}  // namespace
