// The GNSS mode's check box and the hint line of the GPS info page: a $GN
// receiver refused for 5 s brings the hint up; ticking the box lets its next
// sentence in and the hint goes.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/clock.h"
#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/gnss_box.h"
#include "src/ui/info_page.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <string>

namespace {

constexpr int64_t kSecondNs = 1000000000;

std::string gngga(int second)
{
    gchar* line = g_strdup_printf("$GNGGA,1200%02d.00,4717.11399,N,00833.91590,E,1,12,0.72,499.6,M,48.0,M,,\r\n", second);
    std::string out = line;
    g_free(line);
    return out;
}

// The info page's hint line.
GtkWidget* hint_line() { return info_widgets.gnss_hint; }

bool shown(GtkWidget* widget) { return gtk_widget_get_visible(widget); }

class GnssBoxTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_mkdir_with_parents(sandbox.path("appdata/satclock").c_str(), 0700);
        settings_init_path();
        gps_fix_clear();
        build_main_window();
    }
    void TearDown() override
    {
        destroy_main_window();
        gps_fix_clear();
        accept_gnss_talkers.store(0);
    }
    TestSandbox sandbox;
};

TEST_F(GnssBoxTest, HintAfterFiveSecondsOfRefusedGnGoesWhenTheBoxIsTicked)
{
    GtkWidget* check = g_object_ref_sink(gnss_box_create());
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check)));
    EXPECT_EQ(accept_gnss_talkers.load(), 0);
    EXPECT_EQ(std::string(gtk_button_get_label(GTK_BUTTON(check))),
              "Accept GNSS receivers (GN, GL, GA, GB talkers, whole-second times)");
    GtkWidget* line = hint_line();
    ASSERT_NE(line, nullptr);

    // Refused sentences over 4 s of the last 6: not yet.
    int64_t start = platform_monotonic_ns() - 6 * kSecondNs;
    for (int s = 0; s <= 4; ++s)
        EXPECT_EQ(gps_fix_decode_line(gngga(s), start + s * kSecondNs), -1);
    gps_info_tick(nullptr);
    EXPECT_FALSE(shown(line));
    EXPECT_EQ(gnss_hint_short(), nullptr);

    gps_fix_decode_line(gngga(5), start + 5 * kSecondNs);
    gps_info_tick(nullptr);
    EXPECT_TRUE(shown(line));
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(line))),
              "Receiver talks GNSS (GN): tick 'Accept GNSS receivers' on the GPS configuration page");
    ASSERT_NE(gnss_hint_short(), nullptr);
    EXPECT_EQ(std::string(gnss_hint_short()), "GNSS receiver (GN): see GPS configuration");

    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), TRUE);
    EXPECT_EQ(accept_gnss_talkers.load(), 1);
    ASSERT_TRUE(settings_flush(10000));
    EXPECT_NE(read_file(sandbox.path("appdata/satclock/satclock.ini")).find("accept_gnss_talkers=\"TRUE\"\r\n"),
              std::string::npos);
    EXPECT_EQ(gps_fix_decode_line(gngga(6)), 1);  // the next sentence, the reader untouched
    gps_info_tick(nullptr);
    EXPECT_FALSE(shown(line));
    EXPECT_EQ(gnss_hint_short(), nullptr);
    EXPECT_EQ(gps_fix_copy().fix_quality, 1);
    gtk_widget_destroy(check);
    g_object_unref(check);

    // The next start reads the setting back.
    accept_gnss_talkers.store(0);
    GtkWidget* again = g_object_ref_sink(gnss_box_create());
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(again)));
    EXPECT_EQ(accept_gnss_talkers.load(), 1);
    gtk_widget_destroy(again);
    g_object_unref(again);
}

}  // namespace
