// The shared fix record: decoding into it, clearing it, and copies taken while
// the decoder writes.
#include "src/gps/gnss_hint.h"
#include "src/gps/gps_fix.h"
#include "src/gps/nmea.h"
#include "tests/gps/nmea_sentences.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

TEST(SharedGpsFix, DecodeThenClear)
{
    gps_fix_clear();
    EXPECT_EQ(gps_fix_decode_line(gga_reference), NMEA_GGA);
    GpsFix copy = gps_fix_copy();
    EXPECT_EQ(copy.fix_quality, 1);
    EXPECT_EQ(copy.satellites, 8);
    EXPECT_EQ(gps_fix_decode_line(gga_reference), NMEA_SAME_SECOND);
    gps_fix_clear();
    EXPECT_EQ(gps_fix_copy(), GpsFix{});
}

// Two sentences that differ in every field the GGA writes: a copy must be one
// whole record or the other, never a mixture.
TEST(SharedGpsFix, ReadersNeverSeeAHalfWrittenRecord)
{
    const std::string a = nmea_sentence("GPGGA,010101.111,1111.111,N,01111.111,E,1,11,0.9,111.1,M,1.0,M,,");
    const std::string b = nmea_sentence("GPGGA,222222.222,2222.222,S,02222.222,W,2,22,0.9,222.2,M,2.0,M,,");
    GpsFix record_a{}, record_b{};
    ASSERT_EQ(parse_nmea_line(a, record_a), NMEA_GGA);
    ASSERT_EQ(parse_nmea_line(b, record_b), NMEA_GGA);

    gps_fix_clear();
    gps_fix_decode_line(a);
    std::atomic<bool> done{false};
    std::atomic<long> torn{0};
    std::atomic<long> copies{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!done.load()) {
                gnss_hint_now();  // as the GUI reads the hint while lines are refused
                GpsFix copy = gps_fix_copy();
                if (copy != record_a && copy != record_b)
                    ++torn;
                ++copies;
            }
        });
    const std::string refused = nmea_sentence("GNGGA,222222.22,2222.222,S,02222.222,W,2,22,0.9,222.2,M,2.0,M,,");
    // On a loaded machine the readers may not run at all during 50000 writes:
    // write on until they have read, too.
    for (long i = 0; i < 50000 || copies.load() < 1000; ++i) {
        gps_fix_decode_line(i % 2 ? a : b);
        if (i % 7 == 0)
            gps_fix_decode_line(refused);
    }
    done = true;
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_GT(copies.load(), 0);
    gps_fix_clear();
}

}  // namespace
