// End to end through gpsd: the simulated receiver on a pty read by Debian's
// gpsd (unpacked by scripts/deps.sh into build-deps/, never installed),
// Satclock reading gpsd's copy of the sentences, the real channel and
// `clockkeeper debug`, one sandbox clock. gpsd stopped, started without the
// receiver and handed it again: each cause shows on the way, and the clock
// is corrected again at the end.
#include "bench/correction_accuracy/correction_rig.h"

#include "src/gps/gps_fix.h"
#include "src/gps/link_status.h"
#include "src/receiver/receiver_status.h"
#include "src/ui/status_line.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;

bool status_says(const std::string& words) { return status_line_text().find(words) != std::string::npos; }

// Without 1PPS the clock takes the sentence's time as it was read: it lags
// by the sentence's transmission and gpsd's own delay, both inside the time
// from the simulator's carriage return to the set (whole milliseconds, each
// cut down, as through the port).
void expect_sentence_time(const CorrectionSample& s)
{
    EXPECT_LE(s.clock_error_ns, -s.sentence_delay_ns + 1 * kMs);
    EXPECT_GE(s.clock_error_ns, -s.sentence_delay_ns - s.set_latency_ns - 2 * kMs);
}

TEST(ThroughGpsd, CorrectsTheClockAndOutlivesGpsdGoingAndComing)
{
    std::string gpsd = source_dir() + "/build-deps/gpsd/usr/sbin/gpsd";
    ASSERT_EQ(access(gpsd.c_str(), X_OK), 0) << gpsd << ": run scripts/deps.sh, which unpacks gpsd there";
    TestSandbox box;
    RigOptions options;
    options.port = 12;
    options.gpsd_program = gpsd;
    CorrectionRig rig(build_dir() + "/bin", box.dir(), options);
    std::string error;
    ASSERT_TRUE(rig.start(&error)) << error;
    EXPECT_EQ(link_status_now().gpsd, rig.gpsd().address());
    EXPECT_EQ(link_status_now().device, rig.pty());
    EXPECT_TRUE(status_says("Read through gpsd at " + rig.gpsd().address())) << status_line_text();
    for (int64_t off : {3300 * kMs, -4700 * kMs}) {
        CorrectionSample s = rig.correct_once(off);
        ASSERT_TRUE(s.done) << s.failure;
        expect_sentence_time(s);
    }

    ASSERT_TRUE(rig.gpsd().stop());
    ASSERT_TRUE(wait_until([] { return status_says("gpsd is not running"); }, 8000)) << status_line_text();
    ASSERT_TRUE(rig.gpsd().start(gpsd, box.dir(), ""));
    std::string no_device = "gpsd at " + rig.gpsd().address() + " answers but has no device";
    ASSERT_TRUE(wait_until([&] { return status_says(no_device); }, 8000)) << status_line_text();
    ASSERT_TRUE(rig.gpsd().add_device(rig.pty()));
    ASSERT_TRUE(wait_until([] { return link_status_now().state == LinkState::open && gps_fix_copy().fix_quality > 0; },
                           8000));
    CorrectionSample s = rig.correct_once(-2600 * kMs);
    ASSERT_TRUE(s.done) << s.failure;
    expect_sentence_time(s);
    rig.stop();
}

}  // namespace
