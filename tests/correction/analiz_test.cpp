// The analysis thread over the real pieces: sentences written into a pty,
// the real reader and analysis threads, the real channel and `clockkeeper
// debug` on the test's sandbox clock, pulse edges from the test device.
#include "src/correction/analiz.h"

#include "bench/correction_accuracy/correction_rig.h"
#include "platform/clock.h"
#include "src/correction/calendar.h"
#include "src/correction/clock_offset.h"
#include "src/correction/correction_result.h"
#include "src/correction/gps_clock.h"
#include "src/correction/nmea_delay.h"
#include "src/correction/prestep_check.h"
#include "src/gps/com_reader.h"
#include "tests/support/com_test_device.h"
#include "src/gps/gps_fix.h"
#include "src/gps/serial.h"
#include "src/settings/settings.h"
#include "src/receiver/receiver_threads.h"
#include "tests/gps/nmea_sentences.h"
#include "tests/link/link_support.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 5;
constexpr int64_t kMs = 1000000;
constexpr int64_t kTicksPerMs = 10000;

std::string nmea(const std::string& body) { return nmea_sentence(body, "\r\n"); }

std::string gga(const std::string& time, int quality = 1, const std::string& talker = "GP")
{
    return nmea(talker + "GGA," + time + ",4807.038,N,01131.000,E," + std::to_string(quality) +
                ",08,0.9,545.4,M,46.9,M,,");
}

std::string rmc(const std::string& time, const std::string& date)
{
    return nmea("GPRMC," + time + ",A,4807.038,N,01131.000,E,022.4,084.4," + date + ",003.1,W");
}

int64_t ft_of(int year, int month, int day, int hour, int minute, int second, int millis)
{
    int64_t ft = 0;
    EXPECT_EQ(file_time_from_utc_fields({year, month, day, hour, minute, second, millis}, &ft), 1);
    return ft;
}

// A day the receiver reports, days after (or before) the day this program was
// built: a receiver's date before the build day is a roll-over or refused.
struct ReportedDay {
    int year, month, day;
    std::string ddmmyy;  // as an RMC carries it
    int64_t at(int hour, int minute, int second, int millis) const
    {
        return ft_of(year, month, day, hour, minute, second, millis);
    }
};

ReportedDay reported_day(int64_t days_after_build)
{
    UtcFields f = utc_fields_from_file_time(kFileTimeUnixEpoch +
                                            (program_build_day() + days_after_build) * kFileTimeTicksPerDay);
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d%02d", f.day, f.month, f.year % 100);
    return {f.year, f.month, f.day, text};
}

// The last day of the year after the build's, and the year after that.
int year_after_build() { return reported_day(0).year + 1; }

// Raises 100 ms CTS pulses on the test device, their leading edges at given
// moments of the real clock.
class EdgesAt {
public:
    EdgesAt(std::vector<int64_t> moments_ns)
        : thread_([this, moments = std::move(moments_ns)] {
              for (int64_t moment : moments) {
                  while (!stop_.load() && rig_real_ns() < moment - kMs) {
                      timespec pause{0, 200000};
                      nanosleep(&pause, nullptr);
                  }
                  while (!stop_.load() && rig_real_ns() < moment) {
                  }
                  if (stop_.load())
                      return;
                  com_test_device_raise_pulse(kPort, TIOCM_CTS, 100);
              }
          })
    {
    }
    ~EdgesAt()
    {
        stop_.store(true);
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Analysis : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(box_.path("appdata") + "/satclock");
        settings_init_path();
        correct_time_request.store(0);
        check_1PPS_request.store(0);
        state_1PPS.store(-1);
        use_pps.store(0);
        // The designed steps of any size; the cap and the satellites have tests of their own.
        prestep_step_cap_minutes.store(0);
        prestep_min_satellites.store(0);
        pps_use_cts.store(1);
        correct_time_jd_prev.store(-1.0);
        nmea_compensate.store(0);
        nmea_delay_ms.store(0);
        com_init();
        com_test_device_register(kPort);
        pty_ = std::make_unique<LinkedPty>(box_, kPort);
        ASSERT_TRUE(service_.start(build_dir() + "/bin", box_.path("clockkeeper.log")));
        capture_ = std::make_unique<StdoutCapture>(box_);
        ASSERT_EQ(start_receiver_threads(kPort, 4800), 1);
        // The two receiver commands arrive once the reader has the port open.
        ASSERT_GE(pty_->read_for(3000, 50).size(), 50u);
        // The analysis thread, started with the first reader, skips what came
        // before it ran: repeat a no-fix sentence until it shows in the fix.
        ASSERT_TRUE(wait_until([&] {
            send(gga("000045.000", 0));
            return wait_until([] { return gps_fix_copy().second == 45; }, 200);
        }, 5000));
    }

    void TearDown() override
    {
        correct_time_request.store(0);
        check_1PPS_request.store(0);
        use_pps.store(0);
        nmea_compensate.store(0);
        nmea_delay_ms.store(0);
        stop_com_read_thread();
        service_.stop();
        com_test_device_unregister(kPort);
        platform_clock_sandbox_deny_set(false);
        // Failure messages went into the capture too: show them.
        if (HasFailure())
            std::fprintf(stderr, "--- standard output of the test ---\n%s", capture_->text().c_str());
        capture_.reset();
    }

    // Writes the bytes; returns the real clock read just before they went
    // out. Nothing can have read the carriage return earlier, whereas a
    // reading after the write may come late: the analysis thread can take
    // the line and set the clock before this thread runs again.
    int64_t send(const std::string& bytes)
    {
        int64_t before = rig_real_ns();
        EXPECT_TRUE(pty_->write_all(bytes));
        return before;
    }

    // Sends a line and waits until the thread has decoded it into the fix.
    void send_and_wait_decoded(const std::string& line, int second)
    {
        send(line);
        EXPECT_TRUE(wait_until([&] { return gps_fix_copy().second == second; }, 2000)) << line;
    }

    // A no-fix GGA of the given second: once the fix shows it, every byte
    // written before it has been through the thread.
    void probe(int second)
    {
        char time[16];
        std::snprintf(time, sizeof time, "1200%02d.000", second);
        send_and_wait_decoded(gga(time, 0), second);
    }

    bool wait_cleared(int timeout_ms = 3000)
    {
        return wait_until([] { return correct_time_request.load() == 0; }, timeout_ms);
    }

    std::string log() const { return capture_->text(); }

    static size_t count(const std::string& text, const std::string& needle)
    {
        size_t n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
            ++n;
        return n;
    }

    // The number right after the last (or first) occurrence of prefix in the log, or -1.
    int64_t number_after(const std::string& prefix, bool last = true) const
    {
        std::string text = log();
        size_t at = last ? text.rfind(prefix) : text.find(prefix);
        if (at == std::string::npos)
            return -1;
        return std::strtoll(text.c_str() + at + prefix.size(), nullptr, 10);
    }

    // The new_ft of the last posting in the log, or -1.
    int64_t last_new_ft() const { return number_after("[settime_gps] set time new_ft="); }

    // PC clock minus the truth, where the truth read truth_ft at real time truth_real_ns.
    static int64_t clock_error_ms(int64_t truth_ft, int64_t truth_real_ns)
    {
        int64_t real = rig_real_ns();
        int64_t clock_ft = platform_clock_read_ft();
        int64_t truth_now = truth_ft + (real - truth_real_ns) / 100;
        return (clock_ft - truth_now) / kTicksPerMs;
    }

    // Asks for a correction and sends the bytes: the set posted is `truth`,
    // and the clock lags it by no more than the time from the carriage
    // return to the service's reading.
    void expect_corrected_to(int64_t truth, const std::string& bytes)
    {
        correct_time_request.store(1);
        int64_t cr_real = send(bytes);
        ASSERT_TRUE(wait_cleared());
        int64_t cleared_real = rig_real_ns();
        EXPECT_EQ(last_new_ft(), truth);
        int64_t error = clock_error_ms(truth, cr_real);
        EXPECT_LE(error, 1);
        EXPECT_GE(error, -(cleared_real - cr_real) / kMs - 1);
    }

    TestSandbox box_;
    std::unique_ptr<LinkedPty> pty_;
    ServiceProcess service_;
    std::unique_ptr<StdoutCapture> capture_;
};

TEST_F(Analysis, RequestedCorrectionLandsOnTheSentenceTime)
{
    // 3.3 s before the time the receiver is about to send.
    ReportedDay day = reported_day(30);
    ASSERT_EQ(platform_clock_set_ft(day.at(12, 35, 15, 700)), 0);
    send_and_wait_decoded(rmc("123518.000", day.ddmmyy), 18);
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(day.at(12, 35, 19, 0), gga("123519.000")));

    std::string text = log();
    EXPECT_EQ(count(text, "start corect procedure\n"), 1u);
    EXPECT_EQ(count(text, "[settime_gps] set time cur_ft="), 1u);
    EXPECT_EQ(count(text, "was corect with=1\n"), 1u);
}

// The analysis thread runs at real-time priority and never waits for the
// disk: the moment of a correction (taken right after posting, before or
// after the service applied the set) goes to the settings writer, which
// keeps it in force, shown as not saved, while the file cannot be written,
// and saves it with the next write that succeeds.
TEST_F(Analysis, CorrectionMomentGoesThroughTheSettingsWriter)
{
    const std::string folder = box_.path("appdata") + "/satclock";
    std::filesystem::rename(folder, folder + ".away");
    std::ofstream(folder).put('\n');  // a file where the folder was: no write succeeds
    ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 12, 35, 10, 0)), 0);
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(ft_of(2026, 12, 7, 12, 35, 19, 0), gga("123519.000")));
    EXPECT_NEAR(correct_time_jd_prev.load(), now_jd(), 10.0 / 86400);
    ASSERT_TRUE(settings_flush(5000));
    std::string kept;
    ASSERT_TRUE(settings_unwritten_value(settings_keys::correct_time_jd_prev, kept));
    EXPECT_NEAR(settings_text_to_double(kept), correct_time_jd_prev.load(), 1e-5);

    std::filesystem::remove(folder);
    std::filesystem::rename(folder + ".away", folder);
    settings_post_int(settings_keys::baudrate, 4800);
    ASSERT_TRUE(settings_flush(5000));
    double stored = -5;
    EXPECT_EQ(settings_read_double(settings_keys::correct_time_jd_prev, -5, stored), 1);
    EXPECT_NEAR(stored, correct_time_jd_prev.load(), 1e-5);
}

// The receiver's output delay: with compensation off the designed time to
// the millisecond; on, the delay and the time since the burst's first byte
// (here a sentence late in its burst) are added. The burst begins where the
// reader saw a byte after more than 100 ms without one: the test reads each
// line's arrival back, so a machine that delays a write moves the
// expectation with the result.
TEST_F(Analysis, OutputDelayIsAddedOnlyWhenCompensating)
{
    ReportedDay day = reported_day(30);
    nmea_delay_ms.store(300);
    int second = 20;
    for (bool compensate : {false, true}) {
        SCOPED_TRACE(compensate);
        nmea_compensate.store(compensate ? 1 : 0);
        ASSERT_TRUE(wait_until([] { return platform_monotonic_ns() - buf_com_last_arrival_ns() > kBurstGapNs; }));
        const std::string lines[] = {nmea("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00"),
                                     rmc("1235" + std::to_string(second) + ".000", day.ddmmyy),
                                     gga("1235" + std::to_string(second + 1) + ".000")};
        int64_t burst = 0, arrival = 0;
        for (const std::string& line : lines) {
            if (&line != &lines[0])
                std::this_thread::sleep_for(std::chrono::milliseconds(60));  // a pause within the burst
            if (&line == &lines[2])
                correct_time_request.store(1);
            int64_t before = buf_com_last_arrival_ns();
            send(line);
            ASSERT_TRUE(wait_until([&] { return buf_com_last_arrival_ns() != before; }));
            int64_t previous = arrival;
            arrival = buf_com_last_arrival_ns();
            if (previous == 0 || arrival - previous > kBurstGapNs)
                burst = arrival;
        }
        ASSERT_TRUE(wait_cleared());
        int64_t cleared = platform_monotonic_ns();
        int64_t truth = day.at(12, 35, second + 1, 0);
        if (!compensate) {
            EXPECT_EQ(last_new_ft(), truth);
        } else {
            int64_t added_ms = (last_new_ft() - truth) / kTicksPerMs - 300;
            EXPECT_GE(added_ms, (arrival - burst) / kMs - 1);
            EXPECT_LE(added_ms, (cleared - burst) / kMs + 1);
        }
        second += 3;
    }
}

// After a stall the lines behind the cursor are old. A backlog sets the clock
// from its newest sentence; a sentence that waited out a pulse check (1.2 s
// without edges) sets nothing, and the next fresh one does.
TEST_F(Analysis, StaleSentencesNeverSetTheClock)
{
    ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 12, 35, 15, 700)), 0);
    std::string backlog = gga("123519.000") + gga("123520.000") + gga("123521.000");
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(ft_of(2026, 12, 7, 12, 35, 21, 0), backlog));
    EXPECT_EQ(count(log(), "[settime_gps] set time new_ft="), 1u);

    check_1PPS_request.store(1);
    correct_time_request.store(1);
    send(gga("123522.000", 0) + gga("123523.000"));  // the first runs the check, the second waits behind it
    ASSERT_TRUE(wait_until([&] { return count(log(), "too old to set the clock from") == 1; }, 5000)) << log();
    EXPECT_EQ(correct_time_request.load(), 1);
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(ft_of(2026, 12, 7, 12, 35, 24, 0), gga("123524.000")));
    EXPECT_EQ(count(log(), "[settime_gps] set time new_ft="), 2u);
}

TEST_F(Analysis, NoFixPostsNothingAndTheRequestStays)
{
    int64_t offset = rig_clock_offset_ns();
    correct_time_request.store(1);
    send_and_wait_decoded(gga("123519.000", 0), 19);
    send_and_wait_decoded(gga("123520.000", 0), 20);
    EXPECT_EQ(correct_time_request.load(), 1);
    EXPECT_EQ(count(log(), "start corect procedure\n"), 2u);
    EXPECT_EQ(count(log(), "[settime_gps]"), 0u);
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(offset), 1e6);

    // A fix with 8 satellites in use waits while 9 are asked for.
    prestep_min_satellites.store(9);
    send_and_wait_decoded(gga("123521.000", 1), 21);
    probe(22);
    EXPECT_EQ(correct_time_request.load(), 1);
    EXPECT_EQ(count(log(), "[settime_gps]"), 0u);

    prestep_min_satellites.store(8);
    send(gga("123523.000", 1));
    ASSERT_TRUE(wait_cleared());
    EXPECT_EQ(count(log(), "was corect with=1\n"), 1u);
}

TEST_F(Analysis, FractionsAreTrueMilliseconds)
{
    const struct {
        const char* time;
        int millis;
    } cases[] = {{"101010.50", 500}, {"101011.500", 500}, {"101012.1234", 123}, {"101013.05", 50}, {"101014.999", 999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.time);
        correct_time_request.store(1);
        send(gga(c.time));
        ASSERT_TRUE(wait_cleared());
        int64_t new_ft = last_new_ft();
        EXPECT_EQ(new_ft % 10000000 / kTicksPerMs, c.millis);
    }
}

// In the GNSS mode the day's last RMC of any talker counts.
TEST_F(Analysis, MidnightAfterTheDaysLastRmcIsTheNextDay)
{
    int year = year_after_build();
    std::string last_day = "3112" + std::to_string(year % 100);
    for (bool gnss : {false, true}) {
        SCOPED_TRACE(gnss);
        accept_gnss_talkers.store(gnss ? 1 : 0);
        send_and_wait_decoded(gnss ? nmea("GNRMC,235959,A,4807.038,N,01131.000,E,0.0,0.0," + last_day + ",,,A")
                                   : rmc("235959.000", last_day),
                              59);
        expect_corrected_to(ft_of(year + 1, 1, 1, 0, 0, 0, 0), gnss ? gga("000000", 1, "GN") : gga("000000.000"));
        accept_gnss_talkers.store(0);
        ASSERT_FALSE(HasFatalFailure());
    }
}

TEST_F(Analysis, MidnightWithoutRmcTakesThePcDateNearest)
{
    ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 23, 59, 59, 700)), 0);
    // A cleared record holds minute 0 and second 0: a first sentence of
    // hh:00:00 would count as the same second. One of the second before goes first.
    send_and_wait_decoded(gga("235959.000", 0), 59);
    expect_corrected_to(ft_of(2026, 12, 8, 0, 0, 0, 100), gga("000000.100"));
}

// A date within 1024 weeks before the build day is a GPS week roll-over and
// moves forward 1024 weeks; one further back is refused: nothing is posted,
// the request stays, and the result says why.
TEST_F(Analysis, ReceiverDatesBeforeTheBuildDay)
{
    ReportedDay rolled = reported_day(10 - kGpsRolloverDays), truth = reported_day(10);
    ASSERT_EQ(platform_clock_set_ft(truth.at(10, 0, 0, 300)), 0);
    send_and_wait_decoded(rmc("100001.000", rolled.ddmmyy), 1);
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(truth.at(10, 0, 2, 0), gga("100002.000")));
    EXPECT_EQ(count(log(), "moved forward by 1024 weeks to " + std::to_string(truth.year)), 1u) << log();

    ReportedDay refused = reported_day(-kGpsRolloverDays - 10);
    send_and_wait_decoded(rmc("100003.000", refused.ddmmyy), 3);
    correct_time_request.store(1);
    send(gga("100004.000"));
    send_and_wait_decoded(gga("100005.000"), 5);
    probe(6);
    EXPECT_EQ(correct_time_request.load(), 1);
    EXPECT_EQ(count(log(), "[settime_gps] set time new_ft="), 1u);
    EXPECT_EQ(count(log(), "is before the build date"), 1u) << "said once, though tried at every sentence";
    CorrectionResult held = correction_result_now();
    EXPECT_FALSE(held.made);
    EXPECT_EQ(held.hold, CorrectionHold::date_refused);
}

TEST_F(Analysis, BadInputNeverPostsAndTheRequestStays)
{
    correct_time_request.store(1);
    std::string garbage;
    for (int i = 0; i < 700; ++i)
        garbage += char(i * 7 % 255 + 1) == '$' ? 'x' : char(i * 7 % 255 + 1);
    std::string long_line = "$GPGGA," + std::string(600, '1');
    std::string with_nul = gga("123519.000");
    with_nul[10] = '\0';
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"garbage", garbage},
        {"another talker", gga("123519.000", 1, "GN")},
        {"leap second", gga("235960.000")},
        {"wrong checksum", "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n"},
        {"time without fraction digits", gga("123519.5")},
        {"NUL inside", with_nul},
        {"600-byte line", long_line},
        {"hour 25", gga("253519.000")},
    };
    int second = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        send(c.bytes);
        probe(++second);
        EXPECT_EQ(correct_time_request.load(), 1);
        EXPECT_EQ(count(log(), "[settime_gps]"), 0u);
    }
    EXPECT_EQ(count(log(), "was corect"), 0u);
    send(gga("123530.000"));
    ASSERT_TRUE(wait_cleared());
}

TEST_F(Analysis, StrayBytesLineFeedsAndAnOverlongLine)
{
    send("\x01\xff" + gga("111111.000", 0) + "\n\n" + gga("111112.000", 0).substr(0, 20));
    // The cut-off line above is overrun by 600 bytes and dropped; the next "$" starts afresh.
    send(std::string(600, 'A') + "\r\n");
    send_and_wait_decoded("zz" + gga("111113.000", 0), 13);
    GpsFix fix = gps_fix_copy();
    EXPECT_EQ(fix.hour, 11);
    EXPECT_EQ(fix.minute, 11);
    EXPECT_EQ(fix.fix_quality, -1);
}

TEST_F(Analysis, ServiceNotRunningThenRunning)
{
    ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 12, 35, 10, 0)), 0);
    ASSERT_TRUE(service_.stop());
    int64_t offset = rig_clock_offset_ns();
    correct_time_request.store(1);
    send(gga("123519.000"));
    ASSERT_TRUE(wait_until([&] { return count(log(), "[settime_gps] set time new_ft=") == 1; }, 2000));
    probe(30);
    CorrectionResult refused = correction_result_now();
    EXPECT_FALSE(refused.made);
    EXPECT_EQ(refused.refusal, PostOutcome::no_service);
    EXPECT_EQ(correct_time_request.load(), 1);
    EXPECT_EQ(count(log(), "was corect"), 0u);
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(offset), 1e6);

    ASSERT_TRUE(service_.start(build_dir() + "/bin", box_.path("clockkeeper.log")));
    ASSERT_NO_FATAL_FAILURE(expect_corrected_to(ft_of(2026, 12, 7, 12, 35, 40, 0), gga("123540.000")));
    CorrectionResult made = correction_result_now();
    EXPECT_TRUE(made.made);
    EXPECT_EQ(made.method, CorrectionMethod::nmea);
    EXPECT_GT(made.notice_sequence, refused.notice_sequence);
}

// A receiver whose sentences reach us 300 ms after the second they carry:
// the set leaves the clock 300 ms behind; the pulse edges at the true tops of
// the seconds bring it back. The clock ends behind the truth by as long as
// the edge it was aligned to took to be stamped (raised and seen by the
// port's watcher), which the port tells afterwards: a loaded machine moves
// both alike.
class AnalysisPps : public Analysis {
protected:
    struct Outcome {
        int64_t truth_ft = 0;      // the truth at truth_real (real clock, ns)
        int64_t truth_real = 0;
        int64_t posted_real = 0;   // the set seen posted: its clock reading came before
        int64_t stamp_late_ms = 0; // the last edge's stamp after the moment it was due
    };

    // deny_set: the process may not set the clock itself, as an ordinary user.
    void correct_with_edges(const std::vector<int64_t>& edge_offsets_ms, Outcome* out, bool deny_set = false)
    {
        // A GGA carries no date: the PC's own date, nearest to the sentence, is taken.
        ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 12, 0, 0, 0)), 0);
        platform_clock_sandbox_deny_set(deny_set);
        use_pps.store(1);
        correct_time_request.store(1);
        out->truth_ft = ft_of(2026, 12, 7, 12, 0, 1, 300);
        out->truth_real = rig_real_ns();
        std::vector<int64_t> moments;
        for (int64_t ms : edge_offsets_ms)
            moments.push_back(out->truth_real + ms * kMs);
        {
            EdgesAt edges(moments);
            send(gga("120001.000"));
            ASSERT_TRUE(wait_until([&] { return count(log(), "[settime_gps] set time new_ft=") == 1; }, 5000));
            out->posted_real = rig_real_ns();
            ASSERT_TRUE(wait_cleared(5000));
        }
        unsigned long edge_count = 0;
        int64_t edge_mono = 0;
        if (!moments.empty() && com_pps_last_edge(0, 1, &edge_count, &edge_mono) == 1) {
            int64_t due_mono = moments.back() + (platform_monotonic_ns() - rig_real_ns());
            out->stamp_late_ms = (edge_mono - due_mono) / kMs;
        }
    }
};

TEST_F(AnalysisPps, PulsesAlignTheClockDirectly)
{
    Outcome o;
    ASSERT_NO_FATAL_FAILURE(correct_with_edges({700, 1700}, &o));
    EXPECT_NEAR(clock_error_ms(o.truth_ft, o.truth_real), -o.stamp_late_ms, 2);
    EXPECT_EQ(count(log(), "no first 1 pps"), 0u);
    EXPECT_EQ(count(log(), "no 1 pps!!!"), 0u);
    EXPECT_EQ(count(log(), "[align_time_to_second]"), 0u);
    EXPECT_EQ(count(log(), "was corect with=1\n"), 1u);
    // The clock was 1.3 s behind the truth, the set and the edge took it there.
    CorrectionResult result = correction_result_now();
    EXPECT_TRUE(result.made);
    EXPECT_EQ(result.method, CorrectionMethod::pps);
    EXPECT_NEAR(result.shift_ns / kMs, 1300 - o.stamp_late_ms, 2) << result.shift_ns;
}

TEST_F(AnalysisPps, WithoutTheRightTheShiftGoesToTheService)
{
    Outcome o;
    ASSERT_NO_FATAL_FAILURE(correct_with_edges({700, 1700}, &o, true));
    ASSERT_TRUE(wait_until([&] { return count(log(), "[align_time_to_second]") == 1; }, 1000));
    // The set left the clock 300 ms and the time to its reading behind.
    std::string text = log();
    const std::string refused = "[align_time_to_second] direct set refused (Operation not permitted): shift ";
    size_t at = text.find(refused);
    ASSERT_NE(at, std::string::npos) << text;
    int64_t shift = number_after(refused, false);
    EXPECT_GE(shift, 300 - o.stamp_late_ms - 2);  // two truncations to whole milliseconds
    EXPECT_LE(shift, 300 + (o.posted_real - o.truth_real) / kMs - o.stamp_late_ms + 2);
    EXPECT_NE(text.find(" ms posted to the service, written=1\n", at), std::string::npos);
    platform_clock_sandbox_deny_set(false);
    // The service applies the shift a moment after it was posted.
    EXPECT_TRUE(wait_until([&] { return std::llabs(clock_error_ms(o.truth_ft, o.truth_real) + o.stamp_late_ms) <= 2; },
                           5000))
        << clock_error_ms(o.truth_ft, o.truth_real) << " ms off the truth, the edge stamped " << o.stamp_late_ms
        << " ms late";
}

// A set that fails leaves the clock where it was: the pulses that follow
// align nothing, and the refusal is what the window shows. The service here
// holds the channel but answers nothing (ServiceNotRunningThenRunning has
// it away).
TEST_F(AnalysisPps, FailedSetNeverMovesTheClock)
{
    use_pps.store(1);
    correct_time_request.store(1);
    ASSERT_TRUE(service_.hang());
    ASSERT_EQ(platform_clock_set_ft(ft_of(2026, 12, 7, 12, 35, 0, 0)), 0);
    int64_t offset = rig_clock_offset_ns();
    unsigned before = correction_result_now().sequence;
    int64_t now = rig_real_ns();
    {
        EdgesAt edges({now + 700 * kMs, now + 1700 * kMs});
        send(gga("123501.000"));
        ASSERT_TRUE(wait_until([&] { return correction_result_now().sequence != before; }, 5000));
    }
    CorrectionResult result = correction_result_now();
    EXPECT_FALSE(result.made);
    EXPECT_EQ(result.refusal, PostOutcome::no_ack);
    EXPECT_EQ(correct_time_request.load(), 1);
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(offset), 1e6);
    EXPECT_EQ(count(log(), "[align_time_to_second]"), 0u);
}

TEST_F(AnalysisPps, NoPulseAtAll)
{
    Outcome o;
    ASSERT_NO_FATAL_FAILURE(correct_with_edges({}, &o));
    EXPECT_EQ(count(log(), "no first 1 pps\n"), 1u);
    EXPECT_EQ(count(log(), "was corect with=1\n"), 1u);
    EXPECT_EQ(correction_result_now().method, CorrectionMethod::nmea_no_pulse);
    // The set through the service stands: 300 ms and the time to its reading behind.
    int64_t error = clock_error_ms(o.truth_ft, o.truth_real);
    EXPECT_LE(error, -300 + 1);
    EXPECT_GE(error, -300 - (o.posted_real - o.truth_real) / kMs - 1);
}

TEST_F(AnalysisPps, OnlyOnePulse)
{
    Outcome o;
    ASSERT_NO_FATAL_FAILURE(correct_with_edges({700}, &o));
    EXPECT_EQ(count(log(), "no first 1 pps"), 0u);
    EXPECT_EQ(count(log(), "no 1 pps!!!\n"), 1u);
    EXPECT_EQ(count(log(), "was corect with=1\n"), 1u);
}

// The PC clock 4.352 s behind the truth (here the real clock): the sentence
// alone tells it to +-150 ms, the pulse edges at the truth's whole seconds to
// within 2 ms.
TEST_F(AnalysisPps, OffsetFromTheSentenceAndFromThePulse)
{
    constexpr int64_t kBehindNs = 4352 * kMs;
    ASSERT_EQ(platform_clock_set_ns(rig_real_ns() - kBehindNs), 0);
    // The sentence of a second, 50 ms into it, as a receiver would send it.
    auto send_sentence_of = [&](int64_t second_ns) {
        while (rig_real_ns() < second_ns + 50 * kMs) {
            timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
        time_t second = time_t(second_ns / 1000000000);
        tm utc{};
        gmtime_r(&second, &utc);
        char text[16];
        std::snprintf(text, sizeof text, "%02d%02d%02d.000", utc.tm_hour, utc.tm_min, utc.tm_sec);
        send(gga(text));
    };
    send_sentence_of((rig_real_ns() / 1000000000 + 1) * 1000000000);
    ASSERT_TRUE(wait_until([] { return clock_offset_now().valid; }, 3000));
    ClockOffset nmea_only = clock_offset_now();
    EXPECT_EQ(nmea_only.source, OffsetSource::nmea);
    EXPECT_EQ(nmea_only.uncertainty_ms, 150);
    EXPECT_LE(std::llabs(nmea_only.offset_ns - kBehindNs), 150 * kMs) << nmea_only.offset_ns;

    use_pps.store(1);
    int64_t first = (rig_real_ns() / 1000000000 + 1) * 1000000000;
    std::vector<int64_t> seconds;
    for (int64_t k = 0; k < 10; ++k)
        seconds.push_back(first + k * 1000000000);
    EdgesAt edges(seconds);
    bool near = false;
    for (int64_t second : seconds) {
        send_sentence_of(second);
        near = wait_until([&] {
            ClockOffset offset = clock_offset_now();
            return offset.source == OffsetSource::pps && std::llabs(offset.offset_ns - kBehindNs) <= 2 * kMs;
        }, 500);
        if (near)
            break;
    }
    ClockOffset pps = clock_offset_now();
    EXPECT_TRUE(near) << pps.offset_ns;
    EXPECT_EQ(pps.uncertainty_ms, 1);
}

TEST_F(Analysis, PulseCheck)
{
    const struct {
        const char* what;
        int use_cts;
        bool edge;
        bool fail;
        int state;
    } cases[] = {
        {"edge on CTS", 1, true, false, 1},
        {"no edge", 1, false, false, 0},
        {"edges on CTS while DSR is chosen", 0, true, false, 0},
        {"the lines fail", 1, false, true, -1},
    };
    int second = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        pps_use_cts.store(c.use_cts);
        state_1PPS.store(2);
        check_1PPS_request.store(1);
        if (c.fail)
            com_test_device_fail(kPort, EIO);
        probe(++second);
        if (c.edge) {  // once the check waits on its line: the port's event mask says so
            ASSERT_TRUE(wait_until([] { return com_event_mask(0) != kComEvRxChar; }, 3000));
            com_test_device_raise_pulse(kPort, TIOCM_CTS, 100);
        }
        ASSERT_TRUE(wait_until([] { return check_1PPS_request.load() == 0; }, 3000));
        EXPECT_EQ(state_1PPS.load(), c.state);
        char line[64];
        std::snprintf(line, sizeof line, "state_1PPS=%d pps_use_cts=%d\n", c.state, c.use_cts);
        EXPECT_NE(log().find(line), std::string::npos) << log();
    }
}

TEST_F(Analysis, SilenceClearsTheFixAndThePulseState)
{
    int64_t last_byte = platform_monotonic_ns();
    send_and_wait_decoded(gga("101010.000"), 10);
    state_1PPS.store(1);
    // A pulse check asked for shows as measuring at once (the thread writes the
    // state), and while nothing arrives it waits for data.
    check_1PPS_request.store(1);
    EXPECT_TRUE(wait_until([] { return state_1PPS.load() == 2; }, 1000));
    ASSERT_TRUE(wait_until([] { return gps_fix_copy().fix_quality != 1; }, 5000));
    EXPECT_GE(platform_monotonic_ns() - last_byte, 2000 * kMs) << "silent only 2 s after the last byte";
    ASSERT_TRUE(wait_until([] { return gps_fix_copy().fix_quality == 0 && state_1PPS.load() == -1; }, 3000));
    GpsFix fix = gps_fix_copy();
    EXPECT_EQ(fix.hour, 0);
    EXPECT_EQ(fix.year, 0);
    EXPECT_EQ(check_1PPS_request.load(), 1);

    // The first byte ends the silence and runs the waiting check.
    send("x");
    ASSERT_TRUE(wait_until([] { return check_1PPS_request.load() == 0; }, 3000));
    EXPECT_EQ(state_1PPS.load(), 0);
}

// Bytes that never form a sentence (a receiver at another speed) keep
// coming: the fix lives 2 s after the last sentence taken, not on bytes.
TEST_F(Analysis, BytesWithoutASentenceDoNotKeepTheFix)
{
    send_and_wait_decoded(gga("101011.000"), 11);
    ASSERT_EQ(gps_fix_copy().fix_quality, 1);
    int64_t last_sentence = platform_monotonic_ns();
    std::atomic<bool> sending{true};
    std::thread garbage([&] {
        while (sending) {
            EXPECT_TRUE(pty_->write_all("\x8a\x95\xfe$\xf2\x1c\xa5\x7f\r\n"));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    bool cleared = wait_until([] { return gps_fix_copy().fix_quality == 0; }, 6000);
    sending = false;
    garbage.join();
    ASSERT_TRUE(cleared) << "the fix outlived its sentences";
    EXPECT_GE(platform_monotonic_ns() - last_sentence, 2000 * kMs);
}

TEST(ReceiverThreads, FirstStartAlsoStartsTheAnalysisThreadOnce)
{
    TestSandbox box;
    com_init();
    stop_com_read_thread();
    int first = thread_analiz_id.load();
    ASSERT_EQ(start_receiver_threads(97, 4800), 1);
    if (first == 0)
        first = thread_analiz_id.load();
    EXPECT_NE(first, 0);
    stop_receiver_threads();  // the reader would try the missing port until stopped
    ASSERT_EQ(start_receiver_threads(97, 4800), 1);
    EXPECT_EQ(thread_analiz_id.load(), first);
    stop_receiver_threads();
}

}  // namespace
