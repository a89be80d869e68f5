// GPS info page: fix, time, position and the correction controls, and the two
// timers that refresh the user interface.
#pragma once

#include "src/correction/prestep_check.h"

#include <gtk/gtk.h>
#include <string>

struct GpsFix;

// The widgets the ticks refresh; each pointer goes back to null when its
// widget is destroyed, so a tick after the window is gone does nothing.
struct InfoPageWidgets {
    GtkWidget* gps_time;
    GtkWidget* local_time;
    GtkWidget* last_update;
    GtkWidget* next_update;
    GtkWidget* satellites;
    GtkWidget* mode;
    GtkWidget* latitude;
    GtkWidget* longitude;
    GtkWidget* altitude;
    GtkWidget* correct_now;  // the "Correct PC Clock Now!" button
    GtkWidget* auto_update;  // check box
    GtkWidget* schedule;     // combo box, index = schedule_value
    GtkWidget* units;        // combo box, 0 metres, 1 feet
    GtkWidget* offset;       // the PC clock against GPS time
    GtkWidget* result;       // what the latest correction did
    GtkWidget* gnss_hint;    // the refused-receiver hint, hidden without one
    GtkWidget* status;       // what stands in the way, with the remedy; hidden when nothing does
    GtkWidget* prestep[3];   // the pre-step check: fix and satellites, date, step
    GtkWidget* question;     // the info bar that asks before a large step; hidden without a question
    GtkWidget* question_text;
};

extern InfoPageWidgets info_widgets;

// The page widget; built once by the main window. Loads auto_update,
// schedule_value, correct_time_jd_prev and show_feets, and requests one
// correction when "On Startup" is chosen with auto update on.
GtkWidget* create_info_page();

// The page's settings (the schedule, the last correction) into app_settings.
void info_page_load_settings();

// Adds the 100 ms gps_info_tick and the 50 ms info_refresh_tick, each only
// when it is not running yet; stop_info_timers removes both.
void start_info_timers();
void stop_info_timers();

// The window's refresh costs nothing while nobody sees it: the two ticks run
// only while the window is mapped (shown and not minimized); meanwhile a
// 500 ms timer looks at the correction schedule, and the tray follows the
// receiver by itself. stop_info_timers also ends that timer.
void info_timers_follow_window(GtkWidget* window);

// The timer callbacks; both keep their timer running.
gboolean gps_info_tick(gpointer data);
gboolean info_refresh_tick(gpointer data);

// The label texts as Pango markup (g_free the result), without widgets.
gchar* info_satellites_markup(int satellites);
gchar* info_mode_markup(int fix_quality);
gchar* info_latitude_markup(double latitude);
gchar* info_longitude_markup(double longitude);
gchar* info_altitude_markup(double altitude_m, bool show_feets);
gchar* info_local_time_markup();
gchar* info_gps_time_markup(const GpsFix& fix);
gchar* info_last_update_markup(double jd_prev);
// A moment also names the period and what it counts from: the last
// correction, or, before the first one, the program's first start.
gchar* info_next_update_markup(double next_jd, int schedule_value, bool corrected_before);
// The pre-step check's three lines: fix and satellites, date, step.
gchar* info_prestep_markup(const PrestepList& list, int row);
// The question asked before a step over the cap.
std::string info_step_question_text(const StepQuestion& question);
