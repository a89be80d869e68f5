// The reader thread and the receive ring over real ptys and the simulated
// receiver: bytes into both cursors, the wrap at 4096, start/stop/restart,
// missing, vanishing and non-tty ports tried again, and the two receiver commands.
#include "src/gps/com_reader.h"
#include "src/gps/gps_fix.h"
#include "src/gps/link_status.h"
#include "src/gps/serial.h"
#include "tests/link/link_support.h"

#include "platform/clock.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 4;

class Reader : public ::testing::Test {
protected:
    void SetUp() override
    {
        com_init();
    }
    void TearDown() override { stop_com_read_thread(); }

    // Starts the reader and forgets what the view cursor held from before.
    void start(int port = kPort, int baud = 4800)
    {
        ASSERT_EQ(start_com_threads(port, baud), 1);
        uint8_t stale[buf_com_size];
        while (buf_com_read_view(stale, buf_com_size) > 0) {
        }
    }

    // Takes n bytes from the analysis cursor, waiting for them.
    std::string take_analiz(size_t n, int timeout_ms = 5000)
    {
        std::string got;
        int64_t end = platform_monotonic_ns() + int64_t(timeout_ms) * 1000000;
        uint8_t bytes[512];
        while (got.size() < n && platform_monotonic_ns() < end) {
            buf_com_wait_data(20);
            int count = buf_com_read_analiz(bytes, int(std::min<size_t>(sizeof bytes, n - got.size())));
            got.append(reinterpret_cast<char*>(bytes), size_t(count));
        }
        return got;
    }

    bool wait_stopped(int timeout_ms = 5000)
    {
        return wait_until([] { return com_read_running() == 0; }, timeout_ms);
    }

    static std::pair<int, int> cursors_of_analiz()
    {
        std::lock_guard guard(buf_com_lock);
        return {buf_com_head, buf_com_tail_analiz};
    }

    TestSandbox box;
};

// The reader opens the port and copies what comes; the port is open once the
// two receiver commands have reached the other end.
std::string wait_commands(LinkedPty& pty)
{
    return pty.read_for(3000, 50);
}

TEST_F(Reader, SimulatorSentencesReachBothCursorsAndTheCommandsReachTheSimulator)
{
    SimProcess sim(box, kPort, {"--baud", "38400"});
    ASSERT_TRUE(sim.wait_ready());
    start();
    ASSERT_TRUE(sim.wait_events("command", 2, 5000));
    auto commands = sim.log_events("command");
    EXPECT_EQ(json_field(commands[0], "text"), "$PSRF103,00,00,01,01*25");
    EXPECT_EQ(json_field(commands[1], "text"), "$PSRF103,04,00,01,01*21");

    // Whole sentences arrive from the first "$" after the opening on.
    std::string analiz = take_analiz(400, 4000);
    size_t gga = analiz.find("$GPGGA,");
    ASSERT_NE(gga, std::string::npos) << analiz;
    size_t end = analiz.find("\r\n", gga);
    ASSERT_NE(end, std::string::npos);
    std::string sentence = analiz.substr(gga, end - gga);
    bool logged = false;
    for (const std::string& line : sim.log_events("sentence"))
        logged = logged || json_field(line, "text") == sentence;
    EXPECT_TRUE(logged) << sentence;

    uint8_t view[buf_com_size];
    int n = buf_com_read_view(view, buf_com_size);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(view), size_t(std::min<size_t>(n, analiz.size()))),
              analiz.substr(0, size_t(n)))
        << "the view sees the same bytes through its own cursor";
}

TEST_F(Reader, RingWrapsAt4096AndAConsumerGetsWhatIsThere)
{
    LinkedPty pty(box, kPort);
    start();
    ASSERT_EQ(wait_commands(pty).size(), 50u);

    std::string first(4000, 'a'), last(96, 'b');
    ASSERT_TRUE(pty.write_all(first));
    ASSERT_EQ(take_analiz(first.size()), first);
    ASSERT_TRUE(pty.write_all(last));
    ASSERT_EQ(take_analiz(last.size()), last);

    EXPECT_EQ(cursors_of_analiz(), std::make_pair(0, 0)) << "4096 bytes: head and cursor back at 0";
    uint8_t byte;
    EXPECT_EQ(buf_com_read_analiz(&byte, 1), 0);
    EXPECT_EQ(buf_com_wait_data(30), 0);
    uint8_t view[buf_com_size];
    RingOverrun before = buf_com_overrun_view();
    EXPECT_EQ(buf_com_read_view(view, 300), 0) << "a consumer 4096 bytes behind has lost them all";
    EXPECT_EQ(buf_com_overrun_view().lost_bytes - before.lost_bytes, 4096u) << "no line in them to resume at";

    ASSERT_TRUE(pty.write_all("0123456789"));
    ASSERT_TRUE(wait_until([] { return cursors_of_analiz().first == 10; }, 3000));
    EXPECT_EQ(buf_com_read_analiz(&byte, 1), 1);
    EXPECT_EQ(byte, '0');
    uint8_t rest[300];
    EXPECT_EQ(buf_com_read_analiz(rest, 300), 9);
    EXPECT_EQ(buf_com_read_view(view, 300), 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(view), 10), "0123456789");
}

// A consumer the writer came round to resumes at the newest whole line and
// counts the bytes it skipped: the view left unread while the window is
// hidden, the analysis thread held up by a pulse wait.
TEST_F(Reader, ALappedConsumerResumesAtTheNewestLineAndCountsTheLoss)
{
    LinkedPty pty(box, kPort);
    start();
    ASSERT_EQ(wait_commands(pty).size(), 50u);
    std::string lines;
    for (int i = 0; i < 60; ++i)  // 80 bytes each: 4800, more than the ring holds
        lines += "$GPTXT," + std::string(i < 10 ? "0" : "") + std::to_string(i) + "," + std::string(68, 'x') + "\r\n";
    const std::string newest = lines.substr(lines.size() - 80), arriving = "$GPGGA,12";
    uint64_t received = buf_com_bytes_received();
    ASSERT_TRUE(pty.write_all(lines + arriving));
    ASSERT_TRUE(wait_until([&] { return buf_com_bytes_received() == received + lines.size() + arriving.size(); }, 5000));
    const struct {
        const char* what;
        int (*read)(uint8_t*, int);
        RingOverrun (*overrun)();
    } consumers[] = {
        {"the NMEA view", buf_com_read_view, buf_com_overrun_view},
        {"the analysis thread", buf_com_read_analiz, buf_com_overrun_analiz},
    };
    for (const auto& c : consumers) {
        SCOPED_TRACE(c.what);
        RingOverrun before = c.overrun();
        std::string got;
        uint8_t bytes[300];
        for (int n; (n = c.read(bytes, 300)) > 0;)
            got.append(reinterpret_cast<char*>(bytes), size_t(n));
        EXPECT_EQ(got, newest + arriving);
        RingOverrun after = c.overrun();
        EXPECT_EQ(after.count, before.count + 1);
        EXPECT_EQ(after.lost_bytes - before.lost_bytes, lines.size() - newest.size());
    }
}

TEST_F(Reader, StartWhileRunningResetsTheRingButStartsNoSecondReader)
{
    LinkedPty pty(box, kPort);
    start();
    ASSERT_EQ(wait_commands(pty).size(), 50u);
    ASSERT_TRUE(pty.write_all("$GPGGA,1"));
    ASSERT_TRUE(wait_until([] { return cursors_of_analiz().first == 8; }, 3000));

    EXPECT_EQ(start_com_threads(kPort, 4800), 0);
    EXPECT_EQ(cursors_of_analiz(), std::make_pair(0, 0));
    EXPECT_EQ(com_read_running(), 1);
    uint8_t view[16];
    EXPECT_EQ(buf_com_read_view(view, 16), 0) << "head moved back to 0, onto the view cursor";
    ASSERT_TRUE(pty.write_all("xy"));
    EXPECT_EQ(take_analiz(2), "xy");
}

TEST_F(Reader, EveryStartClearsTheFix)
{
    const char gga[] = "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59\r";
    const char rmc[] = "$GPRMC,123519.000,A,4807.038,N,01131.000,E,0.0,0.0,191218,,,A\r";
    for (int round = 0; round < 2; ++round) {
        gps_fix_decode_line(gga);
        gps_fix_decode_line(rmc);
        ASSERT_EQ(gps_fix_copy().fix_quality, 1);
        start_com_threads(97, 4800);  // the first starts a reader, the second may find it running
        GpsFix fix = gps_fix_copy();
        EXPECT_EQ(fix.fix_quality, 0);
        EXPECT_EQ(fix.year, 0);
        EXPECT_EQ(fix.latitude, 0.0);
    }
}

TEST_F(Reader, StopWhileWaitingInAReadEndsTheReaderAndARestartWorks)
{
    LinkedPty pty(box, kPort);
    StdoutCapture out(box);
    start();
    ASSERT_EQ(wait_commands(pty).size(), 50u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));

    EXPECT_TRUE(stop_com_read_thread(10000)) << "stop must not hang";
    EXPECT_EQ(com_read_running(), 0);
    std::string log = out.text();
    for (const char* line : {"run stop thread_com_read thread_com_read_id=1\n", "read error\n",
                             "exit read_com_thread_func. thread_com_read_id=0\n", "run stop thread_com_read 2\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
    EXPECT_LT(log.find("read error\n"), log.find("run stop thread_com_read 2\n"));

    ASSERT_EQ(start_com_threads(kPort, 4800), 1);
    EXPECT_EQ(wait_commands(pty).size(), 50u);
    ASSERT_TRUE(pty.write_all("again"));
    EXPECT_EQ(take_analiz(5), "again");
    EXPECT_NE(out.text().find("launched g_thread_create_full thread_com_read_id=2\n"), std::string::npos);
}

TEST_F(Reader, StopRightAfterStartNeverHangs)
{
    LinkedPty pty(box, kPort);
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(start_com_threads(kPort, 4800), 1) << round;
        stop_com_read_thread();
        ASSERT_EQ(com_read_running(), 0);
    }
}

// A port that cannot be opened keeps the reader running: it says why and
// tries again every 2 s.
TEST_F(Reader, PortsThatCannotBeOpenedAreTriedAgainWithTheirCause)
{
    std::ofstream(box.path("plain")) << "text";
    symlink(box.path("plain").c_str(), box.path("ports/COM5").c_str());
    symlink("/dev/null", box.path("ports/COM6").c_str());
    LinkedPty pty(box, kPort);
    struct Case {
        int port;
        int baud;
        int error;
    } cases[] = {{97, 4800, ENOENT}, {5, 4800, ENOTTY}, {6, 9600, ENOTTY}, {kPort, 0, EINVAL}};
    for (const Case& c : cases) {
        StdoutCapture out(box);
        ASSERT_EQ(start_com_threads(c.port, c.baud), 1);
        std::string no_open = "no open com=" + std::to_string(c.port) + " baudrate=" + std::to_string(c.baud) + "\n";
        auto tries = [&] {
            std::string log = out.text();
            size_t first = log.find(no_open);
            return first == std::string::npos ? 0 : log.find(no_open, first + 1) == std::string::npos ? 1 : 2;
        };
        ASSERT_TRUE(wait_until([&] { return tries() == 2; }, 6000)) << "tried again: " << out.text();
        LinkStatus link = link_status_now();
        EXPECT_EQ(link.state, LinkState::open_failed);
        EXPECT_EQ(link.error, c.error) << c.port;
        EXPECT_EQ(com_read_running(), 1);
        stop_com_read_thread();
        EXPECT_NE(out.text().find("exit read_com_thread_func. thread_com_read_id=0\n"), std::string::npos);
        EXPECT_EQ(link_status_now().state, LinkState::stopped);
    }
}

// Killed, the simulator's port hangs up: the reader says the receiver is
// gone and reads the port again as soon as a new simulator is on it.
TEST_F(Reader, AVanishedPortIsReadAgainOnceItIsBack)
{
    StdoutCapture out(box);
    {
        SimProcess sim(box, kPort, {"--baud", "115200"});
        ASSERT_TRUE(sim.wait_ready());
        start(kPort, 115200);
        ASSERT_TRUE(sim.wait_events("command", 2, 5000));
        sim.stop(SIGKILL);
    }
    ASSERT_TRUE(wait_until([] { return link_status_now().state != LinkState::open; }, 5000));
    std::string log = out.text();
    EXPECT_NE(log.find("read err=5 handle=0x"), std::string::npos) << log;
    EXPECT_NE(log.find("read error\n"), std::string::npos) << log;
    EXPECT_EQ(com_read_running(), 1) << "the reader goes on";
    EXPECT_NE(link_status_now().opened_ns, 0);

    SimProcess again(box, kPort, {"--baud", "115200"});
    ASSERT_TRUE(again.wait_ready());
    EXPECT_TRUE(again.wait_events("command", 2, 3000)) << "the port read again within 3 s, nobody restarting it";
    EXPECT_NE(take_analiz(200, 3000).find("$GPRMC,"), std::string::npos);
    EXPECT_EQ(link_status_now().state, LinkState::open);
}

TEST_F(Reader, ConsumerCountsAreAtMostWhatIsThere)
{
    LinkedPty pty(box, kPort);
    start();
    ASSERT_EQ(wait_commands(pty).size(), 50u);
    ASSERT_TRUE(pty.write_all("0123456789"));
    ASSERT_TRUE(wait_until([] { return cursors_of_analiz().first == 10; }, 3000));
    uint8_t bytes[300];
    EXPECT_EQ(buf_com_read_view(bytes, 300), 10);
    EXPECT_EQ(buf_com_read_view(bytes, 300), 0);
    EXPECT_EQ(buf_com_read_analiz(bytes, 1), 1);
    EXPECT_EQ(bytes[0], '0');
    EXPECT_EQ(buf_com_read_analiz(bytes, 0), 0);
    EXPECT_EQ(buf_com_read_analiz(bytes, 300), 9);
}

}  // namespace
