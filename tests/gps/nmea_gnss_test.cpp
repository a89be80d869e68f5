// The GNSS mode of the decoder: each acceptance rule with the mode off (the
// two-sentence results, record for record) and on, on sentences as the
// receivers of today send them.
#include "src/gps/nmea.h"
#include "tests/gps/nmea_sentences.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct GnssCase {
    const char* name;
    std::string line;
    int off;                 // result with the mode off
    int on;                  // result with the mode on (from a cleared record)
    GnssRefusal why;         // what the mode lifts
    int second, ms, quality, satellites;  // the record after the line, mode on (when taken)
};

std::vector<GnssCase> gnss_cases()
{
    return {
        {"MultiConstellationGN", nmea_sentence("GNGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"),
         NMEA_REJECTED, NMEA_GGA, GnssRefusal::talker, 25, 0, 1, 8},
        {"GlonassGL", nmea_sentence("GLGGA,101502.000,5545.2012,N,03737.1143,E,1,06,1.3,152.0,M,14.2,M,,"),
         NMEA_REJECTED, NMEA_GGA, GnssRefusal::talker, 2, 0, 1, 6},
        {"GalileoGA", nmea_sentence("GARMC,101503.250,A,5545.2012,N,03737.1143,E,0.02,,071226,,,A"),
         NMEA_REJECTED, NMEA_RMC, GnssRefusal::talker, 3, 250, 1, 0},
        {"BeidouBD", nmea_sentence("BDGGA,020304.000,3954.5512,N,11623.3301,E,1,11,0.8,48.3,M,-8.1,M,,"),
         NMEA_REJECTED, NMEA_GGA, GnssRefusal::talker, 4, 0, 1, 11},
        {"BeidouGB", nmea_sentence("GBRMC,020305.000,V,,,,,,,071226,,,N"),
         NMEA_REJECTED, NMEA_RMC, GnssRefusal::talker, 5, 0, -1, 0},
        {"GarminWholeSeconds", nmea_sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
         NMEA_REJECTED, NMEA_GGA, GnssRefusal::time_format, 19, 0, 1, 8},
        {"OneFractionDigit", nmea_sentence("GPRMC,123520.5,A,4807.038,N,01131.000,E,0.0,0.0,071226,,,A"),
         NMEA_REJECTED, NMEA_RMC, GnssRefusal::time_format, 20, 500, 1, 0},
        {"OneDigitSatellites", nmea_sentence("GPGGA,123521.000,4807.038,N,01131.000,E,1,7,1.2,545.4,M,46.9,M,,"),
         NMEA_REJECTED, NMEA_GGA, GnssRefusal::satellites, 21, 0, 1, 7},
        {"DesignedGgaUnchanged", gga_reference, NMEA_GGA, NMEA_GGA, GnssRefusal::none, 19, 0, 1, 8},
        {"TimeTooShort", nmea_sentence("GNGGA,12351,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
         NMEA_REJECTED, NMEA_REJECTED, GnssRefusal::none, 0, 0, 0, 0},
        {"ThreeDigitSatellites", nmea_sentence("GNGGA,123519.00,4807.038,N,01131.000,E,1,108,0.9,545.4,M,46.9,M,,"),
         NMEA_REJECTED, NMEA_REJECTED, GnssRefusal::none, 0, 0, 0, 0},
        {"ProprietaryIsNoTalker", nmea_sentence("PGRMC,A,218.8,100,,,,,,A,3,1,2,4,30"),
         NMEA_REJECTED, NMEA_REJECTED, GnssRefusal::none, 0, 0, 0, 0},
        {"LowerCaseTalker", nmea_sentence("gngga,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,"),
         NMEA_REJECTED, NMEA_REJECTED, GnssRefusal::none, 0, 0, 0, 0},
        {"OtherSentence", nmea_sentence("GNGSA,A,3,80,71,73,79,69,,,,,,,,1.83,1.09,1.47"),
         NMEA_REJECTED, NMEA_REJECTED, GnssRefusal::none, 0, 0, 0, 0},
        {"BadChecksum", "$GNGGA,092725.00,4717.11399,N,00833.91590,E,1,08,1.01,499.6,M,48.0,M,,*00\r",
         NMEA_BAD_CHECKSUM, NMEA_BAD_CHECKSUM, GnssRefusal::none, 0, 0, 0, 0},
    };
}

TEST(GnssMode, EachRuleOffAndOn)
{
    for (const GnssCase& c : gnss_cases()) {
        SCOPED_TRACE(c.name);
        GpsFix designed{}, off{};
        NmeaReceiverMemory memory;
        EXPECT_EQ(parse_nmea_line(c.line, off, memory, false), c.off);
        EXPECT_EQ(parse_nmea_line(c.line, designed), c.off);
        EXPECT_EQ(off, designed);
        EXPECT_EQ(nmea_gnss_refusal(c.line, GpsFix{}, NmeaReceiverMemory{}), c.why);

        GpsFix on{};
        NmeaReceiverMemory on_memory;
        EXPECT_EQ(parse_nmea_line(c.line, on, on_memory, true), c.on);
        EXPECT_EQ(on.second, c.second);
        EXPECT_EQ(gps_fraction_ms(on), c.ms);
        EXPECT_EQ(on.fix_quality, c.quality);
        EXPECT_EQ(on.satellites, c.satellites);
    }
}

std::string rmc(const char* time, char status)
{
    return nmea_sentence(std::string("GNRMC,") + time + "," + status + ",4807.038,N,01131.000,E,0.0,0.0,071226,,,A");
}

std::string gga(const char* time, int quality)
{
    return nmea_sentence(std::string("GNGGA,") + time + ",4807.038,N,01131.000,E," + std::to_string(quality) +
                         ",12,0.8,545.4,M,46.9,M,,");
}

// A receiver that sends RMC alone: its status is the fix, A then V; the
// satellites stay as they were.
TEST(GnssMode, RmcOnlyReceiverStatusIsTheFix)
{
    GpsFix fix{};
    fix.satellites = 5;
    NmeaReceiverMemory memory;
    EXPECT_EQ(parse_nmea_line(rmc("120001", 'A'), fix, memory, true), NMEA_RMC);
    EXPECT_EQ(fix.fix_quality, 1);
    EXPECT_EQ(fix.satellites, 5);
    EXPECT_EQ(parse_nmea_line(rmc("120002", 'V'), fix, memory, true), NMEA_RMC);
    EXPECT_EQ(fix.fix_quality, -1);

    GpsFix off{};  // mode off: a $GPRMC-only receiver never shows a fix
    NmeaReceiverMemory off_memory;
    std::string gprmc = nmea_sentence("GPRMC,120001.000,A,4807.038,N,01131.000,E,0.0,0.0,071226,,,A");
    EXPECT_EQ(parse_nmea_line(gprmc, off, off_memory, false), NMEA_RMC);
    EXPECT_EQ(off.fix_quality, 0);
}

// A receiver that sends GGA and RMC keeps the GGA's quality whatever the RMC
// status says, until its GGA has been missing for more than 3 s.
TEST(GnssMode, ReceiverWithGgaKeepsTheGgaQuality)
{
    GpsFix fix{};
    NmeaReceiverMemory memory;
    EXPECT_EQ(parse_nmea_line(gga("235959.00", 2), fix, memory, true), NMEA_GGA);
    EXPECT_EQ(parse_nmea_line(rmc("235959.00", 'V'), fix, memory, true), NMEA_SAME_SECOND);
    EXPECT_EQ(fix.fix_quality, 2);
    EXPECT_EQ(parse_nmea_line(rmc("000002.00", 'V'), fix, memory, true), NMEA_RMC);  // 3 s, over midnight
    EXPECT_EQ(fix.fix_quality, 2);
    EXPECT_EQ(parse_nmea_line(rmc("000003.00", 'A'), fix, memory, true), NMEA_RMC);
    EXPECT_EQ(fix.fix_quality, 1);
}

TEST(GnssMode, SentenceTypeWhateverTheTalker)
{
    EXPECT_TRUE(nmea_sentence_is(rmc("120000", 'A'), "RMC"));
    EXPECT_TRUE(nmea_sentence_is("$GPRMC,", "RMC"));
    EXPECT_FALSE(nmea_sentence_is(gga("120000", 1), "RMC"));
    EXPECT_FALSE(nmea_sentence_is("$RMC", "RMC"));
}

}  // namespace
