// The texts of the GPS info page, without widgets: position, altitude, mode,
// times and the moments of the last and next correction (C locale, English).
#include "src/correction/calendar.h"
#include "src/gps/gps_fix.h"
#include "src/ui/info_page.h"
#include "src/ui/status_line.h"
#include "tests/support/test_env.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <string>

namespace {

int64_t real_time_ns()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::string taken(gchar* text)
{
    std::string out = text ? text : "(null)";
    g_free(text);
    return out;
}

TEST(InfoTexts, LatitudeAndLongitudeInDegreesAndMinutes)
{
    struct Case {
        double degrees;
        const char* latitude;
        const char* longitude;
    } const cases[] = {
        {48.1173, "Latitude: 48\u00b0 7.0380' N", "Longitude: 48\u00b0 7.0380' E"},
        {-33.5, "Latitude: 33\u00b0 30.0000' S", "Longitude: 33\u00b0 30.0000' W"},
        // Zero is neither north nor east.
        {0.0, "Latitude: 0\u00b0 0.0000' S", "Longitude: 0\u00b0 0.0000' W"},
        {-11.516667, "Latitude: 11\u00b0 31.0000' S", "Longitude: 11\u00b0 31.0000' W"},
        {179.999999999, "Latitude: 180\u00b0 0.0000' N", "Longitude: 180\u00b0 0.0000' E"},
        {-0.0000001, "Latitude: 0\u00b0 0.0000' S", "Longitude: 0\u00b0 0.0000' W"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.latitude, taken(info_latitude_markup(c.degrees))) << c.degrees;
        EXPECT_EQ(c.longitude, taken(info_longitude_markup(c.degrees))) << c.degrees;
    }
}

TEST(InfoTexts, GarbledCoordinatesStayPrintable)
{
    EXPECT_EQ("Latitude: 2147483647\u00b0 0.0000' N", taken(info_latitude_markup(1e300)));
    EXPECT_EQ("Longitude: 0\u00b0 0.0000' W", taken(info_longitude_markup(std::nan(""))));
}

TEST(InfoTexts, MinutesNeverRoundUpToSixty)
{
    // 10.99999999 degrees is 10 degrees 59.9999994 minutes: shown as the next degree.
    EXPECT_EQ("Latitude: 11\u00b0 0.0000' N", taken(info_latitude_markup(10.99999999)));
    EXPECT_EQ("Latitude: 10\u00b0 59.9999' N", taken(info_latitude_markup(10.999998)));
}

TEST(InfoTexts, AltitudeInMetresOrFeet)
{
    EXPECT_EQ("Altitude: 545.4", taken(info_altitude_markup(545.4, false)));
    EXPECT_EQ("Altitude: 1789.3", taken(info_altitude_markup(545.4, true)));
    EXPECT_EQ("Altitude: -12.5", taken(info_altitude_markup(-12.5, false)));
    EXPECT_EQ("Altitude: 0.0", taken(info_altitude_markup(0, true)));
}

TEST(InfoTexts, SatellitesInUse)
{
    EXPECT_EQ("Used satellites: 0", taken(info_satellites_markup(0)));
    EXPECT_EQ("Used satellites: 12", taken(info_satellites_markup(12)));
}

TEST(InfoTexts, ModeByFixQuality)
{
    const std::string red = "GPS mode: <span foreground=\"red\" weight=\"bold\">No GPS Signal</span>";
    const std::string green = "GPS mode: <span foreground=\"#2a2\" weight=\"bold\">";
    struct Case {
        int fix_quality;
        std::string markup;
    } const cases[] = {
        {-1, "GPS mode: <span foreground=\"#a2a\" weight=\"bold\">Fix not available</span>"},
        {0, red},
        {1, green + "GPS SPS</span>"},
        {2, green + "Differential GPS, SPS</span>"},
        {3, green + "GPS PPS</span>"},
        // Quality digits the receiver may send but the page has no name for.
        {4, red}, {5, red}, {9, red}, {-2, red},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.markup, taken(info_mode_markup(c.fix_quality))) << c.fix_quality;
}

TEST(InfoTexts, GpsTimeShowsTheFieldsAsTheyAre)
{
    GpsFix fix{};
    EXPECT_EQ("GPS Time: -:-", taken(info_gps_time_markup(fix))) << "cleared record";
    fix.year = 2026;
    fix.month = 12;
    fix.day = 7;
    fix.hour = 23;
    fix.minute = 59;
    fix.second = 58;
    EXPECT_EQ("GPS Time: 12/07/26 23:59:58", taken(info_gps_time_markup(fix)));
    fix.month = 2;
    fix.day = 30;
    EXPECT_EQ("GPS Time: -:-", taken(info_gps_time_markup(fix))) << "30 February";
    fix.day = 1;
    fix.hour = 24;
    EXPECT_EQ("GPS Time: -:-", taken(info_gps_time_markup(fix))) << "hour 24";
}

TEST(InfoTexts, GpsTimeIgnoresTheLocalDaylightSavingGap)
{
    // 02:30 on the last Sunday of March does not exist in Central Europe; as a
    // UTC reading it is an ordinary moment.
    const char* saved = getenv("TZ");
    std::string previous = saved ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    GpsFix fix{.year = 2026, .month = 3, .day = 29, .hour = 2, .minute = 30};
    EXPECT_EQ("GPS Time: 03/29/26 02:30:00", taken(info_gps_time_markup(fix)));
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(InfoTexts, LocalTimeFollowsTheSandboxClock)
{
    TestSandbox sandbox;
    // Half a minute before 2038 in UTC, whatever the machine's clock says; the
    // page shows it in the machine's own zone.
    const time_t moment = 2145916770;  // 2037-12-31 23:59:30 UTC
    std::ofstream(sandbox.clock_file()) << (int64_t(moment) * 1000000000LL - real_time_ns()) << "\n";
    struct tm local{};
    localtime_r(&moment, &local);
    char expected[32];
    std::strftime(expected, sizeof expected, "Local Time: %m/%d/%y %H:%M:", &local);
    std::string text = taken(info_local_time_markup());
    EXPECT_EQ(0u, text.find(expected)) << text << " (a stall of half a minute moves the minute)";
}

TEST(InfoTexts, LastAndNextCorrection)
{
    CalendarTime t{2026, 12, 7, 15, 15, 12};
    double jd = calendar_to_jd(t);
    EXPECT_EQ("Last time update: Never", taken(info_last_update_markup(-1)));
    EXPECT_EQ("Last time update: 7 Dec 15:15:12", taken(info_last_update_markup(jd)));
    EXPECT_EQ("Next time update: Never", taken(info_next_update_markup(-1, 12, false)));
    EXPECT_EQ("Next time update: On Next Startup", taken(info_next_update_markup(0, 1, false)));
    // The moment names the period and what it counts from.
    EXPECT_EQ("Next time update: 7 Dec 15:15:12 (Weekly, counted from the first start)",
              taken(info_next_update_markup(jd, 12, false)));
    EXPECT_EQ("Next time update: 7 Dec 15:15:12 (Every 15 minutes, counted from the last correction)",
              taken(info_next_update_markup(jd, 4, true)));
}

// The rows added to the page write a date and a UTC moment as the GPS time row does.
TEST(InfoTexts, AddedRowsWriteDatesAsTheGpsTimeRow)
{
    std::string row = taken(info_gps_time_markup({.year = 2037, .month = 12, .day = 31, .hour = 23, .minute = 59,
                                                  .second = 30}));
    ASSERT_EQ("GPS Time: 12/31/37 23:59:30", row);
    const int64_t moment_s = 2145916770;  // 2037-12-31 23:59:30 UTC
    EXPECT_EQ("12/31/37", day_text(moment_s / 86400));
    StepQuestion question{1, 9 * 3600 * 1000000000LL, moment_s * 1000000000LL, false, false};
    std::string text = info_step_question_text(question);
    EXPECT_NE(text.find("to 12/31/37 23:59:30 UTC"), std::string::npos) << text;
}

}  // namespace
