// The analysis thread: line assembly, the silence rule, the correction
// procedure with its 1PPS alignment, and the pulse check.
#include "src/correction/analiz.h"

#include "common/smem.h"
#include "platform/clock.h"
#include "platform/realtime.h"
#include "platform/time_units.h"
#include "src/correction/calendar.h"
#include "src/correction/chrony_feed.h"
#include "src/correction/clock_offset.h"
#include "src/correction/correction_result.h"
#include "src/correction/gps_clock.h"
#include "src/correction/nmea_delay.h"
#include "src/correction/offset_history.h"
#include "src/correction/prestep_check.h"
#include "src/gps/com_reader.h"
#include "src/gps/gps_fix.h"
#include "src/gps/link_status.h"
#include "src/gps/nmea.h"
#include "src/gps/nmea_line_assembler.h"
#include "src/gps/receiver_view.h"
#include "src/gps/serial.h"
#include "src/settings/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

namespace {

constexpr int64_t kSilentAfterNs = 2010 * kNsPerMs;  // more than 2.0 s without a byte (or a sentence): silent
constexpr int kFirstPulseMs = 1100;   // a pulse comes once a second: one wait covers it
constexpr int kSecondPulseMs = 1500;
constexpr int kCheckWaits = 12;       // the pulse check listens 12 x 100 ms
constexpr int kCheckWaitMs = 100;
constexpr int kPpsSlot = 0;
constexpr char kLogDay[] = "%Y-%m-%d";  // the log writes days as "2007-05-05"

// When the bytes of a line arrived (monotonic clock, ns; 0 unknown): its line end,
// and the first byte of the burst it came in.
struct LineStamps {
    int64_t line_end_ns = 0;
    int64_t burst_ns = 0;
};

// The burst stamp of the line being analysed, for settime_gps (monotonic ns,
// 0 when unknown: the calls of other threads).
thread_local int64_t line_burst_ns = 0;

// Second of the day of the RMC whose date the fix holds, -1 before one. A GGA
// of an earlier second than this has crossed midnight since.
std::atomic<int> rmc_date_tod_s{-1};

void analiz_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void analiz_log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

// One command to the time service: 1 only when the service's own account
// acknowledged it as applied within kAckWaitMs; otherwise the reason is
// logged and the request stays.
constexpr int kAckWaitMs = 500;
int post_to_service(int32_t command, int64_t cur_ft, int64_t new_ft, PostOutcome* result = nullptr)
{
    PostOutcome outcome = post_time_command_acknowledged(command, cur_ft, new_ft, kAckWaitMs);
    if (outcome != PostOutcome::applied)
        analiz_log("[settime_gps] command %d: %s\n", command, post_outcome_text(outcome));
    if (result)
        *result = outcome;
    return post_outcome_counts(outcome) ? 1 : 0;
}

// What the latest settime_gps of this thread posted: the outcome and the
// shift it asked for (new_ft - cur_ft in ns); posted false when no command
// went out (not a valid time).
struct PostedTime {
    bool posted = false;
    PostOutcome outcome = PostOutcome::applied;
    int64_t shift_ns = 0;
    bool compensated = false;
    CorrectionHold hold = CorrectionHold::none;  // held back by the pre-step check
    int64_t reported_day = 0;                    // the receiver's date when refused
};
thread_local PostedTime last_post;

// Move the clock by shift_ns as it reads now; 0 or the errno of the refusal.
int shift_clock_ns(int64_t shift_ns)
{
    platform_realtime_priority_enter();
    int error = platform_clock_set_ns(platform_clock_read_ns() + shift_ns);
    platform_realtime_priority_leave();
    return error;
}

// Round the clock that read reading_ns to the second. The direct set moves it
// by the exact distance from that reading to the second, so neither the time
// since the reading nor a millisecond boundary crossed since enters the
// result. An ordinary user may not set the clock: then the service applies
// the shift in milliseconds, counting from the same reading.
// Returns the shift made in ns (0 none).
int64_t align_clock_read_at(int64_t reading_ns)
{
    int64_t reading_ft = file_time_from_unix_ns(reading_ns);
    int64_t shift = align_shift_ms(int(reading_ft / kFileTimeTicksPerMs % 1000));
    if (shift == 0)
        return 0;
    int64_t within_second_ns = reading_ns % kNsPerSecond;
    int64_t shift_ns = shift > 0 ? kNsPerSecond - within_second_ns : -within_second_ns;
    int error = shift_clock_ns(shift_ns);
    if (error == 0)
        return shift_ns;
    if (error != EPERM)
        return 0;
    int written = post_to_service(kCommandShiftTime, truncate_to_ms(reading_ft), shift);
    analiz_log("[align_time_to_second] direct set refused (%s): shift %lld ms posted to the service, written=%d\n",
               std::strerror(error), static_cast<long long>(shift), written);
    return written ? shift * 1000000 : 0;
}

// The receiver's pulse, twice: the first edge may come before the service has
// applied the new time; by the second, a second later, it has. The edge's own
// clock stamp, taken as the watcher woke, is nearer the pulse than our wake.
// True when the pulse came; *shift_ns the alignment made.
bool align_to_pulse(int64_t* shift_ns)
{
    int64_t edge_ns = 0;
    int result = com_wait_pps_edge(kPpsSlot, pps_use_cts.load(), kFirstPulseMs, &edge_ns);
    if (result == 0) {
        analiz_log("no first 1 pps\n");
        return false;
    }
    edge_ns = 0;
    result = com_wait_pps_edge(kPpsSlot, pps_use_cts.load(), kSecondPulseMs, &edge_ns);
    if (result != 1) {
        analiz_log("no 1 pps!!!\n");
        return false;
    }
    *shift_ns = align_clock_read_at(edge_ns != 0 ? edge_ns : platform_clock_read_ns());
    return true;
}

CorrectionMethod method_used(bool pulse)
{
    if (use_pps.load())
        return pulse ? CorrectionMethod::pps : CorrectionMethod::nmea_no_pulse;
    return last_post.compensated ? CorrectionMethod::nmea_delay : CorrectionMethod::nmea;
}

// A fix, and as many satellites in use as the pre-step check asks for.
bool fix_good_enough(const GpsFix& fix)
{
    return fix.fix_quality > 0 && fix.satellites >= prestep_min_satellites.load();
}

void correct_procedure(int result)
{
    analiz_log("start corect procedure\n");
    GpsFix fix = gps_fix_copy();
    if (!fix_good_enough(fix))
        return;
    last_post = PostedTime{};
    int posted = settime_gps(&fix);
    if (last_post.hold != CorrectionHold::none) {
        correction_result_held(last_post.hold, last_post.shift_ns, last_post.reported_day);
        return;
    }
    // Only a set the service applied is aligned: after a refused, lost or
    // unanswered one the pulse would move a clock nobody corrected.
    if (posted == 0) {
        if (last_post.posted)
            correction_result_refused(last_post.outcome);
        return;
    }
    int64_t align_ns = 0;
    bool pulse = use_pps.load() && align_to_pulse(&align_ns);
    clock_offset_forget();
    correction_result_made(last_post.shift_ns + align_ns, method_used(pulse));
    offset_history_note_correction(correction_result_now());
    double jd = now_jd();
    correct_time_jd_prev.store(jd);
    settings_post_double(settings_keys::correct_time_jd_prev, jd);  // the disk waits on the writer thread
    correct_time_request.store(0);
    analiz_log("was corect with=%d\n", result);
}

// The fields of the fix as the clock is to take them: a date of a GPS week
// roll-over moved forward 1024 weeks. False when the receiver's date is
// refused (before the build day, and not by a roll-over).
bool clock_fields_of(const GpsFix& fix, GpsClockFields* gps, DateCheck* date)
{
    *gps = GpsClockFields{fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second, gps_fraction_ms(fix),
                          rmc_date_tod_s.load()};
    *date = check_receiver_date(fix.year, fix.month, fix.day, program_build_day());
    if (date->verdict == DateVerdict::rolled_over) {
        UtcFields used = utc_fields_from_file_time(kFileTimeUnixEpoch + date->used_day * kFileTimeTicksPerDay);
        gps->year = used.year;
        gps->month = used.month;
        gps->day = used.day;
    }
    return date->verdict != DateVerdict::refused;
}

// The sentence's time (UTC ns) for the PC clock reading pc_ns; false when
// the fields are no valid time or the date is refused.
bool sentence_time_ns(const GpsFix& fix, int64_t pc_ns, int64_t* gps_ns)
{
    GpsClockFields gps{};
    DateCheck date;
    if (!clock_fields_of(fix, &gps, &date))
        return false;
    int64_t gps_ft = 0;
    if (!gps_new_file_time(gps, truncate_to_ms(file_time_from_unix_ns(pc_ns)), &gps_ft))
        return false;
    *gps_ns = unix_ns_from_file_time(gps_ft);
    return true;
}

// Once a second with a fix: how far the PC clock is from GPS time, and
// chrony's samples when it takes the time.
void measure_offset(int64_t burst_ns)
{
    GpsFix fix = gps_fix_copy();
    int64_t gps_ns = 0;
    ClockSamples samples;
    if (fix.fix_quality > 0 && burst_ns != 0 && sentence_time_ns(fix, platform_clock_read_ns(), &gps_ns)) {
        samples = clock_offset_note_sentence(gps_ns, burst_ns);
        offset_history_note_live(clock_offset_now(), gps_ns);
    }
    chrony_feed_send(samples);
}

void check_pulse()
{
    int result = 0;
    for (int i = 0; i < kCheckWaits && result == 0; ++i)
        result = com_wait_pps_edge(kPpsSlot, pps_use_cts.load(), kCheckWaitMs);
    state_1PPS.store(result);
    analiz_log("state_1PPS=%d pps_use_cts=%d\n", result, pps_use_cts.load());
    check_1PPS_request.store(0);
}

void note_rmc_date(std::string_view line, int result)
{
    if (result != NMEA_RMC && result != NMEA_SAME_SECOND)
        return;
    if (!nmea_sentence_is(line, "RMC"))  // any talker the decoder took
        return;
    GpsFix fix = gps_fix_copy();
    rmc_date_tod_s.store(fix.hour * 3600 + fix.minute * 60 + fix.second);
}

// A correction waits for the newest sentence of a new second and takes it
// only while fresh: after a stall of the receiver's link or of this thread (a
// pulse wait holds it up to 2.6 s) the lines behind the cursor are old, and
// a clock set from one of them would end as far behind.
constexpr int64_t kFreshLineNs = 100 * kNsPerMs;  // a line's end to its analysis

struct CorrectionLine {
    int result = 0;  // 0: none noted
    LineStamps stamps;
};
CorrectionLine correction_line;  // the analysis thread's

// The monotonic clock at the last sentence the decoder took (analysis thread only).
int64_t last_taken_ns = 0;

void process_line(std::string_view line, const LineStamps& stamps)
{
    int result = gps_fix_decode_line(line);
    if (result > 0 || result == NMEA_SAME_SECOND)
        last_taken_ns = platform_monotonic_ns();
    note_rmc_date(line, result);
    if (result > 0)
        measure_offset(stamps.burst_ns);
    // While chrony takes the time, a correction request waits: chrony steers
    // the clock, and a step under it would only disturb its estimates.
    if (result > 0 && correct_time_request.load() && !chrony_feed_takes_time())
        correction_line = {result, stamps};
}

// Runs the correction for the line noted once no newer line waits behind it.
void correct_from_newest_line()
{
    if (correction_line.result == 0 || buf_com_analiz_line_waiting())
        return;
    CorrectionLine line = std::exchange(correction_line, CorrectionLine{});
    int64_t age_ns = platform_monotonic_ns() - line.stamps.line_end_ns;
    if (age_ns > kFreshLineNs) {
        analiz_log("[analiz] a sentence received %lld ms ago is too old to set the clock from\n",
                   static_cast<long long>(age_ns / 1000000));
        return;
    }
    if (!correct_time_request.load())
        return;
    line_burst_ns = line.stamps.burst_ns;
    correct_procedure(line.result);
    line_burst_ns = 0;
}

// The bytes the analysis cursor hands over, with their arrival stamps, cut
// into lines; a burst's first byte sets the burst stamp of the lines after it.
class ArrivingLines {
public:
    void take(int count)
    {
        int from = 0;
        for (int i = 0; i < count; ++i) {
            if (stamps_[i] >= 0)
                continue;
            feed(from, i);
            from = i;
            burst_ns_ = -stamps_[i];
            nmea_delay_note_burst(burst_ns_);
        }
        feed(from, count);
    }

    uint8_t* bytes() { return bytes_; }
    int64_t* stamps() { return stamps_; }
    static constexpr int size = buf_com_size;

private:
    void feed(int from, int to)
    {
        if (to <= from)
            return;
        std::string_view block(reinterpret_cast<const char*>(bytes_) + from, size_t(to - from));
        lines_.feed(block, [&](std::string_view line, size_t end) {
            int64_t line_end = stamps_[from + int(end) - 1];
            nmea_delay_note_line(line);
            if (nmea_looks_like_sentence(line.data(), line.size()))
                link_note_sentence(line_end < 0 ? -line_end : line_end);
            else if (line.find('*') != std::string_view::npos && !nmea_checksum_ok(line))
                link_note_bad_checksum();
            process_line(line, LineStamps{line_end < 0 ? -line_end : line_end, burst_ns_});
            if (check_1PPS_request.load())
                check_pulse();
        });
    }

    NmeaLineAssembler lines_;
    int64_t burst_ns_ = 0;
    uint8_t bytes_[buf_com_size];
    int64_t stamps_[buf_com_size];
};

// The silence rule: more than 2 s after the last byte the fix is cleared and
// the pulse state is unknown, and stays so (a pulse check asked for meanwhile
// waits for data) until bytes come. The thread sleeps until then.
// The fix itself goes by the same rule on sentences: bytes that never form
// one (a receiver at another speed) do not keep it alive.
// The thread's start counts as the last byte and sentence until one comes.
std::atomic<int64_t> analiz_start_ns{0};

int64_t since_start(int64_t last_ns) { return std::max(last_ns, analiz_start_ns.load()); }

int64_t last_byte_ns() { return since_start(buf_com_last_arrival_ns()); }

bool silent_since(int64_t last_ns) { return platform_monotonic_ns() - since_start(last_ns) > kSilentAfterNs; }

bool receiver_silent() { return silent_since(buf_com_last_arrival_ns()); }

void expire_stale_fix()
{
    if (silent_since(last_taken_ns) && gps_fix_copy().fix_quality != 0)
        gps_fix_clear();
}

void note_silence()
{
    gps_fix_clear();
    state_1PPS.store(-1);
    nmea_delay_note_silence();
}

// The pulse state has one writer, this thread: a check asked for shows as
// measuring at once (unless the receiver is silent: then it waits for data as
// unknown), and another port, speed or line makes what was measured unknown.
void follow_pulse_requests()
{
    static unsigned seen_link = 0;
    static int seen_cts = -1;
    int port = 0, baud = 0;
    unsigned link = com_reader_link(&port, &baud);
    int cts = pps_use_cts.load();
    if (link != seen_link || cts != seen_cts) {
        seen_link = link;
        seen_cts = cts;
        state_1PPS.store(-1);
    }
    if (check_1PPS_request.load() && state_1PPS.load() != 2 && !receiver_silent())
        state_1PPS.store(2);
}

// Sleeps until bytes come, a request wakes it, or the silence deadline. A
// pulse check runs once bytes are read, as after every line.
void wait_for_bytes()
{
    int64_t last = last_byte_ns();
    bool silent = receiver_silent();
    if (silent) {
        note_silence();
        receiver_view_check();
    }
    buf_com_wait_data_until(silent ? -1 : last + kSilentAfterNs + 1);
}

// Without 1PPS and with compensation on, the receiver's output delay and the
// time since its burst began are added to the sentence's time.
int64_t output_delay_put_back(int64_t new_ft)
{
    if (!nmea_compensate.load() || use_pps.load() || line_burst_ns == 0)
        return new_ft;
    last_post.compensated = true;
    return nmea_compensated_file_time(new_ft, nmea_delay_ms.load(), platform_monotonic_ns() - line_burst_ns);
}

// The date part of the pre-step check: false (and the hold noted) when the
// receiver's date is refused. Each refused date and each roll-over used is
// logged once.
bool date_passes(const DateCheck& date)
{
    static int64_t logged_day = 0;
    if (date.verdict == DateVerdict::refused) {
        last_post.hold = CorrectionHold::date_refused;
        last_post.reported_day = date.reported_day;
        if (logged_day != date.reported_day)
            analiz_log("[prestep] receiver date %s is before the build date %s: the clock is not set from it\n",
                       day_text(date.reported_day, kLogDay).c_str(), day_text(program_build_day(), kLogDay).c_str());
    } else if (date.verdict == DateVerdict::rolled_over && logged_day != date.reported_day) {
        analiz_log("[prestep] receiver date %s moved forward by 1024 weeks to %s (GPS week roll-over)\n",
                   day_text(date.reported_day, kLogDay).c_str(), day_text(date.used_day, kLogDay).c_str());
    }
    logged_day = date.verdict == DateVerdict::refused || date.verdict == DateVerdict::rolled_over ? date.reported_day
                                                                                                   : 0;
    return date.verdict != DateVerdict::refused;
}

// The step part: a step over the cap waits for the user (the question is
// asked once) or was declined; false then, with the hold noted.
bool step_passes(int64_t step_ns, int64_t target_ns)
{
    static unsigned logged_question = 0;
    StepVerdict verdict = prestep_step_verdict(step_ns, target_ns, prestep_step_cap_ns());
    if (verdict == StepVerdict::ok || verdict == StepVerdict::approved)
        return true;
    last_post.hold = verdict == StepVerdict::ask ? CorrectionHold::step_asked : CorrectionHold::step_declined;
    last_post.shift_ns = step_ns;
    unsigned id = step_question_now().id;
    if (verdict == StepVerdict::ask && id != logged_question)
        analiz_log("[prestep] a step of %lld ms is over the cap of %d min: the window asks the user\n",
                   static_cast<long long>(step_ns / 1000000), prestep_step_cap_minutes.load());
    logged_question = id;
    return false;
}

}  // namespace

int settime_gps(const GpsFix* fix)
{
    if (!fix)
        return 0;
    int64_t cur_ft = truncate_to_ms(platform_clock_read_ft());
    GpsClockFields gps{};
    DateCheck date;
    clock_fields_of(*fix, &gps, &date);
    if (!date_passes(date))
        return 0;
    int64_t new_ft = 0;
    if (!gps_new_file_time(gps, cur_ft, &new_ft))
        return 0;
    new_ft = output_delay_put_back(new_ft);
    int64_t shift_ns = (new_ft - cur_ft) * kNsPerFileTimeTick;
    if (!step_passes(shift_ns, unix_ns_from_file_time(new_ft)))
        return 0;
    last_post.posted = true;
    last_post.shift_ns = shift_ns;
    int written = post_to_service(kCommandSetTime, cur_ft, new_ft, &last_post.outcome);
    analiz_log("[settime_gps] set time cur_ft=%lld\n", static_cast<long long>(cur_ft));
    analiz_log("[settime_gps] set time new_ft=%lld\n", static_cast<long long>(new_ft));
    return written;
}

// The probe connects a socket of its own: it never meets a posting's answers.
int time_service_present() { return smem_peer_present(); }

void analiz_com_thread_func()
{
    buf_com_skip_analiz();
    analiz_start_ns.store(platform_monotonic_ns());
    analiz_log("start analiz_com_thread_func\n");
    platform_thread_realtime();  // the clock reading of a correction waits for its wake
    auto* lines = new ArrivingLines;  // the process exits around this thread
    for (;;) {
        follow_pulse_requests();
        int count = buf_com_read_analiz_stamped(lines->bytes(), lines->stamps(), ArrivingLines::size);
        if (count == 0) {
            wait_for_bytes();
            continue;
        }
        lines->take(count);
        expire_stale_fix();
        correct_from_newest_line();
        if (check_1PPS_request.load())
            check_pulse();
        receiver_view_check();
    }
}

int start_analiz_com_thread()
{
    try {
        std::thread(analiz_com_thread_func).detach();
    } catch (const std::system_error&) {
        return 0;
    }
    return 1;
}
