// The GPS configuration page in the real main window, with the real reader on
// ptys fed by the simulated receiver: the port and speed lists from the port
// folder and the settings, the restarts of the reader, the NMEA view with its
// bad-data line and its limit, and the 1PPS controls with the pulse check.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/clock.h"
#include "bench/correction_accuracy/correction_rig.h"
#include "src/correction/analiz.h"
#include "src/gps/com_reader.h"
#include "tests/support/com_test_device.h"
#include "src/gps/link_status.h"
#include "src/gps/serial.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/config_page.h"
#include "src/ui/info_page.h"
#include "src/ui/main_window.h"
#include "src/ui/modules.h"
#include "src/ui/nmea_view.h"
#include "src/ui/port_doctor_frame.h"
#include "tests/link/link_support.h"
#include "tests/ui/ui_test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPort = 3;

std::string label_markup(GtkWidget* label) { return gtk_label_get_label(GTK_LABEL(label)); }

std::string active_text(GtkWidget* combo)
{
    gchar* text = gtk_combo_box_get_active_text(GTK_COMBO_BOX(combo));
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

std::vector<std::string> entries(GtkWidget* combo)
{
    std::vector<std::string> out;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
    GtkTreeIter at;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &at); more; more = gtk_tree_model_iter_next(model, &at)) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &at, 0, &text, -1);
        out.push_back(text);
        g_free(text);
    }
    return out;
}

void choose(GtkWidget* combo, const std::string& text)
{
    std::vector<std::string> all = entries(combo);
    auto at = std::find(all.begin(), all.end(), text);
    ASSERT_NE(at, all.end()) << text;
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), int(at - all.begin()));
}

std::string view_text()
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(nmea_view_widget()));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string out = text;
    g_free(text);
    return out;
}

bool view_has(const std::string& part, int timeout_ms = 5000)
{
    return pump_until([&] { return view_text().find(part) != std::string::npos; }, timeout_ms);
}

template <class T>
T setting(const char* key, T fallback)
{
    EXPECT_TRUE(settings_flush(10000));  // the page's changes are written off its thread
    if constexpr (std::is_same_v<T, bool>)
        settings_read_bool(key, fallback, fallback);
    else
        settings_read_int(key, fallback, fallback);
    return fallback;
}

bool greyed(GtkWidget* widget) { return !gtk_widget_is_sensitive(widget); }

class ConfigPageTest : public testing::Test {
protected:
    void SetUp() override
    {
        state_1PPS.store(-1);
        check_1PPS_request.store(0);
        nmea_view_count = 0;
        com_init();
    }

    void TearDown() override
    {
        stop_info_timers();
        receiver_stop();
        destroy_main_window();
        com_test_device_unregister(kPort);
        use_pps.store(0);
    }

    // Writes the settings file (no start-up correction) and builds the window.
    void build(std::vector<std::string> lines)
    {
        lines.push_back("schedule_value=\"0\"");
        build_main_window_with_settings(sandbox.path("appdata/satclock"), lines);
        gtk_notebook_set_current_page(GTK_NOTEBOOK(main_notebook), 1);  // clicks need the page shown
        pump_for(50);
    }

    // The reader as the start-up starts it, and the two refresh timers.
    void start_receiver()
    {
        receiver_start();
        start_info_timers();
    }

    // A port folder entry whose device does not exist.
    void dangling_port(int port)
    {
        symlink(sandbox.path("nothing").c_str(), sandbox.path("ports/COM" + std::to_string(port)).c_str());
    }

    TestSandbox sandbox;
};

TEST_F(ConfigPageTest, ListsShowTheStoredPortAndSpeedAndTheReaderTriesThem)
{
    dangling_port(3);
    dangling_port(12);
    struct Case {
        const char* port;
        const char* speed;
        const char* extra_speed;   // the speed in force, listed for it; "" = none
        const char* reader_line;
    } const cases[] = {
        {"12", "9600", "", "no open com=12 baudrate=9600\n"},
        {"9", "4000", "4000", "no open com=9 baudrate=4000\n"},  // neither is there: both shown all the same
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reader_line);
        StdoutCapture output(sandbox);
        build({std::string("com_port=\"") + c.port + "\"", std::string("baudrate=\"") + c.speed + "\""});
        std::vector<std::string> ports = entries(config_widgets.port);
        auto three = std::find(ports.begin(), ports.end(), "3"), twelve = std::find(ports.begin(), ports.end(), "12");
        EXPECT_TRUE(three < twelve && twelve != ports.end()) << "the folder's ports, ascending";
        std::vector<std::string> speeds = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
        if (*c.extra_speed)
            speeds.insert(speeds.begin() + 2, c.extra_speed);
        EXPECT_EQ(speeds, entries(config_widgets.speed));
        EXPECT_EQ(c.port, active_text(config_widgets.port));
        EXPECT_EQ(c.speed, active_text(config_widgets.speed));
        start_receiver();
        EXPECT_TRUE(wait_until([&] { return output.text().find(c.reader_line) != std::string::npos; }, 3000))
            << output.text();
        EXPECT_EQ(c.port, std::to_string(setting(settings_keys::com_port, 0))) << "the file keeps the stored port";
        TearDown();
    }
}

TEST_F(ConfigPageTest, AReceiverPluggedInLateIsReadAndChoosingItsPortAgainKeepsTheReader)
{
    dangling_port(kPort);
    StdoutCapture output(sandbox);
    build({"com_port=\"3\"", "show_nmea_info=\"TRUE\""});
    start_receiver();
    ASSERT_TRUE(wait_until([] { return link_status_now().state == LinkState::open_failed; }, 3000))
        << "no device behind COM3 yet";

    SimProcess sim(sandbox, kPort);  // found by the reader on its own
    ASSERT_TRUE(sim.wait_ready());
    EXPECT_EQ(1, com_read_running());
    EXPECT_TRUE(view_has("$GPGGA,")) << view_text();
    EXPECT_TRUE(view_has("$GPRMC,")) << view_text();
    EXPECT_EQ(std::string::npos, view_text().find("\n\n")) << "one line break per CR LF, however the refreshes cut it";

    size_t stops = output.text().find("run stop thread_com_read thread_com_read_id");
    int reader = thread_com_read_id.load();
    g_signal_emit_by_name(config_widgets.port, "changed");
    EXPECT_EQ(reader, thread_com_read_id.load()) << "the running port is kept";
    EXPECT_EQ(std::string::npos, output.text().find("run stop thread_com_read thread_com_read_id", stops + 1));

    // Unticked, the view keeps its text and takes no more.
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(config_widgets.show_nmea), FALSE);
    EXPECT_FALSE(setting(settings_keys::show_nmea_info, true));
    std::string kept = view_text();
    size_t sentences = sim.log_events("sentence").size();
    ASSERT_TRUE(pump_until([&] { return sim.log_events("sentence").size() >= sentences + 2; }, 3000));
    pump_for(300);
    EXPECT_EQ(kept, view_text());
}

// The deepest main loop an idle queued while the port list was refilled ran in.
int refill_idle_depth = 0;

void queue_depth_probe(GtkTreeModel*, GtkTreePath*, GtkTreeIter*, gpointer)
{
    g_idle_add(
        [](gpointer) -> gboolean {
            refill_idle_depth = std::max(refill_idle_depth, int(g_main_depth()));
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

bool listed(GtkWidget* combo, const std::string& text)
{
    std::vector<std::string> all = entries(combo);
    return std::find(all.begin(), all.end(), text) != all.end();
}

// A port made while the page lives joins the list through the port watch,
// and the refill runs no main loop of its own inside the watch's callback
// (where a Quit could destroy the combo box being filled).
TEST_F(ConfigPageTest, APortMadeWhileThePageLivesJoinsTheListWithoutANestedMainLoop)
{
    dangling_port(kPort);
    build({"com_port=\"3\""});
    refill_idle_depth = 0;
    g_signal_connect(gtk_combo_box_get_model(GTK_COMBO_BOX(config_widgets.port)), "row-inserted",
                     G_CALLBACK(queue_depth_probe), nullptr);
    dangling_port(7);
    ASSERT_TRUE(pump_until([] { return listed(config_widgets.port, "7"); }));
    EXPECT_EQ("3", active_text(config_widgets.port)) << "the port in force stays chosen";
    ASSERT_TRUE(pump_until([] { return refill_idle_depth > 0; }));
    EXPECT_EQ(1, refill_idle_depth) << "the refill ran the main loop from inside its own callback";
}

TEST_F(ConfigPageTest, WrongSpeedShowsTheBadDataLineUntilTheReceiversSpeedIsChosen)
{
    SimProcess sim(sandbox, kPort, {"--baud", "9600", "--speed-mismatch"});
    ASSERT_TRUE(sim.wait_ready());
    build({"com_port=\"3\"", "baudrate=\"4800\""});
    start_receiver();
    ASSERT_TRUE(view_has("received bad data ")) << view_text();
    EXPECT_TRUE(view_has(" (need change baudrate)\n"));
    EXPECT_EQ(std::string::npos, view_text().find("$GP")) << view_text();
    EXPECT_TRUE(g_utf8_validate(view_text().c_str(), -1, nullptr));

    choose(config_widgets.speed, "9600");
    EXPECT_EQ(9600, setting(settings_keys::baudrate, 0));
    EXPECT_TRUE(view_has("$GPGGA,")) << view_text();
    bool heard = false;
    for (const std::string& event : sim.log_events("line_speed"))
        heard = heard || json_int(event, "baud") == 9600;
    EXPECT_TRUE(heard);
}

std::string doctor_says(GtkWidget* label) { return label ? gtk_label_get_text(GTK_LABEL(label)) : ""; }

bool doctor_shows(GtkWidget* label, const std::string& part, int timeout_ms = 15000)
{
    return pump_until([&] { return doctor_says(label).find(part) != std::string::npos; }, timeout_ms);
}

// The port doctor on a receiver at another speed: bytes but no sentence, and
// a pty's lack of modem lines; "Find the speed" tries the usual speeds through
// the reader's restart and keeps the one at which sentences come.
TEST_F(ConfigPageTest, PortDoctorTellsAWrongSpeedAndFindsTheRightOne)
{
    SimProcess sim(sandbox, kPort, {"--baud", "9600", "--speed-mismatch"});
    ASSERT_TRUE(sim.wait_ready());
    build({"com_port=\"3\"", "baudrate=\"4800\""});
    start_receiver();
    ASSERT_TRUE(doctor_shows(doctor_widgets.verdict, "bytes but no sentence: try 9600"))
        << doctor_says(doctor_widgets.verdict);
    EXPECT_TRUE(doctor_shows(doctor_widgets.verdict, "no modem lines: no 1PPS can come from this port"));
    EXPECT_TRUE(doctor_shows(doctor_widgets.lines, "none on this port"));

    click_button(doctor_widgets.search);
    ASSERT_TRUE(doctor_shows(doctor_widgets.search_state, "Found: the receiver talks at 9600 baud.", 40000))
        << doctor_says(doctor_widgets.search_state);
    EXPECT_EQ("9600", active_text(config_widgets.speed));
    EXPECT_EQ(9600, setting(settings_keys::baudrate, 0));
    EXPECT_TRUE(doctor_shows(doctor_widgets.verdict, "sentences arrive at 9600 baud: the speed is right"))
        << doctor_says(doctor_widgets.verdict);
}

// Pulses of the test device on DSR, 1PPS chosen on CTS: the doctor names the line.
TEST_F(ConfigPageTest, PortDoctorSeesPulsesOnDsr)
{
    com_test_device_register(kPort);
    LinkedPty pty(sandbox, kPort);
    build({"com_port=\"3\"", "baudrate=\"4800\"", "use_pps=\"TRUE\"", "use_cts=\"TRUE\""});
    start_receiver();
    std::atomic<bool> pulsing{true};
    std::atomic<int64_t> longest_on_ms{0};  // as raised: a loaded machine stretches the sleeps
    std::thread edges([&] {
        while (pulsing) {  // on for 100 ms, off for 900 ms, as a receiver's 1PPS
            int64_t on = platform_monotonic_ns();
            com_test_device_raise_pulse(kPort, TIOCM_DSR, 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            longest_on_ms = std::max<int64_t>(longest_on_ms, (platform_monotonic_ns() - on) / 1000000);
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
        }
    });
    bool named = doctor_shows(doctor_widgets.verdict, "ms wide: choose DSR");
    pulsing = false;
    edges.join();
    ASSERT_TRUE(named) << doctor_says(doctor_widgets.verdict);
    std::string verdict = doctor_says(doctor_widgets.verdict);
    size_t at = verdict.find("pulses on DSR, ");
    ASSERT_NE(std::string::npos, at) << verdict;
    int width = std::atoi(verdict.c_str() + at + 15);
    EXPECT_GT(width, 0) << verdict;
    EXPECT_LE(width, longest_on_ms + 100) << "the shorter spell is the pulse, not the 900 ms between: " << verdict;
    EXPECT_NE(std::string::npos, doctor_says(doctor_widgets.lines).find("CTS off, 0 edges")) << doctor_says(doctor_widgets.lines);
}

TEST_F(ConfigPageTest, ViewIsEmptiedOnceMoreThan65536BytesWereAppended)
{
    LinkedPty pty(sandbox, kPort);
    build({"com_port=\"3\""});
    receiver_start();  // no timers: the test feeds the view itself
    ASSERT_EQ(50u, pty.read_for(3000, 50).size()) << "the two receiver commands";
    const std::string line = "$GPTXT," + std::string(248, 'x') + "\n";  // 256 bytes
    auto feed_until = [](long chars) {
        return wait_until([&] {
            nmea_view_feed();
            return gtk_text_buffer_get_char_count(gtk_text_view_get_buffer(GTK_TEXT_VIEW(nmea_view_widget()))) == chars;
        }, 3000);
    };
    for (long sent = 256; sent <= nmea_view_limit; sent += 256) {
        ASSERT_TRUE(pty.write_all(line));
        ASSERT_TRUE(feed_until(sent)) << sent;
    }
    EXPECT_EQ(nmea_view_limit, nmea_view_count);
    ASSERT_TRUE(pty.write_all("\n"));  // one byte cannot be split between two refreshes
    EXPECT_TRUE(feed_until(0)) << "emptied past the limit";
    EXPECT_EQ(0, nmea_view_count);
    ASSERT_TRUE(pty.write_all("$GPTXT,again\r\n"));
    EXPECT_TRUE(feed_until(13)) << "a line break for CR LF";
}

// The view left unread (its check box off, the window hidden) while the
// receiver sent more than the ring holds: the next refresh resumes at the
// newest line after a line that says how many bytes were lost, and the line
// under the view counts the overruns.
TEST_F(ConfigPageTest, AViewLeftBehindMarksAndCountsTheLostBytes)
{
    LinkedPty pty(sandbox, kPort);
    build({"com_port=\"3\""});
    receiver_start();  // no timers: the test feeds the view itself
    ASSERT_EQ(50u, pty.read_for(3000, 50).size()) << "the two receiver commands";
    EXPECT_FALSE(gtk_widget_get_visible(nmea_view_overrun_label()));
    std::string lines;
    for (int i = 0; i < 60; ++i)  // 80 bytes each: 4800, more than the ring holds
        lines += "$GPTXT," + std::to_string(10 + i) + "," + std::string(68, 'x') + "\r\n";
    uint64_t received = buf_com_bytes_received();
    ASSERT_TRUE(pty.write_all(lines));
    ASSERT_TRUE(wait_until([&] { return buf_com_bytes_received() == received + lines.size(); }, 5000));
    const std::string shown = "[receive buffer overrun, lost bytes: 4720]\n$GPTXT,69," + std::string(68, 'x') + "\n";
    EXPECT_TRUE(wait_until([&] {
        nmea_view_feed();
        return view_text() == shown;
    }, 3000)) << view_text();
    nmea_view_overrun_refresh();
    EXPECT_TRUE(gtk_widget_get_visible(nmea_view_overrun_label()));
    // The analysis thread reads as the bytes come: on a loaded machine it may have overrun too.
    EXPECT_EQ(label_markup(nmea_view_overrun_label()).rfind("Receive buffer overruns: NMEA view 1 (lost bytes: 4720), "
                                                            "analysis ", 0),
              0u)
        << label_markup(nmea_view_overrun_label());
}

TEST_F(ConfigPageTest, PpsControlsAndThePulseCheck)
{
    com_test_device_register(kPort);
    SimProcess sim(sandbox, kPort);
    ASSERT_TRUE(sim.wait_ready());
    build({"com_port=\"3\"", "use_pps=\"FALSE\"", "use_cts=\"TRUE\""});
    start_receiver();
    for (GtkWidget* widget : {config_widgets.use_cts, config_widgets.use_dsr, config_widgets.pps_state,
                              config_widgets.pps_refresh})
        EXPECT_TRUE(greyed(widget));
    EXPECT_FALSE(greyed(config_widgets.use_pps));

    click_button(config_widgets.use_pps);
    EXPECT_TRUE(setting(settings_keys::use_pps, false));
    EXPECT_EQ(1, use_pps.load());
    EXPECT_FALSE(greyed(config_widgets.pps_refresh));
    EXPECT_FALSE(greyed(config_widgets.use_dsr));

    // Pulses on CTS once the check is under way, then none.
    std::atomic<bool> pulsing{true};
    for (bool pulses : {true, false}) {
        SCOPED_TRACE(pulses);
        click_button(config_widgets.pps_refresh);
        ASSERT_TRUE(pump_until([] { return label_markup(config_widgets.pps_state) == "State: Getting the state..."; }));
        std::thread edges([&] {
            while (pulses && pulsing) {
                com_test_device_raise_pulse(kPort, TIOCM_CTS, 50);
                usleep(100000);
            }
        });
        // With a pulse, its width once both its edges came.
        std::string result = pulses ? "State: <span foreground=\"#0a0\">PPS signal is present</span>, pulse "
                                    : "State: <span foreground=\"#e00\">No PPS signal</span>";
        EXPECT_TRUE(pump_until([&] { return label_markup(config_widgets.pps_state).rfind(result, 0) == 0; }, 6000))
            << label_markup(config_widgets.pps_state);
        if (pulses) {
            EXPECT_NE(std::string::npos, label_markup(config_widgets.pps_state).find(" ms wide, leading edge used"));
        }
        pulsing = false;
        edges.join();
    }

    click_button(config_widgets.use_dsr);
    EXPECT_EQ("State: Unknown", label_markup(config_widgets.pps_state));
    EXPECT_EQ(0, pps_use_cts.load());
    EXPECT_FALSE(setting(settings_keys::use_cts, true));
}

std::string text_setting(const char* key)
{
    EXPECT_TRUE(settings_flush(10000));
    std::string value;
    settings_read_string(key, "", value);
    return value;
}

// A receiver that gpsd (Debian's, unpacked into build-deps/) holds: the page
// lists it after the ports, the entry in force is active and read; a port
// number chosen empties gpsd_host, the gpsd entry chosen stores it again.
TEST_F(ConfigPageTest, GpsdsReceiverIsListedReadAndChosen)
{
    SimProcess sim(sandbox, kPort);
    ASSERT_TRUE(sim.wait_ready());
    std::string pty = std::filesystem::canonical(sim.link()).string();
    GpsdProcess gpsd;
    ASSERT_TRUE(gpsd.start(source_dir() + "/build-deps/gpsd/usr/sbin/gpsd", sandbox.dir(), pty));
    build({"com_port=\"3\"", "show_nmea_info=\"TRUE\"", "gpsd_host=\"" + gpsd.address() + "\""});
    std::string entry = "gpsd (" + gpsd.address() + "): " + pty;
    EXPECT_EQ(entry, active_text(config_widgets.port));
    start_receiver();
    EXPECT_TRUE(view_has("$GPGGA,")) << view_text();
    EXPECT_EQ(gpsd.address(), link_status_now().gpsd);

    choose(config_widgets.port, "3");
    EXPECT_EQ("", text_setting(settings_keys::gpsd_host));
    EXPECT_TRUE(pump_until([] { return link_status_now().gpsd.empty(); }, 5000)) << "the port is tried";
    choose(config_widgets.port, entry);
    EXPECT_EQ(gpsd.address(), text_setting(settings_keys::gpsd_host));
    EXPECT_TRUE(pump_until([&] { return link_status_now().gpsd == gpsd.address(); }, 5000));
}

TEST(NmeaViewText, TextOfTheLocaleOrTheBadDataLine)
{
    struct Case {
        std::string bytes;
        const char* shown;
    } const cases[] = {
        {"$GPGGA,1\r\n", "$GPGGA,1\r\n"},
        {"\xff", "received bad data 1 byte (need change baudrate)\n"},
        {std::string("$GP\0A", 5), "received bad data 5 bytes (need change baudrate)\n"},
        {std::string(300, '\x80'), "received bad data 300 bytes (need change baudrate)\n"},
    };
    for (const Case& c : cases) {
        gchar* text = nmea_view_text(reinterpret_cast<const uint8_t*>(c.bytes.data()), int(c.bytes.size()));
        EXPECT_STREQ(c.shown, text);
        g_free(text);
    }
}

}  // namespace
