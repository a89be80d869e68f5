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

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;
constexpr int64_t kClockOffsetNs = 1234567000;  // the sandbox PC clock runs this far ahead of the truth

// One refclock of `chronyc -c sources`: reach (octal text) and the measured
// offset of the PC clock from the source (above 0: the clock is ahead), in s.
struct ChronySource {
    bool listed = false;
    bool reachable = false;
    double offset_s = 0;
};

ChronySource parse_source(const std::string& csv, const std::string& name)
{
    std::vector<std::string> fields = chrony_source_fields(csv, name);
    if (fields.empty())
        return ChronySource{};
    return ChronySource{true, fields[5] != "0", std::strtod(fields[8].c_str(), nullptr)};
}

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

bool near_offset(const ChronySource& source, int64_t tolerance_ns)
{
    return source.reachable && std::llabs(std::llround(source.offset_s * 1e9) - kClockOffsetNs) <= tolerance_ns;
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
    ChronySource gps, pps;
    bool both = wait_until(
        [&] {
            std::string csv = chronyd.ask("sources");
            gps = parse_source(csv, "GPS");
            pps = parse_source(csv, "PPS");
            return near_offset(gps, 5 * kMs) && near_offset(pps, 1 * kMs);
        },
        30000);
    correct_time_request.store(0);
    chrony_feed.store(0);
    EXPECT_TRUE(both) << "GPS reachable " << gps.reachable << " offset " << gps.offset_s << " s, PPS reachable "
                      << pps.reachable << " offset " << pps.offset_s << " s, want " << kClockOffsetNs * 1e-9
                      << " s\n" << chronyd.log();
    // chrony took the time: the correction asked for did not set the PC clock.
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(kClockOffsetNs), 1e6);
    rig.stop();
}

}  // namespace
