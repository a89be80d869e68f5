// The offset history: how far the PC clock was from GPS time before each
// correction, and once a minute in between, kept in a bounded file of the
// user's (a year of corrections, a day of minutes) for the chart of the GPS
// info page and the CSV export.
//
// The analysis thread notes records in memory; a writer thread of its own
// loads the file at start and replaces it whole after a correction and at
// most once a minute otherwise.
#pragma once

#include "platform/time_units.h"
#include "src/correction/clock_offset.h"
#include "src/correction/correction_result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class HistoryKind {
    correction,  // measured just before a correction set the clock
    live,        // the offset measured once a minute
};

struct HistoryRecord {
    HistoryKind kind = HistoryKind::live;
    int64_t at_ns = 0;      // GPS time of the measurement, UTC ns since 1970
    int64_t offset_ns = 0;  // PC clock minus GPS time: above 0 the PC clock is ahead
    OffsetSource source = OffsetSource::nmea;
    int uncertainty_ms = 0;
    bool operator==(const HistoryRecord&) const = default;
};

inline constexpr int64_t kHistoryDayNs = kSecondsPerDay * kNsPerSecond;
inline constexpr int64_t kHistoryCorrectionsFor = 366 * kHistoryDayNs;  // a year of corrections ...
inline constexpr size_t kHistoryMaxCorrections = 10000;                 // ... of at most an hourly schedule
inline constexpr int64_t kHistoryLiveFor = kHistoryDayNs;               // a day of minutes
inline constexpr size_t kHistoryMaxLive = 1500;
inline constexpr int64_t kHistoryLivePeriodNs = 60 * kNsPerSecond;
// Shorter spans between corrections give no drift: the sentence's ±150 ms
// over a few minutes would read as hundreds of ppm.
inline constexpr int64_t kDriftMinSpanNs = 10 * 60 * kNsPerSecond;

// --- The file's text: a comment line, then "C|L <at ms> <offset ns> <source> <uncertainty ms>" ---

std::string offset_history_text(const std::vector<HistoryRecord>& records);

struct HistoryParse {
    std::vector<HistoryRecord> records;
    int garbled = 0;          // lines that are neither a comment nor a record: skipped
    long first_garbled = 0;   // the first of them, from 1
    int error = 0;            // the file is there but cannot be read (EFBIG: over 4 MiB, no history file)
};
HistoryParse offset_history_parse(std::string_view text);

// Drops what the bounds do not keep at now_ns (older than a year or a day,
// the oldest beyond the counts) and puts the records in time order.
void offset_history_trim(std::vector<HistoryRecord>& records, int64_t now_ns);

// Whether the clock was stepped between two measurements: their offsets
// differ by more than their uncertainties and kMostDriftPpm of the time
// between can explain (the kernel itself never slews a clock faster).
inline constexpr double kMostDriftPpm = 500;
bool offset_history_stepped(const HistoryRecord& earlier, const HistoryRecord& later);

// The PC clock's drift between two corrections, from the offset found at
// the second against the one left after the first (the first minute's
// measurement after it, else 0): above 0 the PC clock runs fast. A span in
// which the clock was stepped (by another program, or while Satclock was not
// running) has no drift: its offsets are not those of one running clock.
struct DriftSpan {
    int64_t from_ns = 0;
    int64_t to_ns = 0;
    double ppm = 0;
};
std::vector<DriftSpan> offset_history_drifts(const std::vector<HistoryRecord>& records);

// "time_utc,kind,pc_minus_gps_ms,source,uncertainty_ms" and a line a record.
std::string offset_history_csv(const std::vector<HistoryRecord>& records);
// Writes the CSV to path, replacing it whole. 0, or an errno value.
int offset_history_write_csv(const std::string& path, const std::vector<HistoryRecord>& records);

// --- The file ---

// The records of the file at path, trimmed at now_ns; a missing file is an
// empty history. Garbled lines are skipped and said once on standard output.
// The program's history keeps a file it cannot read (error) aside as
// path + ".unreadable" and begins a new one; when that name is taken it
// writes no history in this run rather than replace either file.
HistoryParse offset_history_load(const std::string& path, int64_t now_ns);
// Trims at now_ns and replaces the file whole. 0, or an errno value.
int offset_history_save(const std::string& path, std::vector<HistoryRecord> records, int64_t now_ns);

// Beside the settings when this user may write there, else the user's own
// $XDG_STATE_HOME/satclock (~/.local/state/satclock), made when missing.
std::string offset_history_path();

// --- The program's history ---

// Loads path and keeps it up to date from a thread of its own (once).
void offset_history_start(const std::string& path);
// A correction made (the analysis thread's result) and the live offset
// (noted at most once a minute), as the analysis thread measures them. A
// live offset beyond the step cap is not noted: the receiver's time waits for
// the user's word (or was declined) and is not the measure of the clock.
void offset_history_note_correction(const CorrectionResult& result);
void offset_history_note_live(const ClockOffset& offset, int64_t gps_ns);
// What is kept now, in time order, and a number that changes with every record.
std::vector<HistoryRecord> offset_history_records();
unsigned offset_history_version();
