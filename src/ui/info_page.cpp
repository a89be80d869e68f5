// GPS info page: fix, time, position and the correction controls, and the two
// timers that refresh the whole user interface.
#include "src/ui/info_page.h"

#include "src/correction/analiz.h"
#include "src/correction/calendar.h"
#include "src/correction/schedule.h"
#include "src/receiver/receiver_state.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/config_page.h"
#include "src/ui/chrony_frame.h"
#include "src/ui/nmea_delay_frame.h"
#include "src/ui/nmea_view.h"
#include "src/ui/gnss_box.h"
#include "src/ui/notify.h"
#include "src/ui/offset_chart.h"
#include "src/ui/pixtex.h"
#include "src/ui/status_line.h"
#include "src/ui/tray.h"
#include "src/ui/widget_helpers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <glib/gi18n.h>

InfoPageWidgets info_widgets{};

namespace {

constexpr guint kGpsInfoPeriodMs = 100;
constexpr guint kRefreshPeriodMs = 50;
constexpr double kFeetPerMetre = 3.2808;
constexpr char kNoTime[] = "-:-";
const GtkAttachOptions kExpandFill = GtkAttachOptions(GTK_EXPAND | GTK_FILL);

guint gps_info_timer = 0;      // 0 while not running
guint refresh_timer = 0;       // 0 while not running
// While the window is hidden its two ticks stop and this one looks at the
// schedule as often as the 50 ms tick does (every tenth tick).
constexpr guint kHiddenSchedulePeriodMs = 10 * kRefreshPeriodMs;
guint hidden_schedule_timer = 0;
GTimeZone* local_zone = nullptr;  // created on first use, kept for the run
GTimeZone* utc_zone = nullptr;

// ---- texts ----

// "%x %X" of the fields in the zone; null when they are no valid moment.
gchar* format_fields(GTimeZone* zone, int year, int month, int day, int hour, int minute, double second)
{
    GDateTime* moment = g_date_time_new(zone, year, month, day, hour, minute, second);
    if (!moment)
        return nullptr;
    gchar* text = g_date_time_format(moment, "%x %X");
    g_date_time_unref(moment);
    return text;
}

gchar* name_value_markup(const char* name, const char* value)
{
    return g_markup_printf_escaped("%s: %s", name, value && *value ? value : kNoTime);
}

gchar* time_markup(const char* name, gchar* owned_text)
{
    gchar* markup = name_value_markup(name, owned_text);
    g_free(owned_text);
    return markup;
}

// Degrees and minutes to four decimals, rounded in whole ten-thousandths of a
// minute so that 59.99996' carries into the next degree instead of showing 60'.
gchar* angle_markup(const char* name, double degrees, const char* positive, const char* negative)
{
    // A garbled sentence can decode to any magnitude: keep the degrees within an int.
    double magnitude = std::isfinite(degrees) ? std::min(std::fabs(degrees), double(INT_MAX)) : 0.0;
    constexpr int64_t kUnitsPerMinute = 10000;
    constexpr int64_t kUnitsPerDegree = 60 * kUnitsPerMinute;
    int64_t units = std::llround(magnitude * kUnitsPerDegree);
    int whole = static_cast<int>(units / kUnitsPerDegree);
    double minutes = static_cast<double>(units % kUnitsPerDegree) / kUnitsPerMinute;
    return g_markup_printf_escaped("%s: %d\u00b0 %.4lf' %s", name, whole, minutes,
                                   degrees > 0 ? positive : negative);
}

// ---- widget helpers ----

GtkWidget* add_label(GtkWidget* box, const char* text, const char* tip)
{
    GtkWidget* label = gtk_label_new(text);
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(box), label, FALSE, FALSE, 0);
    if (tip)
        set_tip(label, tip);
    return label;
}

// Left out of the window's show-all: shown only while it has a text, which
// wraps at about chars characters so that no language widens the window.
GtkWidget* no_show_all(GtkWidget* label, int chars = 44)
{
    gtk_widget_set_no_show_all(label, TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);  // a long device path breaks too
    gtk_label_set_width_chars(GTK_LABEL(label), chars);
    gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
    return label;
}

}  // namespace

// ---- settings and handlers ----

void info_page_load_settings()
{
    settings_load(settings_keys::auto_update, app_settings.auto_update);
    settings_load(settings_keys::schedule_value, app_settings.schedule_value);
    settings_load(settings_keys::correct_time_jd_prev, app_settings.correct_time_jd_prev);
    settings_load(settings_keys::show_feets, app_settings.show_feets);
    correct_time_jd_prev.store(app_settings.correct_time_jd_prev);
}

namespace {

void on_auto_update_toggled(GtkToggleButton* box, gpointer)
{
    app_settings.auto_update = gtk_toggle_button_get_active(box);
    settings_post_bool(settings_keys::auto_update, app_settings.auto_update);
}

// A step the user declined before is asked about again: this is the user asking.
void on_correct_now_clicked(GtkButton*, gpointer)
{
    step_question_forget_declined();
    correct_time_request.store(1);
}

void on_schedule_changed(GtkComboBox* combo, gpointer)
{
    int index = gtk_combo_box_get_active(combo);
    if (index < 0)
        return;
    app_settings.schedule_value = index;
    settings_post_int(settings_keys::schedule_value, index);
}

void on_units_changed(GtkComboBox* combo, gpointer)
{
    int index = gtk_combo_box_get_active(combo);
    if (index < 0)
        return;
    app_settings.show_feets = index == 1;
    settings_post_bool(settings_keys::show_feets, app_settings.show_feets);
}

// ---- the three frames ----

void build_times(GtkWidget* box)
{
    keep(info_widgets.gps_time,
         add_label(box, _("GPS Time"), _("The GPS time is expressed in Coordinated Universal Time (UTC).")));
    keep(info_widgets.local_time, add_label(box, _("Local Time"), nullptr));
    no_show_all(keep(info_widgets.offset, add_label(box, "", _("How far the PC clock is from GPS time, and how exactly that "
                                                   "is known: from the NMEA sentence alone, with the receiver's "
                                                   "learned output delay, or from the 1PPS pulse."))));
    GtkWidget* title = add_label(box, "", _("What the next correction meets before it sets the clock: a fix with "
                                            "enough satellites (Preferences), a date not before this program was "
                                            "built (a GPS week roll-over is moved forward 1024 weeks), and a step "
                                            "no larger than the cap (a larger one waits for your answer)."));
    set_markup(title, g_markup_printf_escaped("<b>%s</b>", _("Before a step")));
    for (GtkWidget*& row : info_widgets.prestep)
        no_show_all(keep(row, add_label(box, "", nullptr)));
}

void build_auto_update(GtkWidget* box)
{
    GtkWidget* check = keep(info_widgets.auto_update,
                            check_box_new(_("Automatically synchronize with the GPS receiver"),
                                          _("Check it to set the PC clock periodically."), app_settings.auto_update,
                                          G_CALLBACK(on_auto_update_toggled)));
    gtk_box_pack_start(GTK_BOX(box), check, FALSE, FALSE, 0);
}

void build_correct_now(GtkWidget* box)
{
    GtkWidget* button = keep(info_widgets.correct_now, gtk_button_new());
    gtk_container_add(GTK_CONTAINER(button), pixtex_new_from_resource("update.png", _("Correct PC Clock Now!"), 24, 24));
    set_tip(button, _("Click here to set the PC clock right now.This button is disabled if the number of the "
                      "fixed satellites is less than 3."));
    g_signal_connect(button, "clicked", G_CALLBACK(on_correct_now_clicked), nullptr);
    GtkWidget* align = gtk_alignment_new(0, 0.1, 0, 0);
    gtk_container_add(GTK_CONTAINER(align), button);
    gtk_box_pack_start(GTK_BOX(box), align, FALSE, FALSE, 0);
}

void build_schedule(GtkWidget* box)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* label = gtk_label_new(_("Schedule Correction:"));
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    gtk_box_pack_start(GTK_BOX(row), label, FALSE, FALSE, 4);
    GtkWidget* combo = keep(info_widgets.schedule, gtk_combo_box_new_text());
    for (const ScheduleInterval& interval : schedule_intervals)
        gtk_combo_box_append_text(GTK_COMBO_BOX(combo), _(interval.label));
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), app_settings.schedule_value);
    if (gtk_combo_box_get_active(GTK_COMBO_BOX(combo)) < 0) {
        // A value from outside the table: shown and kept as "never", not written.
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 0);
        app_settings.schedule_value = 0;
    }
    g_signal_connect(combo, "changed", G_CALLBACK(on_schedule_changed), nullptr);
    gtk_box_pack_start(GTK_BOX(row), combo, FALSE, FALSE, 2);
    set_tip(row, _("You can choose periodic interval for automatical synchronization which vary from 1 minute "
                   "to 1 month."));
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
}

void build_update_time(GtkWidget* box)
{
    build_auto_update(box);
    build_correct_now(box);
    build_schedule(box);
    schedule_request_on_startup();
    keep(info_widgets.last_update,
         add_label(box, _("Last time update"), _("Date and Time of the previous clock correction")));
    keep(info_widgets.next_update, add_label(box, _("Next time update"), _("Predictive time of the next update")));
    no_show_all(keep(info_widgets.result, add_label(box, "", _("What the latest correction did, or why the clock "
                                                              "was not set"))));
}

void build_altitude(GtkWidget* box)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 4);
    keep(info_widgets.altitude, add_label(row, _("Altitude"), _("Altitude, Meters or Feets, above mean sea level")));
    GtkWidget* combo = keep(info_widgets.units, gtk_combo_box_new_text());
    gtk_combo_box_append_text(GTK_COMBO_BOX(combo), _("meters"));
    gtk_combo_box_append_text(GTK_COMBO_BOX(combo), _("feets"));
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), app_settings.show_feets ? 1 : 0);
    g_signal_connect(combo, "changed", G_CALLBACK(on_units_changed), nullptr);
    gtk_box_pack_start(GTK_BOX(row), combo, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, FALSE, 0);
}

void build_additional(GtkWidget* box)
{
    keep(info_widgets.satellites, add_label(box, _("Used satellites"), _("the number of the fixed satellites")));
    gchar* modes = g_strdup_printf("%s\n %s\n %s\n %s\n %s\n %s", _("Possible GPS modes:"), _("No GPS Signal"),
                                   _("Fix not available"), _("Differential GPS"),
                                   _("SPS (Standard Positioning Service)"), _("PPS (Precise Positioning Service)"));
    keep(info_widgets.mode, add_label(box, _("GPS mode"), modes));
    g_free(modes);
    keep(info_widgets.latitude, add_label(box, _("Latitude"), _("Latitude of your position")));
    keep(info_widgets.longitude, add_label(box, _("Longitude"), _("Longitude of your position")));
    build_altitude(box);
    gtk_box_pack_start(GTK_BOX(box), keep(info_widgets.gnss_hint, gnss_hint_label_new()), FALSE, FALSE, 0);
    no_show_all(keep(info_widgets.status, add_label(box, "", nullptr)), 72);
}

void on_question_response(GtkInfoBar*, gint response, gpointer)
{
    step_question_answer(step_question_now().id, response == GTK_RESPONSE_YES);
    gtk_widget_hide(info_widgets.question);
}

// Asks once for each step over the cap; the analysis thread goes on meanwhile
// and makes the step at its next sentence after a yes.
GtkWidget* build_question_bar()
{
    GtkWidget* bar = keep(info_widgets.question, gtk_info_bar_new_with_buttons(GTK_STOCK_YES, GTK_RESPONSE_YES,
                                                                               GTK_STOCK_NO, GTK_RESPONSE_NO,
                                                                               nullptr));
    gtk_info_bar_set_message_type(GTK_INFO_BAR(bar), GTK_MESSAGE_QUESTION);
    GtkWidget* text = keep(info_widgets.question_text, gtk_label_new(""));
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_width_chars(GTK_LABEL(text), 70);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 70);
    gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(bar))), text);
    g_signal_connect(bar, "response", G_CALLBACK(on_question_response), nullptr);
    gtk_widget_set_no_show_all(bar, TRUE);
    gtk_widget_show(text);
    return bar;
}

void refresh_question()
{
    if (!info_widgets.question)
        return;
    static unsigned shown = 0;
    StepQuestion question = step_question_now();
    bool open = question.id != 0 && !question.answered;
    if (open && (question.id != shown || !gtk_widget_get_visible(info_widgets.question))) {
        gtk_label_set_text(GTK_LABEL(info_widgets.question_text), info_step_question_text(question).c_str());
        gtk_widget_show(info_widgets.question);
    } else if (!open && gtk_widget_get_visible(info_widgets.question)) {
        gtk_widget_hide(info_widgets.question);
    }
    shown = question.id;
}

void refresh_prestep()
{
    PrestepList list = prestep_list_now();
    for (int row = 0; row < 3; ++row) {
        if (!info_widgets.prestep[row])
            continue;
        set_markup(info_widgets.prestep[row], info_prestep_markup(list, row));
        gtk_widget_show(info_widgets.prestep[row]);
    }
}

// A label that shows a text in a colour, and is hidden while the text is empty.
void show_text(GtkWidget* label, const std::string& text, const char* colour)
{
    if (!label)
        return;
    gtk_widget_set_visible(label, !text.empty());
    set_markup(label, colour ? g_markup_printf_escaped("<span foreground=\"%s\">%s</span>", colour, text.c_str())
                             : g_markup_escape_text(text.c_str(), -1));
}

// The status line, the offset and the latest correction's result.
void refresh_status()
{
    show_text(info_widgets.status, status_line_text(), "#c00");
    show_text(info_widgets.offset, clock_offset_text(clock_offset_now()), nullptr);
    CorrectionResult result = correction_result_now();
    show_text(info_widgets.result, correction_result_text(result), result.made ? nullptr : "#c00");
    correction_notice_poll(result);
    refresh_prestep();
    refresh_question();
    offset_chart_refresh();
}

// A mark and a colour for each state of a check.
const char* state_mark(CheckState state)
{
    switch (state) {
    case CheckState::ok:
        return "<span foreground=\"#2a2\">\u2713</span>";
    case CheckState::adjusted:
        return "<span foreground=\"#c80\">\u2713</span>";
    case CheckState::waiting:
        return "<span foreground=\"#c80\">?</span>";
    case CheckState::failed:
        return "<span foreground=\"#c00\">\u2717</span>";
    default:
        return "<span foreground=\"#888\">\u2013</span>";
    }
}

std::string fix_check_text(const PrestepList& list)
{
    if (list.fix == CheckState::unknown)
        return _("Fix: no data");
    if (list.fix_quality < 0)
        return _("Fix: none yet");
    if (list.min_satellites <= 0)
        return owned_text(g_strdup_printf(_("Fix: %d satellites in use"), list.satellites));
    return owned_text(g_strdup_printf(_("Fix: %d satellites in use, at least %d wanted"), list.satellites,
                                      list.min_satellites));
}

std::string date_check_text(const PrestepList& list)
{
    std::string reported = day_text(list.date_check.reported_day), built = day_text(list.build_day);
    switch (list.date == CheckState::unknown ? DateVerdict::none : list.date_check.verdict) {
    case DateVerdict::ok:
        return owned_text(g_strdup_printf(_("Date: %s, not before the build date %s"), reported.c_str(), built.c_str()));
    case DateVerdict::rolled_over:
        return owned_text(g_strdup_printf(_("Date: %s is 1024 weeks early (GPS week roll-over): %s is taken"),
                                          reported.c_str(), day_text(list.date_check.used_day).c_str()));
    case DateVerdict::refused:
        return owned_text(g_strdup_printf(_("Date: %s is before the build date %s: refused"), reported.c_str(),
                                          built.c_str()));
    default:
        return list.date == CheckState::unknown ? _("Date: no data") : _("Date: none sent, the PC's date is taken");
    }
}

std::string step_check_text(const PrestepList& list)
{
    if (list.step == CheckState::unknown)
        return _("Step: not measured yet");
    std::string step = step_size_text(list.step_ns);
    int cap = int(list.cap_ns / 60000000000LL);
    switch (list.step_verdict) {
    case StepVerdict::ask:
        return owned_text(g_strdup_printf(_("Step: %s, larger than %d min: asks you first"), step.c_str(), cap));
    case StepVerdict::approved:
        return owned_text(g_strdup_printf(_("Step: %s, you said yes"), step.c_str()));
    case StepVerdict::declined:
        return owned_text(g_strdup_printf(_("Step: %s, you said no"), step.c_str()));
    default:
        if (cap <= 0)
            return owned_text(g_strdup_printf(_("Step: %s"), step.c_str()));
        return owned_text(g_strdup_printf(_("Step: %s, within %d min"), step.c_str(), cap));
    }
}

}  // namespace

gchar* info_prestep_markup(const PrestepList& list, int row)
{
    CheckState state = row == 0 ? list.fix : row == 1 ? list.date : list.step;
    std::string text = row == 0 ? fix_check_text(list) : row == 1 ? date_check_text(list) : step_check_text(list);
    gchar* escaped = g_markup_escape_text(text.c_str(), -1);
    gchar* markup = g_strdup_printf("%s %s", state_mark(state), escaped);
    g_free(escaped);
    return markup;
}

std::string info_step_question_text(const StepQuestion& question)
{
    GDateTime* target = g_date_time_new_from_unix_utc(question.target_ns / 1000000000);
    // As the GPS time row writes a UTC moment.
    gchar* when = target ? g_date_time_format(target, "%x %X") : g_strdup("-");
    if (target)
        g_date_time_unref(target);
    std::string text = owned_text(g_strdup_printf(_("Set the PC clock to %s UTC from the receiver? That moves it by "
                                                    "%s, more than the %d min Satclock makes without asking. Answer "
                                                    "No if the receiver's time is wrong."),
                                                  when, step_size_text(question.step_ns).c_str(),
                                                  prestep_step_cap_minutes.load()));
    g_free(when);
    return text;
}

gchar* info_satellites_markup(int satellites)
{
    return g_markup_printf_escaped("%s: %d", _("Used satellites"), satellites);
}

gchar* info_mode_markup(int fix_quality)
{
    const char* format = "%s: <span foreground=\"red\" weight=\"bold\">%s</span>";
    const char* text = _("No GPS Signal");
    if (fix_quality == -1) {
        format = "%s: <span foreground=\"#a2a\" weight=\"bold\">%s</span>";
        text = _("Fix not available");
    } else if (fix_quality >= 1 && fix_quality <= 3) {
        format = "%s: <span foreground=\"#2a2\" weight=\"bold\">%s</span>";
        const char* const fixed[] = {N_("GPS SPS"), N_("Differential GPS, SPS"), N_("GPS PPS")};
        text = _(fixed[fix_quality - 1]);
    }
    return g_markup_printf_escaped(format, _("GPS mode"), text);
}

gchar* info_latitude_markup(double latitude)
{
    // TRANSLATORS: the letters after a latitude or longitude (north, south, east, west).
    const char* north = C_("hemisphere", "N");
    return angle_markup(_("Latitude"), latitude, north, C_("hemisphere", "S"));
}

gchar* info_longitude_markup(double longitude)
{
    return angle_markup(_("Longitude"), longitude, C_("hemisphere", "E"), C_("hemisphere", "W"));
}

gchar* info_altitude_markup(double altitude_m, bool show_feets)
{
    return g_markup_printf_escaped("%s: %.1lf", _("Altitude"), show_feets ? altitude_m * kFeetPerMetre : altitude_m);
}

gchar* info_local_time_markup()
{
    if (!local_zone)
        local_zone = g_time_zone_new_local();
    CalendarTime now{};
    now_calendar(now);
    gchar* text = format_fields(local_zone, static_cast<int>(now.year), static_cast<int>(now.month),
                                static_cast<int>(now.day), static_cast<int>(now.hour), static_cast<int>(now.minute),
                                now.second);
    return time_markup(_("Local Time"), text);
}

gchar* info_gps_time_markup(const GpsFix& fix)
{
    // The fields are UTC and shown as they are; in a UTC zone no daylight-saving
    // gap of the local zone can shift them.
    if (!utc_zone)
        utc_zone = g_time_zone_new_utc();
    gchar* text = format_fields(utc_zone, fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second);
    return time_markup(_("GPS Time"), text);
}

gchar* info_last_update_markup(double jd_prev)
{
    if (jd_prev < 0)
        return name_value_markup(_("Last time update"), _("Never"));
    return time_markup(_("Last time update"), jd_format_datetime(jd_prev));
}

gchar* info_next_update_markup(double next_jd, int schedule_value, bool corrected_before)
{
    if (next_jd < 0)
        return name_value_markup(_("Next time update"), _("Never"));
    if (next_jd == 0)
        return name_value_markup(_("Next time update"), _("On Next Startup"));
    gchar* moment = jd_format_datetime(next_jd);
    bool listed = schedule_value >= 0 && schedule_value < kScheduleIntervalCount;
    const char* period = listed ? _(schedule_intervals[schedule_value].label) : "";
    // TRANSLATORS: the next correction's moment, then the chosen interval.
    gchar* text = corrected_before ? g_strdup_printf(_("%s (%s, counted from the last correction)"),
                                                     moment ? moment : kNoTime, period)
                                   : g_strdup_printf(_("%s (%s, counted from the first start)"),
                                                     moment ? moment : kNoTime, period);
    g_free(moment);
    return time_markup(_("Next time update"), text);
}

GtkWidget* create_info_page()
{
    info_page_load_settings();
    GtkWidget* page = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(page), build_question_bar(), FALSE, FALSE, 0);
    GtkWidget* table = gtk_table_new(3, 2, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 4);
    build_times(add_frame(table, _("Times"), 0, 1, 0, kExpandFill));
    build_update_time(add_frame(table, _("Update Time"), 1, 2, 0, kExpandFill));
    build_additional(add_frame(table, _("Additional info"), 0, 2, 1, kExpandFill));
    gtk_box_pack_start(GTK_BOX(add_frame(table, _("Offset history"), 0, 2, 2, kExpandFill)), offset_chart_box_new(),
                       TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(page), table, TRUE, TRUE, 0);
    return page;
}

gboolean gps_info_tick(gpointer)
{
    GpsFix fix = receiver_fix();
    set_markup(info_widgets.satellites, info_satellites_markup(fix.satellites));
    set_markup(info_widgets.mode, info_mode_markup(fix.fix_quality));
    set_markup(info_widgets.latitude, info_latitude_markup(fix.latitude));
    set_markup(info_widgets.longitude, info_longitude_markup(fix.longitude));
    set_markup(info_widgets.altitude, info_altitude_markup(fix.altitude, app_settings.show_feets));
    if (info_widgets.correct_now)
        gtk_widget_set_sensitive(info_widgets.correct_now, fix.fix_quality > 0);
    gnss_hint_label_update(info_widgets.gnss_hint);
    refresh_status();
    tray_follow_receiver();
    return TRUE;
}

gboolean info_refresh_tick(gpointer)
{
    tray_poll_requests();
    schedule_tick();
    if (app_settings.show_nmea_info)
        nmea_view_feed();
    nmea_view_overrun_refresh();
    pps_state_label_update();
    nmea_delay_frame_refresh();
    chrony_frame_refresh();
    set_markup(info_widgets.local_time, info_local_time_markup());
    set_markup(info_widgets.gps_time, info_gps_time_markup(receiver_fix()));
    set_markup(info_widgets.last_update, info_last_update_markup(correct_time_jd_prev.load()));
    set_markup(info_widgets.next_update, info_next_update_markup(next_update_jd, app_settings.schedule_value,
                                                                 correct_time_jd_prev.load() >= 0));
    return TRUE;
}

void start_info_timers()
{
    if (gps_info_timer == 0)
        gps_info_timer = g_timeout_add(kGpsInfoPeriodMs, gps_info_tick, nullptr);
    if (refresh_timer == 0)
        refresh_timer = g_timeout_add(kRefreshPeriodMs, info_refresh_tick, nullptr);
}

namespace {

// The tray too: some of its causes come with time ("no bytes for 5 s").
gboolean hidden_schedule_tick(gpointer)
{
    schedule_check();
    tray_follow_receiver();
    return TRUE;
}

void follow_window(bool shown)
{
    if (!shown) {
        stop_info_timers();
        if (hidden_schedule_timer == 0)
            hidden_schedule_timer = g_timeout_add(kHiddenSchedulePeriodMs, hidden_schedule_tick, nullptr);
        return;
    }
    if (hidden_schedule_timer != 0)
        g_source_remove(hidden_schedule_timer);
    hidden_schedule_timer = 0;
    start_info_timers();
    gps_info_tick(nullptr);
    info_refresh_tick(nullptr);
}

gboolean on_window_mapped(GtkWidget*, GdkEvent*, gpointer)
{
    follow_window(true);
    return FALSE;
}

gboolean on_window_unmapped(GtkWidget*, GdkEvent*, gpointer)
{
    follow_window(false);
    return FALSE;
}

}  // namespace

void info_timers_follow_window(GtkWidget* window)
{
    g_signal_connect(window, "map-event", G_CALLBACK(on_window_mapped), nullptr);
    g_signal_connect(window, "unmap-event", G_CALLBACK(on_window_unmapped), nullptr);
    follow_window(gtk_widget_get_mapped(window));
}

void stop_info_timers()
{
    if (gps_info_timer != 0)
        g_source_remove(gps_info_timer);
    if (refresh_timer != 0)
        g_source_remove(refresh_timer);
    gps_info_timer = 0;
    refresh_timer = 0;
    if (hidden_schedule_timer != 0)
        g_source_remove(hidden_schedule_timer);
    hidden_schedule_timer = 0;
}
