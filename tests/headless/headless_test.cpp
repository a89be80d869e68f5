// satclock without a window, as on a time server with no desktop: no
// display at all, the simulated receiver, `clockkeeper debug`, the real
// `satclock --headless` program, and, for GPS time served to a network, a
// real chronyd taking Satclock's samples and serving NTP on loopback to a
// second chronyd. Both chronyds run with -x (the clock is never touched)
// on private configurations; the PC clock is the sandbox clock.
#include "bench/correction_accuracy/correction_rig.h"

#include "common/chrony_socket.h"
#include "platform/files.h"
#include "platform/process.h"
#include "src/correction/analiz.h"
#include "src/correction/chrony_feed.h"
#include "src/receiver/chrony_sources.h"
#include "tests/support/chronyd.h"
#include "tests/support/test_env.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kMs = 1000000;

std::string bin_dir() { return build_dir() + "/bin"; }

// `satclock --headless` with its standard error in a file.
class Headless {
public:
    explicit Headless(const TestSandbox& box) : log_(box.path("headless.err")) {}
    ~Headless() { stop(); }
    bool start()
    {
        pid_ = spawn_test_child({"/bin/sh", "-c", "exec \"$0\" --headless >/dev/null 2>\"$1\"",
                                 bin_dir() + "/satclock", log_});
        return pid_ > 0;
    }
    // SIGTERM; the exit status, -2 when it still runs after timeout_ms.
    int stop(int timeout_ms = 2000)
    {
        if (pid_ <= 0)
            return -1;
        kill(pid_, SIGTERM);
        int status = process_wait(pid_, timeout_ms);
        if (status == -2) {
            kill(pid_, SIGKILL);
            process_wait(pid_);
        }
        pid_ = -1;
        return status;
    }
    std::string log() const
    {
        std::string text;
        file_read_whole(log_, &text);
        return text;
    }

private:
    std::string log_;
    pid_t pid_ = -1;
};

// `satclock --status --json`: its exit status, its answer in *json.
int satclock_status(std::string* json = nullptr)
{
    std::string answer;
    return process_run_capture({bin_dir() + "/satclock", "--status", "--json"}, json ? json : &answer);
}

void write_settings(const TestSandbox& box, const std::string& lines)
{
    mkdir(box.path("appdata/satclock").c_str(), 0755);
    std::ofstream(box.path("appdata/satclock/satclock.ini")) << lines;
}

class HeadlessTest : public testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("DISPLAY");  // no display at all, not even Xvfb
        unsetenv("WAYLAND_DISPLAY");
    }
    TestSandbox box_;
};

// The receiver's output delay is known (as learned from 1PPS) and in every
// sample: chrony serves GPS time at stratum 1 and its client runs at
// stratum 2 with the sandbox clock's offset. The status command reads the
// running copy; SIGTERM ends it within 2 s.
TEST_F(HeadlessTest, ServesGpsTimeThroughChronyToAClientAtStratumTwo)
{
    ASSERT_EQ(access((chrony_root() + "/usr/sbin/chronyd").c_str(), X_OK), 0)
        << "chrony is not unpacked: run sh scripts/deps.sh";
    constexpr int64_t kClockOffsetNs = 37 * kMs;  // the sandbox PC clock runs this far ahead of GPS time
    std::string server_dir = box_.path("server");
    setenv("SATCLOCK_CHRONY_SOCKET", (server_dir + "/satclock.sock").c_str(), 1);
    write_settings(box_, "com_port=\"21\"\r\nbaudrate=\"9600\"\r\nchrony_feed=\"TRUE\"\r\nnmea_delay_ms=\"250\"\r\n"
                         "nmea_delay_spread_ms=\"3\"\r\nauto_update=\"FALSE\"\r\n");
    SimulatorProcess sim;
    ASSERT_TRUE(sim.start(bin_dir(), box_.path("ports"), 21, 9600, box_.path("gpssim.log"),
                          {"--offset", "250", "--offset-jitter", "2"}));
    ServiceProcess service;
    ASSERT_TRUE(service.start(bin_dir(), box_.path("clockkeeper.log")));
    ASSERT_TRUE(rig_set_clock_offset(kClockOffsetNs));

    Chronyd server(server_dir), client(box_.path("client"));
    // A loopback port of this test alone.
    std::string ntp = std::to_string(20000 + getpid() % 20000);
    ASSERT_TRUE(server.start("port " + ntp + "\nbindaddress 127.0.0.1\nallow 127.0.0.1\nrefclock SOCK " +
                             server_dir + "/satclock.sock refid GPS poll 0 precision 0.004 offset 0.0\n"))
        << server.log();
    ASSERT_TRUE(client.start("port 0\nserver 127.0.0.1 port " + ntp + " iburst minpoll 0 maxpoll 0\n"))
        << client.log();
    Headless headless(box_);
    ASSERT_TRUE(headless.start());

    std::string gps, served, tracking;
    bool stratum_two = wait_until(
        [&] {
            gps = server.ask("sources");
            served = client.ask("sources");
            tracking = client.ask("tracking");
            std::vector<std::string> source = chrony_source_fields(served, "127.0.0.1");
            std::vector<std::string> track = chrony_csv_fields(tracking);
            return !source.empty() && source[1] == "*" && source[3] == "1" && track.size() > 2 && track[2] == "2" &&
                   chrony_source_at_offset(served, "127.0.0.1", kClockOffsetNs, 5 * kMs);
        },
        60000);
    EXPECT_TRUE(stratum_two) << "server's sources:\n" << gps << "client's sources:\n" << served
                             << "client's tracking: " << tracking << "\nsatclock:\n" << headless.log() << "\nserver:\n"
                             << server.log();

    std::string status;
    EXPECT_EQ(0, satclock_status(&status)) << status;
    for (const char* field : {"\"mode\":\"headless\"", "\"reading\":true", "\"port\":21", "\"baud\":9600",
                              "\"link\":\"open\"", "\"chrony\":\"delivering\"", "\"offset\":{\"seconds\":",
                              "\"causes\":[\"chrony takes Satclock's GPS time"})
        EXPECT_NE(std::string::npos, status.find(field)) << field << " in " << status;
    EXPECT_EQ(0, headless.stop()) << "SIGTERM did not end satclock --headless with 0 within 2 s";
    // chrony took the time: the PC clock was never set.
    EXPECT_NEAR(double(rig_clock_offset_ns()), double(kClockOffsetNs), 1e6);
}

// With the chrony feed off the schedule corrects the sandbox clock; a
// receiver that goes away and comes back is read again; the status command
// tells the three cases apart.
TEST_F(HeadlessTest, CorrectsByScheduleAndOutlivesTheReceiver)
{
    // "Every minute", the last correction long ago: due at once.
    write_settings(box_, "com_port=\"22\"\r\nbaudrate=\"4800\"\r\nauto_update=\"TRUE\"\r\nschedule_value=\"2\"\r\n"
                         "correct_time_jd_prev=\"1.000000\"\r\n");
    ServiceProcess service;
    ASSERT_TRUE(service.start(bin_dir(), box_.path("clockkeeper.log")));
    ASSERT_TRUE(rig_set_clock_offset(-7 * 1000 * kMs));
    Headless headless(box_);
    ASSERT_TRUE(headless.start());
    ASSERT_TRUE(wait_until([] { return satclock_status() == 1; })) << "no receiver yet: a copy without a fix";

    SimulatorProcess sim;
    ASSERT_TRUE(sim.start(bin_dir(), box_.path("ports"), 22, 4800, box_.path("gpssim.log")));
    // The sentence alone: the receiver's output delay (the simulator's, under 400 ms) is left in.
    EXPECT_TRUE(wait_until([] { return std::llabs(rig_clock_offset_ns()) < 400 * kMs; }, 30000))
        << "clock still " << rig_clock_offset_ns() * 1e-9 << " s off\n" << headless.log();
    EXPECT_TRUE(wait_until([&] { return headless.log().find("correction: Corrected by") != std::string::npos; }))
        << headless.log();

    ASSERT_TRUE(sim.stop());
    // The status line names the port while the receiver is away.
    EXPECT_TRUE(wait_until(
        [&] {
            std::string log = headless.log();
            size_t corrected = log.find("correction: Corrected by");
            size_t line = log.find("status: ", corrected);
            return line != std::string::npos && log.find("COM22", line) != std::string::npos &&
                   satclock_status() == 1;
        },
        15000))
        << headless.log();
    ASSERT_TRUE(sim.start(bin_dir(), box_.path("ports"), 22, 4800, box_.path("gpssim.log")));
    std::string status;
    EXPECT_TRUE(wait_until([&] { return satclock_status(&status) == 0; }, 15000)) << status << "\n" << headless.log();
    EXPECT_NE(std::string::npos, status.find("\"last_correction\":{\"made\":true")) << status;

    EXPECT_EQ(0, headless.stop());
    EXPECT_EQ(2, satclock_status());
}

// Where the kernel has a 1PPS device, chrony's lines take its time stamps
// in place of Satclock's pulse line, numbered by the sentence line.
TEST_F(HeadlessTest, ChronyLinesOfferTheKernelsPpsDevice)
{
    mkdir(box_.path("dev").c_str(), 0755);
    setenv("SATCLOCK_DEV_DIR", box_.path("dev").c_str(), 1);
    for (const char* name : {"pps1", "pps0", "ppsx", "ttyS0"})
        std::ofstream(box_.path("dev/") + name) << "";
    use_pps.store(1);
    std::string lines = chrony_refclock_lines(chrony_line_facts_now());
    use_pps.store(0);
    unsetenv("SATCLOCK_DEV_DIR");
    EXPECT_NE(std::string::npos, lines.find("\nrefclock PPS " + box_.path("dev/pps0") + " lock GPS\n")) << lines;
    EXPECT_EQ(std::string::npos, lines.find("pps1")) << lines;
    EXPECT_EQ(std::string::npos, lines.find("refclock SOCK " + chrony_pulse_socket_path())) << lines;
    EXPECT_NE(std::string::npos, lines.find("refclock SOCK " + chrony_sample_socket_path() + " refid GPS")) << lines;
}

// chronyc's word on a kernel PPS line; Satclock's own pulse line (PPS) and
// the GPS line are not it.
TEST(KernelPpsUse, ReadFromChronycSources)
{
    struct Case {
        const char* csv;
        KernelPpsState want;
    } cases[] = {
        {"#,*,GPS,0,2,377,3,0.000001,0.000001,0.004\n", {}},
        {"#,*,PPS,0,2,377,3,0.000001,0.000001,0.000001\n", {}},
        {"#,-,GPS,0,2,377,3,0.01,0.01,0.004\n#,*,PPS1,0,4,377,13,-0.000000123,0.0,0.000001\n",
         {KernelPpsUse::selected, "PPS1", '*'}},
        {"#,+,PPS0,0,4,377,13,0.0,0.0,0.000001\n", {KernelPpsUse::selected, "PPS0", '+'}},
        {"#,?,PPS1,0,4,0,-,0.0,0.0,0.0\n", {KernelPpsUse::not_selected, "PPS1", '?'}},
        {"^,*,PPS2,1,6,377,20,0.0,0.0,0.001\n", {}},  // a server of that name, not a refclock
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.want, kernel_pps_use_in(c.csv)) << c.csv;
}

}  // namespace
