// The receiver's output delay: putting it back into a correction's time, and
// learning it from the pulse.
#include "src/correction/nmea_delay.h"

#include "src/correction/gps_clock.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kSecond = 1000 * kMs;

int64_t ft_of(int year, int month, int day, int hour, int minute, int second, int millis)
{
    int64_t ft = 0;
    EXPECT_EQ(file_time_from_utc_fields({year, month, day, hour, minute, second, millis}, &ft), 1);
    return ft;
}

TEST(NmeaDelay, CompensationAddsTheDelayAndTheTimeSinceTheBurstBegan)
{
    const struct {
        const char* what;
        int64_t sentence_ft;
        int delay_ms;
        int64_t since_burst_ns;
        int64_t expected_ft;
    } cases[] = {
        {"the burst's first sentence, 4800 baud", ft_of(2026, 12, 7, 12, 0, 5, 0), 250, 160 * kMs,
         ft_of(2026, 12, 7, 12, 0, 5, 410)},
        {"a sentence late in its burst", ft_of(2026, 12, 7, 12, 0, 5, 0), 250, 480 * kMs + 400000,
         ft_of(2026, 12, 7, 12, 0, 5, 730)},
        {"rounded to the nearest millisecond", ft_of(2026, 12, 7, 12, 0, 5, 0), 0, 6 * kMs + 600000,
         ft_of(2026, 12, 7, 12, 0, 5, 7)},
        {"past midnight into the new year", ft_of(2026, 12, 31, 23, 59, 59, 0), 600, 500 * kMs,
         ft_of(2027, 1, 1, 0, 0, 0, 100)},
        {"no burst seen: the designed time", ft_of(2026, 12, 7, 12, 0, 5, 0), 250, -1, ft_of(2026, 12, 7, 12, 0, 5, 0)},
        {"a stale burst: the designed time", ft_of(2026, 12, 7, 12, 0, 5, 0), 250, 11 * kSecond,
         ft_of(2026, 12, 7, 12, 0, 5, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nmea_compensated_file_time(c.sentence_ft, c.delay_ms, c.since_burst_ns), c.expected_ft) << c.what;
}

// Bursts at 250 ms (+ a wander) after a pulse at every top of a second.
struct Seconds {
    NmeaDelayLearner learner;
    unsigned long edges = 0;
    int64_t second = 100 * kSecond;

    void burst(int64_t delay_ns, bool pulse = true)
    {
        second += kSecond;
        if (pulse)
            ++edges;
        learner.note_burst(second + delay_ns, edges, edges == 0 ? 0 : second - (pulse ? 0 : kSecond));
    }

    NmeaDelayEstimate estimate()
    {
        NmeaDelayEstimate e;
        EXPECT_TRUE(learner.estimate(&e));
        return e;
    }
};

TEST(NmeaDelay, LearningKeepsTheMedianAndShrugsOffOutliers)
{
    Seconds s;
    const int wander_ms[] = {-2, 1, 0, 2, -1, 1, -2, 0, 2, 1, -1, 0};
    for (int w : wander_ms)
        s.burst(248 * kMs + w * kMs);
    s.burst(900 * kMs);  // a late burst
    s.burst(3 * kMs);    // a stray edge just before the burst
    s.burst(600 * kMs);
    NmeaDelayEstimate e = s.estimate();
    EXPECT_EQ(e.median_ms, 248);
    EXPECT_LE(e.spread_ms, 3);
    EXPECT_EQ(e.samples, 15);
    // Only the last 15 seconds count: a new delay takes over.
    for (int i = 0; i < 15; ++i)
        s.burst(120 * kMs);
    EXPECT_EQ(s.estimate().median_ms, 120);
    EXPECT_EQ(s.estimate().spread_ms, 0);
}

TEST(NmeaDelay, SecondsWithoutAPulseGiveNoSample)
{
    Seconds s;
    for (int i = 0; i < 9; ++i)
        s.burst(250 * kMs);
    s.burst(250 * kMs, false);  // the pulse is missing: the last edge is the one before
    NmeaDelayEstimate e;
    EXPECT_FALSE(s.learner.estimate(&e)) << "nine seconds are not enough";
    EXPECT_EQ(s.learner.samples(), 9);
    s.burst(250 * kMs);
    EXPECT_EQ(s.estimate().median_ms, 250);
}

TEST(NmeaDelay, AnotherReceiverStartsAfresh)
{
    Seconds s;
    for (int i = 0; i < 15; ++i)
        s.burst(400 * kMs);
    s.learner.restart();
    NmeaDelayEstimate e;
    EXPECT_FALSE(s.learner.estimate(&e));
    for (int i = 0; i < 10; ++i)
        s.burst(150 * kMs);
    EXPECT_EQ(s.estimate().median_ms, 150);
}

TEST(NmeaDelay, NoPulseEverGivesNothing)
{
    NmeaDelayLearner learner;
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(learner.note_burst((100 + i) * kSecond + 250 * kMs, 0, 0));
    NmeaDelayEstimate e;
    EXPECT_FALSE(learner.estimate(&e));
}

}  // namespace
