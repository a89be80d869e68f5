// The receiver output delay frame: what it shows of a learned or typed delay,
// and what its controls do to the settings and the analysis thread's flags.
#include <gtest/gtest.h>

#include "src/correction/nmea_delay.h"
#include "src/settings/settings.h"
#include "src/ui/nmea_delay_frame.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <fstream>
#include <string>

namespace {

std::string label_of(GtkWidget* frame)
{
    for (GtkWidget* label : find_widgets(frame, GTK_TYPE_LABEL)) {
        std::string text = gtk_label_get_text(GTK_LABEL(label));
        if (text.rfind("Receiver output delay:", 0) == 0 || text.rfind("Measuring", 0) == 0 ||
            text.rfind("No 1PPS", 0) == 0)
            return text;
    }
    return "";
}

TEST(NmeaDelayFrame, ShowsTheDelayAndItsControlsReachTheSettings)
{
    TestSandbox sandbox;
    std::string folder = sandbox.path("appdata/satclock");
    g_mkdir_with_parents(folder.c_str(), 0700);
    std::ofstream(folder + "/satclock.ini", std::ios::binary)
        << "nmea_delay_ms=\"248\"\r\nnmea_delay_spread_ms=\"2\"\r\nnmea_compensate=\"FALSE\"\r\n";
    settings_init_path();

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* frame = nmea_delay_frame_create();
    gtk_container_add(GTK_CONTAINER(window), frame);
    gtk_widget_show_all(window);
    EXPECT_EQ(label_of(frame), "Receiver output delay: 248 ms ± 2 ms, learned from 1PPS");
    GtkWidget* spin = find_widgets(frame, GTK_TYPE_SPIN_BUTTON).at(0);
    GtkWidget* check = find_widgets(frame, GTK_TYPE_CHECK_BUTTON).at(0);
    GtkWidget* measure = nullptr;
    for (GtkWidget* button : find_widgets(frame, GTK_TYPE_BUTTON))
        if (!GTK_IS_CHECK_BUTTON(button) && !GTK_IS_SPIN_BUTTON(button))
            measure = button;
    ASSERT_NE(measure, nullptr);

    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), 300);
    int stored = 0;
    ASSERT_TRUE(settings_flush(10000));
    settings_read_int(settings_keys::nmea_delay_ms, 0, stored);
    EXPECT_EQ(stored, 300);
    EXPECT_EQ(nmea_delay_ms.load(), 300);
    EXPECT_EQ(label_of(frame), "Receiver output delay: 300 ms, entered by hand");

    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), TRUE);
    bool compensate = false;
    ASSERT_TRUE(settings_flush(10000));
    settings_read_bool(settings_keys::nmea_compensate, false, compensate);
    EXPECT_TRUE(compensate);
    EXPECT_EQ(nmea_compensate.load(), 1);

    gtk_button_clicked(GTK_BUTTON(measure));
    EXPECT_EQ(nmea_delay_measure_request.load(), 1);
    EXPECT_FALSE(gtk_widget_is_sensitive(measure));
    EXPECT_EQ(label_of(frame), "Measuring the receiver output delay from 1PPS (15 s)...");

    // The analysis thread finishes the measurement; the tick shows it.
    nmea_delay_ms.store(251);
    nmea_delay_spread_ms.store(3);
    nmea_delay_measure_state.store(2);
    nmea_delay_measure_request.store(0);
    nmea_delay_frame_refresh();
    EXPECT_EQ(label_of(frame), "Receiver output delay: 251 ms ± 3 ms, learned from 1PPS");
    EXPECT_EQ(gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(spin)), 251);
    EXPECT_TRUE(gtk_widget_is_sensitive(measure));
    settings_read_int(settings_keys::nmea_delay_ms, 0, stored);
    EXPECT_EQ(stored, 300) << "the analysis thread stores what it learns, not the frame";

    nmea_delay_measure_state.store(-1);
    nmea_delay_frame_refresh();
    EXPECT_EQ(label_of(frame), "No 1PPS pulses came: the delay was not measured.\n"
                               "Receiver output delay: 251 ms ± 3 ms, learned from 1PPS");
    gtk_widget_destroy(window);
    nmea_delay_frame_refresh();  // no frame: nothing to do
    nmea_delay_measure_state.store(0);
    nmea_compensate.store(0);
    nmea_delay_ms.store(0);
}

}  // namespace
