// The GPS info page in the real main window: settings loaded at the build, the
// start-up correction rule, the controls writing their settings, and the two
// timers refreshing the labels from the shared GPS record.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/clock.h"
#include "src/correction/analiz.h"
#include "src/correction/offset_history.h"
#include "src/correction/schedule.h"
#include "src/gps/gps_fix.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/info_page.h"
#include "src/ui/main_window.h"
#include "src/ui/offset_chart.h"
#include "src/ui/pixtex.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr char kGga[] = "$GPGGA,123519.000,4807.038,N,01131.000,E,%d,08,0.9,545.4,M,46.9,M,,\r\n";
constexpr char kRmc[] = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,071226,003.1,W\r\n";

std::string label_markup(GtkWidget* label)
{
    return gtk_label_get_label(GTK_LABEL(label));
}

std::string label_text(GtkWidget* label)
{
    return gtk_label_get_text(GTK_LABEL(label));
}

std::string tooltip(GtkWidget* widget)
{
    gchar* text = gtk_widget_get_tooltip_text(widget);
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

std::string active_text(GtkWidget* combo)
{
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo));
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// A GGA sentence (no checksum: the decoder takes that) with this quality digit.
void receive_gga(int quality)
{
    gchar* line = g_strdup_printf(kGga, quality);
    gps_fix_decode_line(line);
    g_free(line);
}

void run_gps_tick() { gps_info_tick(nullptr); }

// The schedule is checked on every tenth refresh.
void run_refresh_ticks(int count = 10)
{
    for (int i = 0; i < count; ++i)
        info_refresh_tick(nullptr);
}

class InfoPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        gps_fix_clear();
        correct_time_request.store(0);
        correct_time_jd_prev.store(-1);
        next_update_jd = -1;
        schedule_tick_count = 0;
    }

    void TearDown() override
    {
        stop_info_timers();
        destroy_main_window();
        gps_fix_clear();
        correct_time_request.store(0);
    }

    // Writes the settings file and builds the window, which loads the page's settings.
    void build(const std::vector<std::string>& lines)
    {
        build_main_window_with_settings(sandbox.path("appdata/satclock"), lines);
    }

    TestSandbox sandbox;
};

TEST_F(InfoPageTest, ThreeTitledFramesWithTheirTooltips)
{
    build({});
    // Title and table cell (left, right, top) of each frame.
    std::vector<std::string> frames;
    GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(main_notebook), 0);
    for (GtkWidget* frame : find_widgets(page, GTK_TYPE_FRAME)) {
        guint left = 0, right = 0, top = 0;
        gtk_container_child_get(GTK_CONTAINER(gtk_widget_get_parent(frame)), frame, "left-attach", &left,
                                "right-attach", &right, "top-attach", &top, nullptr);
        gchar* cell = g_strdup_printf("%s %u-%u %u", label_markup(gtk_frame_get_label_widget(GTK_FRAME(frame))).c_str(),
                                      left, right, top);
        frames.push_back(cell);
        g_free(cell);
    }
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ((std::vector<std::string>{"<b>Additional info</b> 0-2 1", "<b>Offset history</b> 0-2 2",
                                        "<b>Times</b> 0-1 0", "<b>Update Time</b> 1-2 0"}),
              frames);

    EXPECT_EQ("GPS Time", label_text(info_widgets.gps_time));
    EXPECT_EQ("Local Time", label_text(info_widgets.local_time));
    EXPECT_EQ("The GPS time is expressed in Coordinated Universal Time (UTC).", tooltip(info_widgets.gps_time));
    EXPECT_EQ("Click here to set the PC clock right now.This button is disabled if the number of the fixed "
              "satellites is less than 3.",
              tooltip(info_widgets.correct_now));
    EXPECT_EQ("Possible GPS modes:\n No GPS Signal\n Fix not available\n Differential GPS\n"
              " SPS (Standard Positioning Service)\n PPS (Precise Positioning Service)",
              tooltip(info_widgets.mode));
    std::vector<GtkWidget*> pixtex = find_widgets(info_widgets.correct_now, MYGTK_TYPE_PIXTEX);
    ASSERT_EQ(1u, pixtex.size());
    EXPECT_EQ("Correct PC Clock Now!", label_text(MYGTK_PIXTEX(pixtex[0])->label));
    EXPECT_NE(nullptr, gtk_image_get_pixbuf(GTK_IMAGE(MYGTK_PIXTEX(pixtex[0])->image)));
}

TEST_F(InfoPageTest, MissingSettingsGiveTheDefaults)
{
    build({});
    EXPECT_TRUE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(info_widgets.auto_update)));
    EXPECT_EQ("On Startup", active_text(info_widgets.schedule));
    EXPECT_EQ("meters", active_text(info_widgets.units));
    run_refresh_ticks();
    EXPECT_EQ("Last time update: Never", label_markup(info_widgets.last_update));
}

TEST_F(InfoPageTest, StoredScheduleIsChosenFromTheFifteenIntervals)
{
    build({"schedule_value=\"14\""});
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(info_widgets.schedule));
    EXPECT_EQ(15, gtk_tree_model_iter_n_children(model, nullptr));
    EXPECT_EQ("Monthly", active_text(info_widgets.schedule));
}

TEST_F(InfoPageTest, StoredScheduleOutsideTheTableShowsNoSchedulerInterval)
{
    build({"schedule_value=\"15\"", "auto_update=\"TRUE\""});
    EXPECT_EQ("No scheduler interval", active_text(info_widgets.schedule));
    EXPECT_EQ(0, app_settings.schedule_value);
    // Only in memory: the file keeps what it had until the user chooses.
    int stored = -1;
    settings_read_int("schedule_value", 1, stored);
    EXPECT_EQ(15, stored);
    run_refresh_ticks();
    EXPECT_EQ("Next time update: Never", label_markup(info_widgets.next_update));
}

TEST_F(InfoPageTest, OnStartupWithAutoUpdateRequestsOneCorrection)
{
    struct Case {
        const char* schedule;
        const char* auto_update;
        int request;
        const char* next;
    } const cases[] = {
        {"1", "TRUE", 1, "Next time update: On Next Startup"},
        {"1", "FALSE", 0, "Next time update: Never"},
        {"0", "TRUE", 0, "Next time update: Never"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.schedule) + " " + c.auto_update);
        correct_time_request.store(0);
        build({std::string("schedule_value=\"") + c.schedule + "\"",
               std::string("auto_update=\"") + c.auto_update + "\""});
        EXPECT_EQ(c.request, correct_time_request.load());
        // A fix does not make the periodic check raise it again.
        receive_gga(1);
        correct_time_request.store(0);
        run_refresh_ticks(30);
        EXPECT_EQ(0, correct_time_request.load());
        EXPECT_EQ(c.next, label_markup(info_widgets.next_update));
        destroy_main_window();
    }
}

TEST_F(InfoPageTest, ModeAndButtonFollowTheFixQuality)
{
    build({"schedule_value=\"0\""});
    struct Case {
        int gga_quality;  // -1: the record cleared (nothing decoded)
        const char* colour;
        const char* mode;
        bool sensitive;
    } const cases[] = {
        {-1, "red", "No GPS Signal", false},
        {0, "#a2a", "Fix not available", false},
        {1, "#2a2", "GPS SPS", true},
        {2, "#2a2", "Differential GPS, SPS", true},
        {3, "#2a2", "GPS PPS", true},
        {5, "red", "No GPS Signal", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gga_quality);
        gps_fix_clear();
        if (c.gga_quality >= 0)
            receive_gga(c.gga_quality);
        run_gps_tick();
        EXPECT_EQ(std::string("GPS mode: <span foreground=\"") + c.colour + "\" weight=\"bold\">" + c.mode + "</span>",
                  label_markup(info_widgets.mode));
        EXPECT_EQ(c.sensitive, bool(gtk_widget_is_sensitive(info_widgets.correct_now)));
    }
}

TEST_F(InfoPageTest, ButtonClickRequestsACorrection)
{
    build({"schedule_value=\"0\""});
    receive_gga(1);
    run_gps_tick();
    ASSERT_EQ(0, correct_time_request.load());
    click_button(info_widgets.correct_now);
    EXPECT_EQ(1, correct_time_request.load());
}

TEST_F(InfoPageTest, ControlsWriteTheirSettingsAtOnce)
{
    build({"schedule_value=\"3\"", "auto_update=\"TRUE\"", "show_feets=\"FALSE\""});
    receive_gga(1);

    click_button(info_widgets.auto_update);
    bool auto_update = true;
    ASSERT_TRUE(settings_flush(10000));
    EXPECT_EQ(1, settings_read_bool("auto_update", true, auto_update));
    EXPECT_FALSE(auto_update);
    EXPECT_FALSE(app_settings.auto_update);
    run_refresh_ticks();
    EXPECT_EQ("Next time update: Never", label_markup(info_widgets.next_update));

    gtk_combo_box_set_active(GTK_COMBO_BOX(info_widgets.schedule), 12);
    int schedule = -1;
    ASSERT_TRUE(settings_flush(10000));
    settings_read_int("schedule_value", -1, schedule);
    EXPECT_EQ(12, schedule);
    EXPECT_EQ(12, app_settings.schedule_value);

    run_gps_tick();
    EXPECT_EQ("Altitude: 545.4", label_markup(info_widgets.altitude));
    gtk_combo_box_set_active(GTK_COMBO_BOX(info_widgets.units), 1);
    bool feet = false;
    ASSERT_TRUE(settings_flush(10000));
    settings_read_bool("show_feets", false, feet);
    EXPECT_TRUE(feet);
    run_gps_tick();
    EXPECT_EQ("Altitude: 1789.3", label_markup(info_widgets.altitude));
}

TEST_F(InfoPageTest, StoredFeetAndLastCorrectionAreShown)
{
    build({"show_feets=\"TRUE\"", "correct_time_jd_prev=\"9472.135556\"", "schedule_value=\"0\""});
    EXPECT_EQ("feets", active_text(info_widgets.units));
    EXPECT_DOUBLE_EQ(9472.135556, correct_time_jd_prev.load());
    run_refresh_ticks();
    // J2000 day 9472.135556 is 7 December 2025, 15:15:12 local time.
    EXPECT_EQ("Last time update: 7 Dec 15:15:12", label_markup(info_widgets.last_update));
}

TEST_F(InfoPageTest, TimersRefreshThePageFromTheReceiverAndStop)
{
    build({"schedule_value=\"0\""});
    receive_gga(1);
    gps_fix_decode_line(kRmc);
    start_info_timers();
    start_info_timers();  // a second start adds no second pair of timers
    ASSERT_TRUE(pump_until([] { return label_text(info_widgets.satellites) != "Used satellites"; }, 2000));
    ASSERT_TRUE(pump_until([] { return label_text(info_widgets.gps_time) != "GPS Time"; }, 2000));
    EXPECT_EQ("Used satellites: 8", label_markup(info_widgets.satellites));
    EXPECT_EQ("Latitude: 48\u00b0 7.0380' N", label_markup(info_widgets.latitude));
    EXPECT_EQ("Longitude: 11\u00b0 31.0000' E", label_markup(info_widgets.longitude));
    EXPECT_EQ("GPS Time: 12/07/26 12:35:19", label_markup(info_widgets.gps_time));
    EXPECT_EQ(0u, label_markup(info_widgets.local_time).rfind("Local Time: ", 0));
    EXPECT_EQ(std::string::npos, label_markup(info_widgets.local_time).find("-:-"));
    EXPECT_TRUE(gtk_widget_is_sensitive(info_widgets.correct_now));

    stop_info_timers();
    gps_fix_clear();
    pump_for(300);
    EXPECT_EQ("Used satellites: 8", label_markup(info_widgets.satellites)) << "a tick after the stop";

    start_info_timers();
    ASSERT_TRUE(pump_until([] { return label_markup(info_widgets.satellites) == "Used satellites: 0"; }, 2000));
    EXPECT_TRUE(pump_until([] { return label_markup(info_widgets.gps_time) == "GPS Time: -:-"; }, 2000));
    EXPECT_FALSE(gtk_widget_is_sensitive(info_widgets.correct_now));
}

TEST_F(InfoPageTest, TicksAfterThePageIsGoneTouchNothing)
{
    build({});
    destroy_main_window();
    EXPECT_EQ(nullptr, info_widgets.mode);
    EXPECT_EQ(nullptr, info_widgets.correct_now);
    EXPECT_TRUE(gps_info_tick(nullptr));
    EXPECT_TRUE(info_refresh_tick(nullptr));
}

}  // namespace

namespace {

bool reddish(const guchar* p) { return p[0] > 150 && p[0] - p[1] > 60 && p[0] - p[2] > 60; }
bool bluish(const guchar* p) { return p[2] > 150 && p[0] < 110; }

// Whether a pixel of the kind lies within the rectangle.
bool any_pixel(GdkPixbuf* shot, int x0, int x1, int y0, int y1, bool (*kind)(const guchar*))
{
    int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    for (int y = std::max(y0, 0); y <= std::min(y1, gdk_pixbuf_get_height(shot) - 1); ++y)
        for (int x = std::max(x0, 0); x <= std::min(x1, gdk_pixbuf_get_width(shot) - 1); ++x)
            if (kind(pixels + y * stride + x * channels))
                return true;
    return false;
}

// The chart of a known history, as the page draws it: three corrections six
// hours apart, each finding the PC clock 216 ms ahead (10 ppm), and a
// measurement every ten minutes between them.
TEST_F(InfoPageTest, ChartDrawsAKnownHistory)
{
    constexpr int64_t kMs = 1000000, kMinute = 60000 * kMs, kHour = 60 * kMinute;
    const int64_t now = 1954000800000 * kMs;  // 2031-12-02T18:00:00Z, whatever the machine's clock says
    ASSERT_EQ(platform_clock_set_ns(now), 0);
    std::vector<HistoryRecord> history;
    for (int64_t at : {now - 19 * kHour, now - 13 * kHour, now - 7 * kHour, now - kHour}) {
        if (at != now - 19 * kHour)
            history.push_back({HistoryKind::correction, at, 216 * kMs, OffsetSource::pps, 1});
        for (int minute = 10; minute < 360 && at + minute * kMinute < now; minute += 10)
            history.push_back({HistoryKind::live, at + minute * kMinute, minute * 600000, OffsetSource::pps, 1});
    }
    std::string folder = sandbox.path("appdata/satclock");
    g_mkdir_with_parents(folder.c_str(), 0700);
    ASSERT_EQ(offset_history_save(folder + "/offset_history.txt", history, now), 0);
    build({});
    ASSERT_EQ(offset_history_path(), folder + "/offset_history.txt");
    offset_history_start(offset_history_path());
    ASSERT_TRUE(pump_until([&] { return offset_history_records() == history; }));

    GtkWidget* area = offset_chart_widget();
    ASSERT_NE(area, nullptr);
    ASSERT_TRUE(pump_until([&] { return area->window && gdk_window_is_viewable(area->window) && area->allocation.width > 100; }));
    offset_chart_refresh();
    gdk_window_process_updates(area->window, TRUE);
    int width = area->allocation.width, height = area->allocation.height;
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, area->window, nullptr, 0, 0, 0, 0, width, height);
    ASSERT_NE(shot, nullptr);
    gdk_pixbuf_save(shot, (build_dir() + "/tests/offset-chart.png").c_str(), "png", nullptr, nullptr);

    // The plot spans the last day between the margins the chart keeps for its labels.
    auto x_of = [&](int64_t at) { return 58 + int((width - 66) * double(at - (now - 24 * kHour)) / (24.0 * kHour)); };
    for (int64_t at : {now - 13 * kHour, now - 7 * kHour, now - kHour}) {
        SCOPED_TRACE(at);
        EXPECT_TRUE(any_pixel(shot, x_of(at) - 2, x_of(at) + 2, 16, height - 18, reddish)) << "the correction's mark";
        EXPECT_TRUE(any_pixel(shot, x_of(at + 30 * kMinute) - 2, x_of(at + 30 * kMinute) + 2, 16, height - 18, bluish))
            << "the minutes after it";
    }
    for (int64_t middle : {now - 10 * kHour, now - 4 * kHour})
        EXPECT_TRUE(any_pixel(shot, x_of(middle) - 20, x_of(middle) + 20, 0, 15, reddish)) << "the drift between two";
    EXPECT_FALSE(any_pixel(shot, 59, x_of(now - 19 * kHour) - 3, 16, height - 19, bluish)) << "nothing before the first";
    g_object_unref(shot);
}

}  // namespace
