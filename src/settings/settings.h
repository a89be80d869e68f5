// The settings file: lines of key="value" under the common application-data folder,
// read and written one key at a time, in place, shared by both threads of the program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Status of every read and write: 1 found / written, 0 missing (default used), -1 failure.

// Computes the settings path: get_shell_folder("Common AppData") + "/satclock/satclock.ini".
void settings_init_path();
// The path computed by settings_init_path ("" before).
std::string settings_path();

// Reads a key's decoded value. Missing key or unopenable file: value = default (left
// unchanged when default_value is nullptr) and 0; unopenable file without a default: -1.
int settings_read_string(const char* key, const char* default_value, std::string& value);
// value = (text is exactly "TRUE"); unchanged on -1.
int settings_read_bool(const char* key, bool default_value, bool& value);
// Leading blanks, sign and decimal digits (0 when none); unchanged on -1.
int settings_read_int(const char* key, int default_value, int& value);
// Written with a point; read as a number with a point or the locale's separator; unchanged on -1.
int settings_read_double(const char* key, double default_value, double& value);

// Replace the key's line in place, or append it; every other byte of the file is kept.
// The file is replaced as a whole or not at all. Returns 1 or -1.
int settings_write_string(const char* key, const char* value);
int settings_write_bool(const char* key, bool value);        // "TRUE" / "FALSE"
int settings_write_int(const char* key, int value);          // "%d"
int settings_write_double(const char* key, double value);    // "%f" with a point

// --- The line format, without file access (also driven by the fuzzer) ---

// One line without its LF. True when it is a setting line: a key (up to the first '=',
// leading tab/CR/space skipped, not a '#' comment) and a value (between the first two
// double quotes not directly preceded by a backslash; not unescaped).
bool settings_parse_line(std::string_view line, std::string_view* key, std::string_view* value);

// Where a setting line lies in the file's bytes: line index from 0, byte offset, length
// with its LF.
struct SettingsLineSpan {
    long index;
    size_t offset;
    size_t length;
};

// The first LF-terminated setting line of exactly this key (a last line without LF is
// never examined). Returns its index, or -1.
long settings_find_line(std::string_view bytes, std::string_view key, SettingsLineSpan* found);

// CR, LF and '"' to the bytes 4, 5, 6, and back.
std::string settings_encode_value(std::string_view value);
std::string settings_decode_value(std::string_view value);

// The line written for a key: key="encoded value" CR LF. Empty when the pair could not
// be read back (the key holds '=', '"', CR or LF, starts with a blank or '#'; the value
// holds one of the bytes 4, 5, 6, or ends with a backslash, which would hide the
// closing quote).
std::string settings_format_line(std::string_view key, std::string_view value);

// The file's new bytes after writing line for key: the key's first line replaced, or the
// line appended (after a CR LF when the last line has no line end; a last line of the
// same key without a line end is replaced).
std::string settings_apply_line(std::string_view bytes, std::string_view key, std::string_view line);

// --- The program's settings ---

// Key names.
namespace settings_keys {
inline constexpr char com_port[] = "com_port";
inline constexpr char baudrate[] = "baudrate";
inline constexpr char use_pps[] = "use_pps";
inline constexpr char use_cts[] = "use_cts";
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
}  // namespace settings_keys

// Defaults handed to the read routines: what a missing key (or an unopenable file) gives.
// correct_time_jd_start has none here: its default is now_jd() at the time of reading.
namespace settings_defaults {
inline constexpr int com_port = 1;
inline constexpr int baudrate = 4800;
inline constexpr bool use_pps = false;
inline constexpr bool use_cts = true;
inline constexpr bool show_nmea_info = true;
inline constexpr bool auto_update = true;
inline constexpr int schedule_value = 1;
inline constexpr double correct_time_jd_prev = -1;  // -1: no correction yet
inline constexpr bool show_feets = false;
inline constexpr bool auto_run = true;
inline constexpr bool turn_to_tray = false;
inline constexpr bool above_all_page = false;     // the Preferences page
inline constexpr bool above_all_startup = true;   // the start-up step that applies it
inline constexpr bool screen_no_show = false;
inline constexpr bool accept_gnss_talkers = false;
inline constexpr int nmea_delay_ms = 0;
inline constexpr bool nmea_compensate = false;
inline constexpr char nmea_delay_receiver[] = "";
inline constexpr int nmea_delay_spread_ms = -1;  // -1: entered by hand, not learned
// A desktop notification for each clock correction, made or refused: a user
// who asked for a correction expects to be told what became of it.
inline constexpr bool notify_corrections = true;
// Give GPS time to chrony instead of setting the clock: off, the clock is set as designed.
inline constexpr bool chrony_feed = false;
}  // namespace settings_defaults

// The program's value of each key, as it stands before the first read. screen_no_show is
// not kept: it is read when needed. Owned by the GUI thread; values that other threads
// use are mirrored in their own atomic flags.
struct AppSettings {
    int com_port = 1;
    int baudrate = 4800;
    bool use_pps = false;
    bool use_cts = true;
    bool show_nmea_info = false;
    bool auto_update = false;
    int schedule_value = -1;
    double correct_time_jd_prev = -1;
    double correct_time_jd_start = -1;
    bool show_feets = true;
    bool auto_run = true;
    bool turn_to_tray = false;
    bool above_all = false;
    bool accept_gnss_talkers = false;  // GNSS mode of the decoder
    bool notify_corrections = true;
};

extern AppSettings app_settings;
