// Decoding of GGA and RMC lines into the fix record: accepted and rejected
// sentences, checksums, the fraction digits and the same-second rule.
#include "src/gps/nmea.h"
#include "tests/gps/nmea_sentences.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

// The record as a previous sentence left it; every case starts from it.
GpsFix previous_record()
{
    return {.year = 2017, .month = 5, .day = 6, .hour = 1, .minute = 2, .second = 3, .fraction = 4,
            .fraction_digits = 1, .latitude = 10.5, .longitude = -20.25, .altitude = 100.0, .fix_quality = 2,
            .satellites = 5};
}

void expect_same_record(const GpsFix& got, const GpsFix& want)
{
    EXPECT_EQ(got.year, want.year);
    EXPECT_EQ(got.month, want.month);
    EXPECT_EQ(got.day, want.day);
    EXPECT_EQ(got.hour, want.hour);
    EXPECT_EQ(got.minute, want.minute);
    EXPECT_EQ(got.second, want.second);
    EXPECT_EQ(got.fraction, want.fraction);
    EXPECT_EQ(got.fraction_digits, want.fraction_digits);
    EXPECT_NEAR(got.latitude, want.latitude, 1e-9);
    EXPECT_NEAR(got.longitude, want.longitude, 1e-9);
    EXPECT_NEAR(got.altitude, want.altitude, 1e-9);
    EXPECT_EQ(got.fix_quality, want.fix_quality);
    EXPECT_EQ(got.satellites, want.satellites);
}

void gga_reference_fields(GpsFix& f)
{
    f.hour = 12;
    f.minute = 35;
    f.second = 19;
    f.fraction = 0;
    f.fraction_digits = 3;
    f.latitude = 48 + 7.038 / 60;
    f.longitude = 11 + 31.0 / 60;
    f.altitude = 545.4;
    f.fix_quality = 1;
    f.satellites = 8;
}

void rmc_reference_fields(GpsFix& f)
{
    f.hour = 12;
    f.minute = 35;
    f.second = 19;
    f.fraction = 0;
    f.fraction_digits = 3;
    f.year = 2018;
    f.month = 12;
    f.day = 19;
}

void unchanged(GpsFix&) {}

struct DecodeCase {
    const char* name;
    std::string line;
    int result;
    std::function<void(GpsFix&)> change;  // what the sentence does to previous_record()
};

const std::string rmc_body = "GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,191218,003.1,W";

std::string lower_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::vector<DecodeCase> decode_cases()
{
    return {
        {"GgaReference", gga_reference, NMEA_GGA, gga_reference_fields},
        {"GgaWest", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,W,1,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.longitude = -(11 + 31.0 / 60); }},
        {"GgaSouthLowerCase", nmea_sentence("GPGGA,123519.000,4807.038,s,01131.000,e,1,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.latitude = -(48 + 7.038 / 60); }},
        {"GgaWithoutChecksum", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,\r", NMEA_GGA,
         gga_reference_fields},
        {"GgaWithoutLineEnd", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59", NMEA_GGA,
         gga_reference_fields},
        {"GgaWithCrLf", gga_reference + "\n", NMEA_GGA, gga_reference_fields},
        {"SentenceIdAnyCase", nmea_sentence(lower_case("GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")),
         NMEA_GGA, gga_reference_fields},
        {"WrongChecksum", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*58\r", NMEA_BAD_CHECKSUM, unchanged},
        {"ChecksumOneDigit", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*5", NMEA_BAD_CHECKSUM, unchanged},
        {"NoDollar", gga_reference.substr(1), NMEA_BAD_CHECKSUM, unchanged},
        {"ByteBeforeDollar", " " + gga_reference, NMEA_BAD_CHECKSUM, unchanged},
        {"Empty", "", NMEA_BAD_CHECKSUM, unchanged},
        {"NulInsideLine", std::string(gga_reference).insert(40, 1, '\0'), NMEA_BAD_CHECKSUM, unchanged},
        {"NulAfterChecksum", gga_reference + '\0', NMEA_BAD_CHECKSUM, unchanged},
        {"TimeWithoutFraction", nmea_sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED, unchanged},
        {"TimeWithOneFractionDigit", nmea_sentence("GPGGA,123519.5,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED,
         unchanged},
        {"OtherTalker", nmea_sentence("GNRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,191218,003.1,W"), NMEA_REJECTED, unchanged},
        {"OtherSentence", nmea_sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00"), NMEA_REJECTED, unchanged},
        {"LongerSentenceId", nmea_sentence("GPGGAX,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED, unchanged},
        {"QualityZeroIsNoFix", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.fix_quality = -1; }},
        {"QualityEmpty", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,,08,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED, unchanged},
        {"QualityTwoDigits", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,12,08,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED, unchanged},
        {"SatellitesOneDigit", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,1,8,0.9,545.4,M,46.9,M,,"), NMEA_REJECTED, unchanged},
        {"NoPositionYet", nmea_sentence("GPGGA,123519.000,,,,,0,00,,,M,,M,,"), NMEA_GGA,
         [](GpsFix& f) { f.hour = 12; f.minute = 35; f.second = 19; f.fraction = 0; f.fraction_digits = 3;
                         f.fix_quality = -1; f.satellites = 0; }},
        {"NoGeoidSeparationKeepsAltitude", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.altitude = 100.0; }},
        {"GgaEndsBeforeGeoidSeparation", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.altitude = 100.0; }},
        {"ShortPositionKeepsOld", nmea_sentence("GPGGA,123519.000,4807.03,N,1131.00,E,1,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.latitude = 10.5; f.longitude = -20.25; }},
        {"LatitudeWithThreeDegreeDigits", nmea_sentence("GPGGA,123519.000,04807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         gga_reference_fields},
        {"PositionWithoutPointIsZero", nmea_sentence("GPGGA,123519.000,48070380,N,011310000,W,1,08,0.9,545.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.latitude = 0.0; f.longitude = 0.0; }},
        {"MalformedNumbersConvertLeniently", nmea_sentence("GPGGA,1x35y9.abc,4807.038,N,01131.000,E,x,ab,0.9,5x5.4,M,46.9,M,,"), NMEA_GGA,
         [](GpsFix& f) { gga_reference_fields(f); f.hour = 1; f.minute = 35; f.second = 0; f.fraction_digits = 0;
                         f.fix_quality = -1; f.satellites = 0; f.altitude = 5.0; }},
        {"EightFields", nmea_sentence("GPGGA,123519.000,4807.038,N,01131.000,E,1,08"), NMEA_REJECTED, unchanged},
        {"RmcDate", nmea_sentence(rmc_body), NMEA_RMC, rmc_reference_fields},
        {"RmcChecksumInLowerCase", "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.6,084.4,191218,003.1,W*7b\r", NMEA_RMC,
         rmc_reference_fields},
        {"RmcDateLastFieldWithoutChecksum", "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,191218\r", NMEA_RMC,
         rmc_reference_fields},
        {"RmcDateFiveCharacters", nmea_sentence("GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,19121,003.1,W"), NMEA_REJECTED,
         unchanged},
        {"RmcDateSevenCharacters", nmea_sentence("GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,1912180,003.1,W"),
         NMEA_REJECTED, unchanged},
        {"RmcWithoutDateField", nmea_sentence("GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4"), NMEA_REJECTED, unchanged},
        {"RmcTimeWithoutFraction", nmea_sentence("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,191218,003.1,W"), NMEA_REJECTED,
         unchanged},
        {"SameMinuteAndSecond", nmea_sentence("GPRMC,230203.250,A,,,,,,,311299,,"), NMEA_SAME_SECOND,
         [](GpsFix& f) { f.hour = 23; f.fraction = 250; f.fraction_digits = 3; f.year = 2099; f.month = 12; f.day = 31; }},
        {"HugeNumbersStayFinite",
         nmea_sentence("GPGGA,123519.000,4807." + std::string(300, '9') + ",N,01131.000,E,1,08,0.9," +
                       std::string(400, '9') + ",M,46.9,M,,"),
         NMEA_GGA, nullptr},
    };
}

TEST(Decode, SentencesGiveResultAndRecord)
{
    for (const DecodeCase& c : decode_cases()) {
        SCOPED_TRACE(c.name);
        GpsFix fix = previous_record();
        EXPECT_EQ(parse_nmea_line(c.line, fix), c.result);
        if (!c.change) {  // only sanity: no infinities or NaNs reach the record
            EXPECT_TRUE(std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::isfinite(fix.altitude));
            continue;
        }
        GpsFix want = previous_record();
        c.change(want);
        expect_same_record(fix, want);
    }
}

TEST(Decode, PointerEntryNeedsNoTerminatorAndWritesNothing)
{
    std::string buffer = gga_reference + "TRAILING";
    const std::string before = buffer;
    GpsFix fix{};
    EXPECT_EQ(parse_nmea_line(buffer.data(), gga_reference.size(), &fix), NMEA_GGA);
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(fix.satellites, 8);
    EXPECT_EQ(parse_nmea_line(nullptr, 10, &fix), NMEA_BAD_CHECKSUM);
    EXPECT_EQ(parse_nmea_line(buffer.data(), buffer.size(), nullptr), NMEA_REJECTED);
}

TEST(Decode, FirstSentenceOfASecondIsPositiveTheRestSameSecond)
{
    GpsFix fix{};
    EXPECT_EQ(parse_nmea_line(gga_reference, fix), NMEA_GGA);
    EXPECT_EQ(parse_nmea_line(nmea_sentence(rmc_body), fix), NMEA_SAME_SECOND);
    EXPECT_EQ(fix.year, 2018);  // the date is still taken
    EXPECT_EQ(fix.day, 19);
    EXPECT_EQ(parse_nmea_line(gga_reference, fix), NMEA_SAME_SECOND);
    EXPECT_EQ(parse_nmea_line(nmea_sentence("GPRMC,123520.000,A,,,,,,,191218,,"), fix), NMEA_RMC);
    EXPECT_EQ(parse_nmea_line(nmea_sentence("GPGGA,123620.000,,,,,1,04,,,M,,M,,"), fix), NMEA_GGA);  // minute changed only
}

struct FractionCase {
    const char* time;
    int fraction;
    int digits;
    int ms;
};

TEST(Fraction, DigitsGiveTrueMilliseconds)
{
    const FractionCase cases[] = {FractionCase{"123519.50", 50, 2, 500}, FractionCase{"123519.500", 500, 3, 500},
                                         FractionCase{"123519.05", 5, 2, 50}, FractionCase{"123519.000", 0, 3, 0},
                                         FractionCase{"123519.999", 999, 3, 999}, FractionCase{"123519.1234", 1234, 4, 123},
                                         FractionCase{"123519.123456", 1234, 4, 123}, FractionCase{"123519.5x", 5, 1, 500},
                                         FractionCase{"123519.x5", 0, 0, 0}, FractionCase{"123519.-5", 0, 0, 0}};
    for (const FractionCase& c : cases) {
        SCOPED_TRACE(c.time);
        GpsFix fix{};
        ASSERT_EQ(parse_nmea_line(nmea_sentence(std::string("GPRMC,") + c.time + ",A,,,,,,,191218,,"), fix), NMEA_RMC);
        EXPECT_EQ(fix.fraction, c.fraction);
        EXPECT_EQ(fix.fraction_digits, c.digits);
        EXPECT_EQ(gps_fraction_ms(fix), c.ms);
    }
}

TEST(Fraction, RecordWithoutDigitCountTakesFractionAsMilliseconds)
{
    GpsFix fix{};
    fix.fraction = 437;
    EXPECT_EQ(gps_fraction_ms(fix), 437);
    fix.fraction = 5000;
    EXPECT_EQ(gps_fraction_ms(fix), 999);
}

struct ChecksumCase {
    const char* name;
    std::string line;
    int ok;
};

TEST(Checksum, Rule)
{
    const ChecksumCase cases[] = {ChecksumCase{"Matches", gga_reference, 1},
                    ChecksumCase{"Differs", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*95\r", 0},
                    ChecksumCase{"OtherSum", "$GPRMC,1*6A", 0}, ChecksumCase{"LowerHexMatches", "$A*41", 1},
                    ChecksumCase{"UpperHexMatches", "$J*4A", 1}, ChecksumCase{"LowerHexLetter", "$J*4a", 1},
                    ChecksumCase{"NotHex", "$J*4Z", 0}, ChecksumCase{"NoStar", "$GPGGA,anything at all", 1},
                    ChecksumCase{"DollarOnly", "$", 1}, ChecksumCase{"Empty", "", 0},
                    ChecksumCase{"NoDollar", "GPGGA*00", 0}, ChecksumCase{"StarAtEnd", "$A*", 0},
                    ChecksumCase{"OneDigit", "$A*4", 0}, ChecksumCase{"FirstStarCounts", "$A*41*00", 1},
                    ChecksumCase{"EmptyBody", "$*00", 1}, ChecksumCase{"NulInside", std::string("$A\0*41", 6), 0}};
    for (const ChecksumCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nmea_checksum_ok(c.line), c.ok);
        if (c.line.find('\0') == std::string::npos) {
            EXPECT_EQ(nmea_checksum_ok(c.line.c_str()), c.ok);
        }
    }
}

TEST(StrEqualNocase, ComparesFoldedBytesUpToNOrNul)
{
    EXPECT_EQ(str_equal_nocase("$GPGGA", "$gpgga", 6), 0);
    EXPECT_EQ(str_equal_nocase("COM12", "com1", 4), 0);
    EXPECT_LT(str_equal_nocase("com1", "COM2", 4), 0);
    EXPECT_GT(str_equal_nocase("COM3", "com2", 4), 0);
    EXPECT_EQ(str_equal_nocase("ab\0x", "AB\0y", 4), 0);
    EXPECT_NE(str_equal_nocase("ab", "abc", 3), 0);
    EXPECT_EQ(str_equal_nocase("x", "y", 0), 0);
    EXPECT_GT(str_equal_nocase("\xe9", "a", 1), 0);  // bytes compare unsigned
}

}  // namespace
