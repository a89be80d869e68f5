// The offset history: its file format, bounds, drift and CSV, and the
// program's copy with the thread that writes it.
#include "src/correction/offset_history.h"

#include "platform/clock.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/time_units.h"
#include "platform/work_queue.h"
#include "src/correction/gps_clock.h"
#include "src/correction/nmea_delay.h"
#include "src/correction/prestep_check.h"
#include "src/settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr size_t kFileLimit = 4u << 20;  // far above the bounds' 11500 lines
constexpr char kFileName[] = "offset_history.txt";
constexpr char kHeader[] =
    "# satclock offset history: C (correction) or L (live, once a minute), GPS time in ms since 1970 UTC, "
    "PC clock minus GPS time in ns, source, uncertainty in ms\n";

const char* source_name(OffsetSource source)
{
    switch (source) {
    case OffsetSource::pps:
        return "1pps";
    case OffsetSource::nmea_delay:
        return "nmea+delay";
    default:
        return "nmea";
    }
}

bool source_of(std::string_view name, OffsetSource* source)
{
    for (OffsetSource s : {OffsetSource::nmea, OffsetSource::nmea_delay, OffsetSource::pps}) {
        if (name == source_name(s)) {
            *source = s;
            return true;
        }
    }
    return false;
}

// The next blank-separated word of text, taken off its front.
std::string_view next_word(std::string_view& text)
{
    size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        text = {};
        return {};
    }
    size_t end = text.find(' ', start);
    std::string_view word = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end);
    return word;
}

bool whole_number(std::string_view word, int64_t* value)
{
    if (word.empty() || word.size() > 20)
        return false;
    std::string text(word);
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(text.back()))))
        return false;
    *value = v;
    return true;
}

bool parse_record(std::string_view line, HistoryRecord* record)
{
    std::string_view kind = next_word(line);
    int64_t at_ms = 0, offset = 0, uncertainty = 0;
    if (kind != "C" && kind != "L")
        return false;
    if (!whole_number(next_word(line), &at_ms) || !whole_number(next_word(line), &offset) ||
        !source_of(next_word(line), &record->source) || !whole_number(next_word(line), &uncertainty) ||
        !next_word(line).empty())
        return false;
    if (at_ms < 0 || at_ms > INT64_MAX / kNsPerMs || uncertainty < 0 || uncertainty > 1000000)
        return false;
    record->kind = kind == "C" ? HistoryKind::correction : HistoryKind::live;
    record->at_ns = at_ms * kNsPerMs;
    record->offset_ns = offset;
    record->uncertainty_ms = int(uncertainty);
    return true;
}

// Keeps the newest `most` records of a kind younger than `age` at now_ns.
void keep_newest(std::vector<HistoryRecord>& records, HistoryKind kind, int64_t age, size_t most, int64_t now_ns)
{
    size_t of_kind = size_t(std::count_if(records.begin(), records.end(), [&](auto& r) { return r.kind == kind; }));
    size_t surplus = of_kind > most ? of_kind - most : 0;
    std::erase_if(records, [&](const HistoryRecord& r) {
        if (r.kind != kind)
            return false;
        if (surplus > 0) {
            --surplus;
            return true;
        }
        return r.at_ns < now_ns - age;
    });
}

// "2026-12-08T12:40:44.123Z".
std::string utc_text(int64_t ns)
{
    UtcFields f = utc_fields_from_file_time(file_time_from_unix_ns(ns));
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f.year, f.month, f.day, f.hour,
                  f.minute, f.second, f.millis);
    return text;
}

// Nanoseconds as milliseconds with three decimals, always with a point.
std::string ms_text(int64_t ns)
{
    int64_t magnitude = ns < 0 ? -ns : ns;
    char text[40];
    std::snprintf(text, sizeof text, "%s%lld.%03lld", ns < 0 ? "-" : "", static_cast<long long>(magnitude / kNsPerMs),
                  static_cast<long long>(magnitude % kNsPerMs / 1000));
    return text;
}

}  // namespace

std::string offset_history_text(const std::vector<HistoryRecord>& records)
{
    std::string text = kHeader;
    char line[128];
    for (const HistoryRecord& r : records) {
        std::snprintf(line, sizeof line, "%c %lld %lld %s %d\n", r.kind == HistoryKind::correction ? 'C' : 'L',
                      static_cast<long long>(r.at_ns / kNsPerMs), static_cast<long long>(r.offset_ns),
                      source_name(r.source), r.uncertainty_ms);
        text += line;
    }
    return text;
}

HistoryParse offset_history_parse(std::string_view text)
{
    HistoryParse out;
    long number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        HistoryRecord record;
        if (parse_record(line, &record)) {
            out.records.push_back(record);
        } else if (out.garbled++ == 0) {
            out.first_garbled = number;
        }
    }
    return out;
}

void offset_history_trim(std::vector<HistoryRecord>& records, int64_t now_ns)
{
    std::stable_sort(records.begin(), records.end(), [](auto& a, auto& b) { return a.at_ns < b.at_ns; });
    keep_newest(records, HistoryKind::correction, kHistoryCorrectionsFor, kHistoryMaxCorrections, now_ns);
    keep_newest(records, HistoryKind::live, kHistoryLiveFor, kHistoryMaxLive, now_ns);
}

bool offset_history_stepped(const HistoryRecord& earlier, const HistoryRecord& later)
{
    int64_t change = later.offset_ns - earlier.offset_ns;
    double allowed = double(earlier.uncertainty_ms + later.uncertainty_ms) * kNsPerMs +
                     double(later.at_ns - earlier.at_ns) * kMostDriftPpm / 1e6;
    return double(change < 0 ? -change : change) > allowed;
}

std::vector<DriftSpan> offset_history_drifts(const std::vector<HistoryRecord>& records)
{
    std::vector<DriftSpan> spans;
    const HistoryRecord* previous = nullptr;  // the last correction
    const HistoryRecord* residual = nullptr;  // the first live measurement after it
    HistoryRecord last;                       // the last measurement since it (the correction: 0 left)
    bool stepped = false;                     // the clock was stepped since it
    for (const HistoryRecord& r : records) {
        if (previous)
            stepped = stepped || offset_history_stepped(last, r);
        last = r;
        if (r.kind == HistoryKind::live) {
            if (previous && !residual)
                residual = &r;
            continue;
        }
        last.offset_ns = 0;  // what the correction left
        if (previous && !stepped && r.at_ns - previous->at_ns >= kDriftMinSpanNs) {
            int64_t from_ns = residual ? residual->at_ns : previous->at_ns;
            int64_t left_ns = residual ? residual->offset_ns : 0;
            if (r.at_ns > from_ns)
                spans.push_back({previous->at_ns, r.at_ns, double(r.offset_ns - left_ns) / double(r.at_ns - from_ns) * 1e6});
        }
        previous = &r;
        residual = nullptr;
        stepped = false;
    }
    return spans;
}

std::string offset_history_csv(const std::vector<HistoryRecord>& records)
{
    std::string text = "time_utc,kind,pc_minus_gps_ms,source,uncertainty_ms\n";
    for (const HistoryRecord& r : records) {
        text += utc_text(r.at_ns) + (r.kind == HistoryKind::correction ? ",correction," : ",live,") +
                ms_text(r.offset_ns) + "," + source_name(r.source) + "," + std::to_string(r.uncertainty_ms) + "\n";
    }
    return text;
}

int offset_history_write_csv(const std::string& path, const std::vector<HistoryRecord>& records)
{
    return file_write_new(path, offset_history_csv(records), 0644);
}

HistoryParse offset_history_load(const std::string& path, int64_t now_ns)
{
    std::string bytes;
    int error = file_read_whole(path, &bytes, kFileLimit);
    if (error && error != ENOENT)
        std::printf("[history] %s cannot be read: %s\n", path.c_str(), std::strerror(error));
    HistoryParse parse = offset_history_parse(bytes);
    parse.error = error == ENOENT ? 0 : error;
    if (parse.garbled)
        std::printf("[history] %s: %d garbled line(s) skipped, the first is line %ld\n", path.c_str(), parse.garbled,
                    parse.first_garbled);
    std::fflush(stdout);
    offset_history_trim(parse.records, now_ns);
    return parse;
}

int offset_history_save(const std::string& path, std::vector<HistoryRecord> records, int64_t now_ns)
{
    offset_history_trim(records, now_ns);
    return file_write_new(path, offset_history_text(records), 0644);
}

std::string offset_history_path()
{
    std::string settings = settings_path();
    std::string folder = settings.substr(0, settings.rfind('/'));
    if (!folder.empty() && folder_writable(folder))
        return folder + "/" + kFileName;
    std::string state = env_value("XDG_STATE_HOME");
    std::string home = env_value("HOME");
    std::string base = state.starts_with('/') ? state : (home.empty() ? "/tmp" : home) + "/.local/state";
    make_folders(base + "/satclock", 0700);
    return base + "/satclock/" + kFileName;
}

// ---- the program's history ----

namespace {

// Never destroyed: the writer may still be at work while the process exits.
std::mutex& store_lock = *new std::mutex;
std::vector<HistoryRecord>& kept = *new std::vector<HistoryRecord>;  // under store_lock
unsigned kept_version = 0;                                          // under store_lock
WorkQueue& writer = *new WorkQueue;
std::once_flag writer_started;
std::string& history_file = *new std::string;  // writer only: empty until loaded, or when it cannot be kept
int reported = 0;                              // writer only: the error of the last write, said once
int64_t last_live_mono_ns = 0;                 // analysis thread only
const std::string kSaveKey = "save";

void save()
{
    if (history_file.empty())
        return;
    std::vector<HistoryRecord> records;
    {
        std::lock_guard guard(store_lock);
        records = kept;
    }
    int error = offset_history_save(history_file, std::move(records), platform_clock_read_ns());
    if (error && error != reported)
        std::printf("[history] %s cannot be written: %s\n", history_file.c_str(), std::strerror(error));
    reported = error;
}

// Written at once after a correction, and within a minute of a live offset.
void keep(const HistoryRecord& record, bool correction)
{
    {
        std::lock_guard guard(store_lock);
        kept.push_back(record);
        offset_history_trim(kept, platform_clock_read_ns());
        ++kept_version;
    }
    writer.post_keyed_at(kSaveKey, platform_monotonic_ns() + (correction ? 0 : kHistoryLivePeriodNs), save);
}

// A history file that cannot be read is never overwritten: it is renamed
// aside. False when that failed too: this run then saves no history.
bool keep_unreadable_aside(const std::string& path)
{
    std::string aside = path + ".unreadable";
    int error = file_rename_new(path, aside);
    if (error == 0)
        std::printf("[history] %s is kept as %s; a new history begins\n", path.c_str(), aside.c_str());
    else
        std::printf("[history] %s cannot be kept as %s (%s): no history is saved while satclock runs\n",
                    path.c_str(), aside.c_str(), std::strerror(error));
    std::fflush(stdout);
    return error == 0;
}

void load(const std::string& path)
{
    HistoryParse file = offset_history_load(path, platform_clock_read_ns());
    if (file.error != 0 && !keep_unreadable_aside(path))
        return;
    {
        std::lock_guard guard(store_lock);
        kept.insert(kept.begin(), file.records.begin(), file.records.end());
        offset_history_trim(kept, platform_clock_read_ns());
        ++kept_version;
    }
    history_file = path;
}

OffsetSource source_of_method(CorrectionMethod method)
{
    switch (method) {
    case CorrectionMethod::pps:
        return OffsetSource::pps;
    case CorrectionMethod::nmea_delay:
        return OffsetSource::nmea_delay;
    default:
        return OffsetSource::nmea;
    }
}

int uncertainty_of(OffsetSource source)
{
    if (source == OffsetSource::pps)
        return kPpsOffsetUncertaintyMs;
    if (source == OffsetSource::nmea_delay)
        return std::max(2, nmea_delay_spread_ms.load() + 1);
    return kNmeaOffsetUncertaintyMs;
}

}  // namespace

void offset_history_start(const std::string& path)
{
    std::call_once(writer_started, [&] {
        writer.post_at(0, [path] { load(path); });  // ahead of the writes of records noted before
        std::string error = writer.start();
        if (!error.empty())
            std::printf("[history] no writer thread: %s\n", error.c_str());
    });
}

void offset_history_note_correction(const CorrectionResult& result)
{
    if (!result.made)
        return;
    OffsetSource source = source_of_method(result.method);
    keep({HistoryKind::correction, result.at_ns, -result.shift_ns, source, uncertainty_of(source)}, true);
}

void offset_history_note_live(const ClockOffset& offset, int64_t gps_ns)
{
    int64_t now = platform_monotonic_ns();
    if (!offset.valid || (last_live_mono_ns != 0 && now - last_live_mono_ns < kHistoryLivePeriodNs))
        return;
    int64_t cap = prestep_step_cap_ns();
    if (cap > 0 && (offset.offset_ns > cap || -offset.offset_ns > cap))
        return;
    last_live_mono_ns = now;
    keep({HistoryKind::live, gps_ns, -offset.offset_ns, offset.source, offset.uncertainty_ms}, false);
}

std::vector<HistoryRecord> offset_history_records()
{
    std::lock_guard guard(store_lock);
    return kept;
}

unsigned offset_history_version()
{
    std::lock_guard guard(store_lock);
    return kept_version;
}
