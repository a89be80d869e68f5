// The program's settings: every key it keeps in the file, with its type and
// the value a missing key gives, in one table; AppSettings, the values in
// force, starts from that table, and the pages load their keys through it.
#pragma once

#include <climits>
#include <string>
#include <string_view>
#include <vector>

// Key names.
namespace settings_keys {
inline constexpr char com_port[] = "com_port";
inline constexpr char baudrate[] = "baudrate";
inline constexpr char use_pps[] = "use_pps";
inline constexpr char use_cts[] = "use_cts";
inline constexpr char pps_inverted[] = "pps_inverted";
inline constexpr char show_nmea_info[] = "show_nmea_info";
inline constexpr char auto_update[] = "auto_update";
inline constexpr char schedule_value[] = "schedule_value";
inline constexpr char correct_time_jd_prev[] = "correct_time_jd_prev";
inline constexpr char correct_time_jd_start[] = "correct_time_jd_start";
inline constexpr char show_feets[] = "show_feets";
inline constexpr char auto_run[] = "auto_run";
inline constexpr char turn_to_tray[] = "turn_to_tray";
inline constexpr char above_all[] = "above_all";
inline constexpr char screen_no_show[] = "screen_no_show";
inline constexpr char accept_gnss_talkers[] = "accept_gnss_talkers";
inline constexpr char nmea_delay_ms[] = "nmea_delay_ms";
inline constexpr char nmea_compensate[] = "nmea_compensate";
inline constexpr char nmea_delay_receiver[] = "nmea_delay_receiver";
inline constexpr char nmea_delay_spread_ms[] = "nmea_delay_spread_ms";
inline constexpr char notify_corrections[] = "notify_corrections";
inline constexpr char chrony_feed[] = "chrony_feed";
inline constexpr char min_satellites[] = "min_satellites";
inline constexpr char step_cap_minutes[] = "step_cap_minutes";
inline constexpr char gpsd_host[] = "gpsd_host";
}  // namespace settings_keys

// The program's value of each key it keeps in memory: what is in force. It
// starts as the table gives it (as if every key were missing) and the pages
// load the file into it. screen_no_show, the receiver-delay keys and
// gpsd_host are not kept here (read when needed; the delay lives with the
// analysis thread, the gpsd source with the reader).
// Owned by the GUI thread; values that other threads use are mirrored in
// their own atomic flags.
struct AppSettings {
    constexpr AppSettings();

    int com_port = 0;
    int baudrate = 0;
    bool use_pps = false;
    bool use_cts = false;
    bool pps_inverted = false;  // the receiver's pulse turns its line off at the second
    bool show_nmea_info = false;
    bool auto_update = false;
    int schedule_value = 0;
    double correct_time_jd_prev = 0;
    double correct_time_jd_start = -1;  // -1 until the schedule has read or stored it
    bool show_feets = false;
    bool auto_run = false;
    bool turn_to_tray = false;
    bool above_all = false;
    bool accept_gnss_talkers = false;  // GNSS mode of the decoder
    bool notify_corrections = false;   // a desktop notification for each correction
    int min_satellites = 0;            // mirrored in prestep_min_satellites
    int step_cap_minutes = 0;          // mirrored in prestep_step_cap_minutes
};

extern AppSettings app_settings;

enum class SettingType { boolean, integer, real, text };

// One key. Numbers outside low..high make sense to no part of the program: a
// file that holds one gives the default instead.
struct SettingRow {
    const char* key;
    SettingType type;
    double value;             // boolean (0/1), integer or real: what a missing key gives
    const char* text = "";    // text: what a missing key gives
    double low = INT_MIN;
    double high = INT_MAX;
    bool AppSettings::*boolean_member = nullptr;  // where AppSettings keeps it, if it does
    int AppSettings::*integer_member = nullptr;
    double AppSettings::*real_member = nullptr;
};

namespace settings_rows {
using T = SettingType;
using A = AppSettings;
// correct_time_jd_start: a missing key means "now" (the schedule then stores
// it); -1 here is "not stored".
inline constexpr SettingRow table[] = {
    {settings_keys::com_port, T::integer, 1, "", 1, 32767, nullptr, &A::com_port},
    {settings_keys::baudrate, T::integer, 4800, "", 50, 4000000, nullptr, &A::baudrate},
    {settings_keys::use_pps, T::boolean, 0, "", 0, 1, &A::use_pps},
    {settings_keys::use_cts, T::boolean, 1, "", 0, 1, &A::use_cts},
    // The pulse's leading edge times the second: the line turning on, or off when inverted.
    {settings_keys::pps_inverted, T::boolean, 0, "", 0, 1, &A::pps_inverted},
    {settings_keys::show_nmea_info, T::boolean, 1, "", 0, 1, &A::show_nmea_info},
    {settings_keys::auto_update, T::boolean, 1, "", 0, 1, &A::auto_update},
    {settings_keys::schedule_value, T::integer, 1, "", INT_MIN, INT_MAX, nullptr, &A::schedule_value},
    {settings_keys::correct_time_jd_prev, T::real, -1, "", -1e9, 1e9, nullptr, nullptr, &A::correct_time_jd_prev},
    {settings_keys::correct_time_jd_start, T::real, -1, "", -1e9, 1e9},
    {settings_keys::show_feets, T::boolean, 0, "", 0, 1, &A::show_feets},
    {settings_keys::auto_run, T::boolean, 1, "", 0, 1, &A::auto_run},
    {settings_keys::turn_to_tray, T::boolean, 0, "", 0, 1, &A::turn_to_tray},
    {settings_keys::above_all, T::boolean, 0, "", 0, 1, &A::above_all},
    {settings_keys::screen_no_show, T::boolean, 0, "", 0, 1},
    {settings_keys::accept_gnss_talkers, T::boolean, 0, "", 0, 1, &A::accept_gnss_talkers},
    {settings_keys::nmea_delay_ms, T::integer, 0, "", 0, 2000},
    {settings_keys::nmea_compensate, T::boolean, 0, "", 0, 1},
    {settings_keys::nmea_delay_receiver, T::text, 0, ""},
    {settings_keys::nmea_delay_spread_ms, T::integer, -1, "", -1, INT_MAX},  // -1: entered by hand, not learned
    // A user who asked for a correction expects to be told what became of it.
    {settings_keys::notify_corrections, T::boolean, 1, "", 0, 1, &A::notify_corrections},
    // Give GPS time to chrony instead of setting the clock: off, the clock is set as designed.
    {settings_keys::chrony_feed, T::boolean, 0, "", 0, 1},
    // Before a step of the clock: a fix is enough (0 satellites asked for), and
    // a step of more than an hour waits for the user's yes (0: never asks).
    {settings_keys::min_satellites, T::integer, 0, "", 0, 99, nullptr, &A::min_satellites},
    {settings_keys::step_cap_minutes, T::integer, 60, "", 0, 1000000, nullptr, &A::step_cap_minutes},
    // Read the receiver through gpsd ("localhost:2947", gpsd's "host:port[:device]"):
    // empty, the serial port com_port as designed.
    {settings_keys::gpsd_host, T::text, 0, ""},
};
}  // namespace settings_rows

inline constexpr const SettingRow* settings_row(std::string_view key)
{
    for (const SettingRow& row : settings_rows::table)
        if (key == row.key)
            return &row;
    return nullptr;
}

constexpr AppSettings::AppSettings()
{
    for (const SettingRow& row : settings_rows::table) {
        if (row.boolean_member)
            this->*row.boolean_member = row.value != 0;
        if (row.integer_member)
            this->*row.integer_member = int(row.value);
        if (row.real_member)
            this->*row.real_member = row.value;
    }
}

// What a missing key gives (compile-time errors for unknown keys).
constexpr bool setting_default_bool(std::string_view key) { return settings_row(key)->value != 0; }
constexpr int setting_default_int(std::string_view key) { return int(settings_row(key)->value); }
constexpr double setting_default_double(std::string_view key) { return settings_row(key)->value; }

// The row's default as the file writes it ("TRUE", "4800", "-1.000000", text).
std::string setting_default_text(const SettingRow& row);

// The value in force for a key whose line holds text: what the designed
// reading makes of it, or the default when that is outside the row's range.
// well_formed: the text is what the program itself writes for that value
// ("TRUE"/"FALSE", a decimal integer, a number with a point) and in range.
std::string setting_in_force_text(const SettingRow& row, const std::string& text, bool* well_formed);

// Reads a key of the table into value; returns the read's status (1, 0, -1;
// value unchanged on -1). A text that is not well formed gives the value in
// force above.
int settings_load(const char* key, bool& value);
int settings_load(const char* key, int& value);
int settings_load(const char* key, double& value);
int settings_load(const char* key, std::string& value);

// What is wrong with the file or with saving it, for the window.
struct SettingsProblem {
    enum class Kind {
        unreadable_line,  // neither a comment nor key="value"
        bad_value,        // a key of the table whose value is not well formed
        not_saved,        // a change could not be written
        too_large,        // the file is over settings_file_cap: neither read nor written
    };
    Kind kind;
    long line = 0;         // from 1 (unreadable_line, bad_value)
    std::string text;      // the line as it stands, cut to settings_notice_line_max (unreadable_line, bad_value)
    std::string key;       // bad_value, not_saved
    std::string in_force;  // bad_value: the value used instead; not_saved: the value kept
    int error = 0;         // not_saved: errno of the write
    bool operator==(const SettingsProblem&) const = default;
};

// A line quoted in a notice is cut to about this many bytes (then ends in "...").
inline constexpr size_t settings_notice_line_max = 200;
std::string settings_notice_line(std::string_view line);

// The unreadable lines and bad values of a settings file's bytes.
std::vector<SettingsProblem> settings_problems_in(std::string_view bytes);
