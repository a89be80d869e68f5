// End to end: the simulated receiver on a pty, the real reader and analysis
// threads, the real channel and `clockkeeper debug`, one sandbox clock. The
// assertion is how far the clock ends from the truth the simulator logged,
// against the latencies the run measured (how fast is the benchmark's part).
#include "bench/correction_accuracy/correction_rig.h"

#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"
#include "tests/support/test_env.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr int64_t kMs = 1000000;
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int64_t kSlackNs = 50 * kMs;
#else
constexpr int64_t kSlackNs = 15 * kMs;  // about 1 ms as a rule; room for a loaded machine's pty
#endif

// Without 1PPS the clock takes the sentence's time as it was read, between
// its carriage return's arrival and the set: it lags by the sentence's
// transmission and at most the time to the set. The readings and the set
// are whole milliseconds, each cut down: the PC clock read with the sentence
// puts the clock up to 1 ms ahead, the service's reading and its set up to
// 2 ms behind.
void expect_sentence_time(const CorrectionSample& s)
{
    EXPECT_LE(s.clock_error_ns, -s.sentence_delay_ns + 1 * kMs);
    EXPECT_GE(s.clock_error_ns, -s.sentence_delay_ns - s.set_latency_ns - 2 * kMs);
}

class EndToEnd : public ::testing::TestWithParam<RigOptions> {
protected:
    TestSandbox box_;
};

TEST_P(EndToEnd, ClockEndsOnTheTruth)
{
    RigOptions options = GetParam();
    CorrectionRig rig(build_dir() + "/bin", box_.dir(), options);
    std::string error;
    ASSERT_TRUE(rig.start(&error)) << error;
    for (int64_t off : {3300 * kMs, -4700 * kMs}) {
        SCOPED_TRACE(off);
        CorrectionSample s = rig.correct_once(off);
        ASSERT_TRUE(s.done) << s.failure;
        EXPECT_GE(s.set_latency_ns, 0);
        if (options.pps)  // the clock reads a whole second where the edge was stamped
            EXPECT_NEAR(s.clock_error_ns, -s.edge_late_ns, 3 * kMs);
        else
            expect_sentence_time(s);
    }
    rig.stop();
}

// A receiver that begins its output 250 ms +-5 ms after each second: the
// delay is learned from its pulses, then a correction without 1PPS puts it back.
TEST(EndToEndDelay, LearnedDelayPutsTheClockOnTheTruth)
{
    TestSandbox box;
    RigOptions options;
    options.port = 10;
    options.pulses = true;
    options.sim_options = {"--offset", "250", "--offset-jitter", "5"};
    CorrectionRig rig(build_dir() + "/bin", box.dir(), options);
    std::string error;
    ASSERT_TRUE(rig.start(&error)) << error;
    int learned = rig.learn_delay();
    EXPECT_GE(learned, 245);
    EXPECT_LE(learned, 255);
    std::string receiver;
    ASSERT_TRUE(settings_flush(5000));  // the analysis thread posts what it learned to the settings writer
    EXPECT_EQ(settings_read_string(settings_keys::nmea_delay_receiver, "", receiver), 1);
    EXPECT_EQ(receiver, "COM10 4800");
    CorrectionSample s = rig.correct_once(-3300 * kMs);
    ASSERT_TRUE(s.done) << s.failure;
    EXPECT_LT(std::llabs(s.clock_error_ns), 5 * kMs + kSlackNs) << "designed: about 400 ms late";
    rig.stop();
}

RigOptions rig_options(int baud, bool pps, bool unprivileged)
{
    RigOptions options;
    options.port = 9;
    options.baud = baud;
    options.pps = pps;
    options.unprivileged = unprivileged;
    return options;
}

// A multi-constellation receiver ($GNGGA, $GNRMC) with whole-second times,
// taken in the GNSS mode: the clock lands on the top of the second it reports.
class EndToEndGnss : public EndToEnd {
protected:
    void SetUp() override { accept_gnss_talkers.store(1); }
    void TearDown() override { accept_gnss_talkers.store(0); }
};

TEST_F(EndToEndGnss, WholeSecondGnReceiverSetsTheClock)
{
    RigOptions options = rig_options(4800, false, false);
    options.sim_options = {"--talker", "GN", "--fraction-digits", "0"};
    CorrectionRig rig(build_dir() + "/bin", box_.dir(), options);
    std::string error;
    ASSERT_TRUE(rig.start(&error)) << error;
    CorrectionSample s = rig.correct_once(-2600 * kMs);
    ASSERT_TRUE(s.done) << s.failure;
    expect_sentence_time(s);
    rig.stop();
}

INSTANTIATE_TEST_SUITE_P(Cases, EndToEnd,
                         ::testing::Values(rig_options(4800, false, false), rig_options(115200, false, false),
                                           rig_options(4800, true, false), rig_options(4800, true, true)),
                         [](const ::testing::TestParamInfo<RigOptions>& info) {
                             return std::to_string(info.param.baud) + (info.param.pps ? "_pps" : "_nmea") +
                                    (info.param.unprivileged ? "_user" : "");
                         });

}  // namespace
