// GPS time for chrony, end to end: the simulated receiver with a 250 ms
// output delay and 1PPS edges on the test device, the real reader and
// analysis threads, the real channel and `clockkeeper debug`, and a real
// chronyd (Debian's, unpacked by scripts/deps.sh into build-deps/) in the
// foreground with a private configuration made of the lines the
// configuration page shows. chronyd never touches the clock (-x); it
// measures the PC clock against the samples, so its offsets must be the
// sandbox clock's offset from the truth.
#include "bench/correction_accuracy/correction_rig.h"

#include "src/correction/analiz.h"
#include "src/correction/chrony_feed.h"
#include "tests/support/chronyd.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kClockOffsetNs = 1234567000;  // the sandbox PC clock runs this far ahead of the truth

// noselect: chronyd measures the sources without steering its own idea of
// the time by them, so the offsets stay the clock's. No NTP port.
std::string measuring_only(const std::string& refclock_lines)
{
    std::string conf = "port 0\n";
    std::istringstream lines(refclock_lines);
    for (std::string line; std::getline(lines, line);)
        conf += line + (line.rfind("refclock", 0) == 0 ? " noselect" : "") + "\n";
    return conf;
}

TEST(ChronyFeed, ChronydReachesGpsAndPpsAtTheClocksOffset)
{
    ASSERT_EQ(access((chrony_root() + "/usr/sbin/chronyd").c_str(), X_OK), 0)
        << "chrony is not unpacked: run sh scripts/deps.sh";
    TestSandbox box;
    std::string chrony_dir = box.path("chrony");
    setenv("SATCLOCK_CHRONY_SOCKET", (chrony_dir + "/satclock.sock").c_str(), 1);  // before the service starts
    RigOptions options;
    options.port = 12;
    options.pps = true;
    options.sim_options = {"--offset", "250", "--offset-jitter", "5"};
    CorrectionRig rig(build_dir() + "/bin", box.dir(), options);
    std::string error;
    ASSERT_TRUE(rig.start(&error)) << error;
    int learned = rig.learn_delay();
    ASSERT_GE(learned, 240);
    ASSERT_LE(learned, 260);

    Chronyd chronyd(chrony_dir);
    ASSERT_TRUE(chronyd.start(measuring_only(chrony_refclock_lines(chrony_line_facts_now())))) << chronyd.log();
    ASSERT_TRUE(rig_set_clock_offset(kClockOffsetNs));
    chrony_feed.store(1);
    correct_time_request.store(1);  // left waiting while chrony takes the time
    std::string csv;
    bool both = wait_until(
        [&] {
            csv = chronyd.ask("sources");
            return chrony_source_at_offset(csv, "GPS", kClockOffsetNs, 5 * kMs) &&
                   chrony_source_at_offset(csv, "PPS", kClockOffsetNs, 1 * kMs);
        },
        30000);
    correct_time_request.store(0);
    chrony_feed.store(0);
    EXPECT_TRUE(both) << "want GPS and PPS reached at " << kClockOffsetNs * 1e-9 << " s:\n" << csv << chronyd.log();
    // chrony took the time: the correction asked for did not set the PC clock.
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(kClockOffsetNs), 1e6);
    rig.stop();
}

}  // namespace
