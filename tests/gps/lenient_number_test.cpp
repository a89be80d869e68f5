// The lenient number conversions, including their independence of LC_NUMERIC.
#include "src/gps/lenient_number.h"
#include "src/gps/nmea.h"
#include "platform/process.h"
#include "tests/gps/nmea_sentences.h"
#include "tests/support/test_env.h"

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

struct IntCase {
    std::string text;
    int value;
};

TEST(LenientInt, Converts)
{
    const IntCase cases[] = {IntCase{"12", 12}, IntCase{"08", 8}, IntCase{"  -7x", -7}, IntCase{"+3", 3}, IntCase{"\t\r 5", 5},
                    IntCase{"", 0}, IntCase{"x1", 0}, IntCase{"- 5", 0}, IntCase{"-", 0}, IntCase{"1.9", 1},
                    IntCase{"2147483647", INT_MAX}, IntCase{"99999999999999999999999", INT_MAX},
                    IntCase{"-2147483648", INT_MIN}, IntCase{"-99999999999999999999999", INT_MIN},
                    IntCase{std::string("4\0" "2", 3), 4}};
    for (const IntCase& c : cases)
        EXPECT_EQ(lenient_int(c.text), c.value) << testing::PrintToString(c.text);
}

struct DoubleCase {
    std::string text;
    double value;
};

TEST(LenientDouble, ConvertsToTheNearestDouble)
{
    const DoubleCase cases[] = {DoubleCase{"4807.038", 4807.038}, DoubleCase{"545.4", 545.4}, DoubleCase{"-1.5", -1.5},
                    DoubleCase{" +0.25", 0.25}, DoubleCase{".5", 0.5}, DoubleCase{"7.", 7.0}, DoubleCase{".", 0.0},
                    DoubleCase{"", 0.0}, DoubleCase{"abc", 0.0}, DoubleCase{"1e5", 1.0}, DoubleCase{"1,5", 1.0},
                    DoubleCase{"12.34.56", 12.34}, DoubleCase{"0000000000000000000000000001.25", 1.25},
                    DoubleCase{"0.00000000000000000000000000000001", 1e-32},
                    DoubleCase{"123456789012345678901234567890", 1.2345678901234568e29},
                    DoubleCase{"31.000", 31.0}, DoubleCase{"-0", -0.0}};
    for (const DoubleCase& c : cases)
        EXPECT_DOUBLE_EQ(lenient_double(c.text), c.value) << testing::PrintToString(c.text);
}

TEST(LenientDouble, OverflowSaturatesInsteadOfInfinity)
{
    EXPECT_EQ(lenient_double(std::string(400, '9')), DBL_MAX);
    EXPECT_EQ(lenient_double("-" + std::string(400, '9')), -DBL_MAX);
    EXPECT_EQ(lenient_double("0." + std::string(400, '0') + "1"), 0.0);
}

// A comma-decimal locale is built into the sandbox with localedef (the build
// machines only carry C); the conversions must still read "." as the point.
TEST(LenientDouble, IgnoresCommaDecimalLocale)
{
    // Built once per build tree (about 5 s), into the sandbox first and then
    // moved into place, so parallel runs never see a half-built locale.
    TestSandbox sandbox;
    std::string locales = build_dir() + "/tests/locales";
    std::string build = "test -d \"$1/de_DE.UTF-8\" || { localedef -i de_DE -f UTF-8 \"$2/de_DE.UTF-8\" >/dev/null 2>&1;"
                        " mkdir -p \"$1\" && { mv -T \"$2/de_DE.UTF-8\" \"$1/de_DE.UTF-8\" || test -d \"$1/de_DE.UTF-8\"; }; }";
    if (process_run({"sh", "-c", build, "sh", locales, sandbox.dir()}, kTestChildBoundMs) != 0)
        GTEST_SKIP() << "localedef could not build de_DE.UTF-8; conversions take no locale input by construction";
    setenv("LOCPATH", locales.c_str(), 1);
    const char* set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!set) {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "de_DE.UTF-8 not loadable";
    }
    EXPECT_EQ(std::strtod("1.5", nullptr), 1.0);  // the locale really uses ","
    EXPECT_EQ(lenient_double("1.5"), 1.5);
    EXPECT_EQ(lenient_double("4807.038"), 4807.038);
    GpsFix fix{};
    EXPECT_EQ(parse_nmea_line(gga_reference, fix), NMEA_GGA);
    EXPECT_DOUBLE_EQ(fix.altitude, 545.4);
    EXPECT_NEAR(fix.latitude, 48.1173, 1e-9);
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
}

}  // namespace
