// Seven seconds of each kind of receiver (tests/gps/captures), decoded with
// the GNSS mode off and on: which receivers give a fix the clock can be set
// from, and for which the hint tells the user to tick the box.
#include "src/gps/gnss_hint.h"
#include "src/gps/gps_fix.h"
#include "src/gps/nmea_line_assembler.h"
#include "tests/support/test_env.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

constexpr int64_t kSecondNs = 1000000000;

struct Receiver {
    const char* capture;
    bool fix_off;   // a positive result with a fix, mode off
    bool fix_on;    // the same, mode on
    bool hint_off;  // the hint after the capture, mode off
};

struct Outcome {
    bool fix = false;
    bool hint = false;
};

// Lines in order, a second per line of the capture's first sentence type.
Outcome play(const std::string& bytes, bool gnss)
{
    gps_fix_clear();
    accept_gnss_talkers.store(gnss ? 1 : 0);
    Outcome out;
    NmeaLineAssembler lines;
    std::string first_type;
    int64_t now = 0;
    lines.feed(bytes, [&](std::string_view line) {
        std::string type(line.substr(3, 3));
        if (first_type.empty())
            first_type = type;
        else if (type == first_type)
            now += kSecondNs;
        if (gps_fix_decode_line(line, now) > 0 && gps_fix_copy().fix_quality > 0)
            out.fix = true;
    });
    out.hint = gnss_hint_at(now).why != GnssRefusal::none;
    accept_gnss_talkers.store(0);
    return out;
}

TEST(GnssCaptures, FixAndHintPerReceiver)
{
    const Receiver receivers[] = {
        {"sirf_gp_ms", true, true, false},        {"ublox6_gp", true, true, false},
        {"trimble_gp_dgps", true, true, false},   {"ublox8_gn", false, true, true},
        {"ublox9_gn", false, true, true},         {"mtk3333_gn", false, true, true},
        {"quectel_gn", false, true, true},        {"skytraq_gn", false, true, true},
        {"glonass_gl", false, true, true},        {"galileo_ga", false, true, true},
        {"beidou_bd", false, true, true},         {"beidou_gb", false, true, true},
        {"garmin_gp_whole", false, true, true},   {"gp_one_digit_sats", false, true, true},
        {"rmc_only_gn_whole", false, true, true}, {"rmc_only_gp", false, true, false},
        {"no_fix_gn", false, false, true},
    };
    for (const Receiver& r : receivers) {
        SCOPED_TRACE(r.capture);
        std::ifstream in(source_dir() + "/tests/gps/captures/" + r.capture + ".nmea", std::ios::binary);
        ASSERT_TRUE(in);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        Outcome off = play(bytes.str(), false);
        EXPECT_EQ(off.fix, r.fix_off);
        EXPECT_EQ(off.hint, r.hint_off);
        Outcome on = play(bytes.str(), true);
        EXPECT_EQ(on.fix, r.fix_on);
        EXPECT_FALSE(on.hint);
    }
}

}  // namespace
