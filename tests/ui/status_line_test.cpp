// The status line of the GPS info page and the tray tooltip, with the real
// reader, the simulated receiver, real ptys and the real time service: each
// cause shows its line, and the line goes when the cause does.
#include <gtest/gtest.h>  // before Xlib, whose None macro it would meet

#include "platform/clock.h"
#include "platform/process.h"
#include "src/correction/analiz.h"
#include "src/correction/correction_result.h"
#include "src/correction/gps_clock.h"
#include "src/correction/offset_history.h"
#include "src/correction/prestep_check.h"
#include "src/gps/gps_fix.h"
#include "tests/support/com_test_device.h"
#include "src/receiver/receiver_threads.h"
#include "src/settings/settings.h"
#include "src/ui/app.h"
#include "src/ui/info_page.h"
#include "src/ui/modules.h"
#include "src/ui/status_line.h"
#include "src/ui/tray.h"
#include "tests/link/link_support.h"
#include "tests/ui/ui_test_support.h"

#include <atomic>
#include <csignal>
#include <functional>
#include <linux/capability.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 3;
constexpr int64_t kSecond = 1000000000;

int64_t real_ns()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * kSecond + now.tv_nsec;
}

// A moment of a day before the build day by more than a GPS week roll-over
// explains: the receiver's date is refused.
std::string refused_moment()
{
    int64_t day = program_build_day() - kGpsRolloverDays - 60;
    UtcFields f = utc_fields_from_file_time(kFileTimeUnixEpoch + day * kFileTimeTicksPerDay);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT03:00:00", f.year, f.month, f.day);
    return text;
}

std::string status_text()
{
    return info_widgets.status && gtk_widget_get_visible(info_widgets.status)
               ? gtk_label_get_text(GTK_LABEL(info_widgets.status))
               : "";
}

std::string tooltip_text()
{
    gchar* text = tray_status_icon ? gtk_status_icon_get_tooltip_text(tray_status_icon) : nullptr;
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// Root opens any file: threads started while this lives open files as an
// ordinary account would (their effective capabilities lack the file ones).
class WithoutFileOverride {
public:
    WithoutFileOverride() { set(false); }
    ~WithoutFileOverride() { set(true); }

private:
    void set(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &header, data) != 0)
            return;
        const unsigned bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        data[0].effective = on ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
        syscall(SYS_capset, &header, data);
    }
};

// A process that holds the device as a daemon would: an exclusive lock on it.
class Holder {
public:
    explicit Holder(const std::string& device)
    {
        pid_ = fork();
        if (pid_ == 0) {
            execl("/bin/sh", "sh", "-c", "exec 3<>\"$1\" && flock -x 3 && exec sleep 60", "sh", device.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Holder() { stop(); }
    void stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Raises a 100 ms pulse on the test device's CTS once a second while it lives.
class Pulses {
public:
    explicit Pulses(int port)
        : thread_([this, port] {
              auto next = std::chrono::steady_clock::now();
              while (!stop_) {
                  com_test_device_raise_pulse(port, TIOCM_CTS, 100);
                  next += std::chrono::seconds(1);
                  while (!stop_ && std::chrono::steady_clock::now() < next)
                      std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {
    }
    ~Pulses()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The time service in console mode on the sandbox's channel.
class Keeper {
public:
    Keeper() : pid_(process_spawn({build_dir() + "/bin/clockkeeper", "debug"})) {}
    ~Keeper()
    {
        kill(pid_, SIGTERM);
        process_wait(pid_, 10000);
    }

private:
    pid_t pid_;
};

class StatusLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        build_main_window_with_settings(sandbox.path("appdata/satclock"),
                                        {"com_port=\"3\"", "baudrate=\"4800\"", "schedule_value=\"0\"",
                                         "use_pps=\"FALSE\""});
        tray_icon_add();
        keeper = std::make_unique<Keeper>();
    }

    void TearDown() override
    {
        stop_info_timers();
        receiver_stop();
        tray_icon_remove();
        destroy_main_window();
        com_test_device_unregister(kPort);
        use_pps.store(0);
        keeper.reset();
    }

    // The line shows on the page and in the tooltip, under "Satclock".
    bool shows(const std::string& part)
    {
        return pump_until([&] {
            return status_text().find(part) != std::string::npos &&
                   tooltip_text().find("Satclock\n") == 0 && tooltip_text().find(part) != std::string::npos;
        });
    }

    bool gone(const std::string& part)
    {
        return pump_until([&] {
            return status_text().find(part) == std::string::npos && tooltip_text().find(part) == std::string::npos;
        });
    }

    TestSandbox sandbox;
    std::unique_ptr<Keeper> keeper;
};

TEST_F(StatusLineTest, EachCauseShowsItsLineUntilItGoes)
{
    std::unique_ptr<LinkedPty> pty = std::make_unique<LinkedPty>(sandbox, kPort);
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<Holder> holder;
    std::unique_ptr<Pulses> pulses;
    std::string pty5;
    struct Row {
        const char* cause;
        std::function<void()> arrange;
        std::string line;
        std::function<void()> remedy;
    };
    const std::vector<Row> rows = {
        {"a silent port", [&] { receiver_start(); start_info_timers(); },
         "Nothing from the receiver on COM3 for ", [&] { pty->write_all("$GPTXT,01,01,02,hello*4B\r\n"); }},
        {"a receiver gone", [&] { pty.reset(); }, "The receiver on COM3 is gone. Satclock tries again every 2 s",
         [&] { sim = std::make_unique<SimProcess>(sandbox, kPort, std::vector<std::string>{"--fix", "0"}); }},
        {"no fix yet", [] {}, "The receiver has no fix yet",
         [&] {
             sim.reset();
             sim = std::make_unique<SimProcess>(sandbox, kPort, std::vector<std::string>{"--baud", "9600",
                                                                                           "--speed-mismatch"});
         }},
        {"a wrong speed", [] {}, "at 4800 baud, but no NMEA sentence: the speed is wrong. Try 9600, 38400",
         [&] { receiver_restart(kPort, 9600); }},
        {"1PPS on a port without modem lines", [&] { use_pps.store(1); },
         "COM3 has no modem lines (a pseudo-terminal or a USB adapter without CTS and DSR)",
         [&] {
             com_test_device_register(kPort);
             receiver_restart(kPort, 9600);
         }},
        {"no pulse on CTS", [] {}, "No 1PPS pulse on CTS for ", [&] { pulses = std::make_unique<Pulses>(kPort); }},
        {"the service stopped", [&] { keeper.reset(); },
         "The time service clockkeeper is not running: the clock will not be set",
         [&] { keeper = std::make_unique<Keeper>(); }},
        {"a receiver date before the build day",
         [&] {
             sim.reset();
             sim = std::make_unique<SimProcess>(sandbox, kPort,
                                                std::vector<std::string>{"--baud", "9600", "--start-time", refused_moment()});
         },
         "before this program was built",
         [&] {
             sim.reset();
             sim = std::make_unique<SimProcess>(sandbox, kPort, std::vector<std::string>{"--baud", "9600"});
         }},
        {"a held port",
         [&] {
             pulses.reset();
             use_pps.store(0);
             pty = std::make_unique<LinkedPty>(sandbox, 4);
             holder = std::make_unique<Holder>(pty->slave());
             ASSERT_TRUE(wait_until([&] { return read_file("/proc/" + std::to_string(holder->pid()) + "/comm") ==
                                                 "sleep\n"; }));
             receiver_restart(4, 4800);
         },
         "", [&] { holder->stop(); }},
        {"a port the account may not open",
         [&] {
             pty = std::make_unique<LinkedPty>(sandbox, 5);
             pty5 = pty->slave();
             chmod(pty5.c_str(), 0);
             WithoutFileOverride ordinary_account;  // the reader started now opens as an ordinary account
             stop_receiver_threads();
             start_receiver_threads(5, 4800);
         },
         "Cannot open COM5 (", [&] { chmod(pty5.c_str(), 0620); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cause);
        row.arrange();
        if (HasFatalFailure())
            return;
        if (row.line.empty()) {
            std::string busy = "COM4 (" + pty->slave() + ") is in use by sleep (process " + std::to_string(holder->pid()) + ")";
            ASSERT_TRUE(shows(busy)) << status_text();
            row.remedy();
            EXPECT_TRUE(gone(busy)) << status_text();
            continue;
        }
        ASSERT_TRUE(shows(row.line)) << status_text();
        if (row.line.rfind("Cannot open COM5", 0) == 0) {
            EXPECT_NE(status_text().find("permission denied"), std::string::npos) << status_text();
        }
        row.remedy();
        EXPECT_TRUE(gone(row.line)) << status_text();
    }
}

// A receiver of 2007 (its firmware counts GPS weeks from an old epoch: its
// dates are 1024 weeks early) and a PC clock nine hours ahead: the date moves
// forward 1024 weeks, and the nine-hour step, over the cap (an hour by
// default), is not made unattended: the window asks once, the status line
// says why the correction waits, and Yes makes it.
TEST_F(StatusLineTest, A2007ReceiverIsMovedForwardAndANineHourStepWaitsForYes)
{
    const int64_t rollover_ms = kGpsRolloverDays * 86400 * 1000LL;
    SimProcess sim(sandbox, kPort, {"--time-offset-ms", std::to_string(-rollover_ms)});
    ASSERT_TRUE(sim.wait_ready());
    receiver_start();
    start_info_timers();
    ASSERT_TRUE(pump_until([] { return gps_fix_copy().fix_quality > 0 && gps_fix_copy().year != 0; }));
    GpsFix reported = gps_fix_copy();
    EXPECT_LT(days_from_civil(reported.year, reported.month, reported.day), program_build_day() - 7000)
        << "the receiver's own date: " << reported.year;
    const int64_t ahead = 9 * 3600 * kSecond;
    ASSERT_EQ(platform_clock_set_ns(real_ns() + ahead), 0);
    correct_time_request.store(1);
    ASSERT_TRUE(shows("waits for your answer in the Satclock window")) << status_text();
    ASSERT_TRUE(pump_until([] { return gtk_widget_get_visible(info_widgets.question); }));
    std::string question = gtk_label_get_text(GTK_LABEL(info_widgets.question_text));
    EXPECT_NE(std::string::npos, question.find("That moves it by -9 h 0 min")) << question;
    ASSERT_TRUE(pump_until([] {
        return std::string(gtk_label_get_text(GTK_LABEL(info_widgets.prestep[1]))).find("1024 weeks early") !=
               std::string::npos;
    })) << gtk_label_get_text(GTK_LABEL(info_widgets.prestep[1]));
    EXPECT_EQ(CorrectionHold::step_asked, correction_result_now().hold);
    EXPECT_NEAR(double(ahead), double(platform_clock_read_ns() - real_ns()), 1e9) << "not set while it waits";

    GtkWidget* yes = nullptr;
    for (GtkWidget* button : find_widgets(info_widgets.question, GTK_TYPE_BUTTON))
        if (std::string(gtk_button_get_label(GTK_BUTTON(button))) == GTK_STOCK_YES)
            yes = button;
    ASSERT_NE(nullptr, yes);
    click_button(yes);
    ASSERT_TRUE(pump_until([] { return correct_time_request.load() == 0; })) << status_text();
    EXPECT_TRUE(correction_result_now().made);
    EXPECT_LT(std::llabs(platform_clock_read_ns() - real_ns()), kSecond / 2);
    EXPECT_TRUE(gone("waits for your answer"));
    EXPECT_FALSE(gtk_widget_get_visible(info_widgets.question));

    // The offset it found is in the history file beside the settings, as the next start reads it.
    auto recorded = [&] {
        for (const HistoryRecord& r : offset_history_load(offset_history_path(), platform_clock_read_ns()).records)
            if (r.kind == HistoryKind::correction && std::llabs(r.offset_ns - ahead) < kSecond)
                return true;
        return false;
    };
    EXPECT_TRUE(pump_until(recorded)) << offset_history_path();
}

// A pulse too wide to be the line's pulse, or not once a second, is said;
// a receiver's usual pulse is not.
TEST(PulseCauses, TooWideOrAtTheWrongRate)
{
    struct Case {
        int64_t width_ms, period_ms;
        const char* line;  // "" none
    } cases[] = {
        {100, 1000, ""},
        {1, 1003, ""},
        {995, 1000, "The 1PPS pulse on CTS is 995 ms wide"},
        {100, 200, "The 1PPS pulses on CTS come 200 ms apart, not once a second"},
        {100, 2000, "The 1PPS pulses on CTS come 2000 ms apart"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width_ms);
        ReceiverFacts facts;
        facts.link.state = LinkState::open;
        facts.now_ns = facts.last_byte_ns = facts.last_sentence_ns = facts.last_edge_ns = 10 * kSecond;
        facts.fix_quality = 1;
        facts.use_pps = true;
        facts.pps_lines = 1;
        facts.pulse_width_ns = c.width_ms * 1000000;
        facts.pulse_period_ns = c.period_ms * 1000000;
        std::string text;
        for (const ReceiverIssue& issue : receiver_issues(facts))
            text += receiver_issue_text(issue);
        if (*c.line)
            EXPECT_EQ(0u, text.rfind(c.line, 0)) << text;
        else
            EXPECT_EQ("", text);
    }
}

}  // namespace

namespace {

std::string next_update_text() { return gtk_label_get_text(GTK_LABEL(info_widgets.next_update)); }

// The shipped schedule (weekly, counted from the first start) on a first day
// with the PC clock 5 s behind: the page says when the first correction comes,
// and the status line why the clock stays off until then and what sets it now.
TEST_F(StatusLineTest, AFirstDayClockOffSaysWhenTheFirstCorrectionComesAndWhatSetsItNow)
{
    app_settings.schedule_value = 12;
    SimProcess sim(sandbox, kPort);
    ASSERT_TRUE(sim.wait_ready());
    ASSERT_EQ(platform_clock_set_ns(real_ns() - 5 * kSecond), 0);
    receiver_start();
    start_info_timers();
    ASSERT_TRUE(shows("s behind GPS and was never corrected")) << status_text();
    EXPECT_NE(status_text().find("Click \"Correct PC Clock Now!\" to set it now."), std::string::npos);
    EXPECT_TRUE(pump_until([] { return next_update_text().ends_with("(Weekly, counted from the first start)"); }))
        << next_update_text();

    correct_time_request.store(1);  // what the button does
    ASSERT_TRUE(pump_until([] { return correct_time_request.load() == 0; })) << status_text();
    EXPECT_TRUE(correction_result_now().made);
    EXPECT_TRUE(gone("was never corrected")) << status_text();
    EXPECT_TRUE(pump_until([] { return next_update_text().ends_with("(Weekly, counted from the last correction)"); }))
        << next_update_text();
}

}  // namespace
