// The serial layer over real ptys: opening, device names, reads and writes,
// close waking a pending read, hangups, 1PPS edges from the test device, and
// the port list.
#include "tests/support/com_test_device.h"
#include "src/gps/serial.h"
#include "tests/link/link_support.h"

#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 7;

int open_8n1(int slot, int port, int baud = 4800) { return com_open(slot, port, baud, 8, 0, 0); }

class Serial : public ::testing::Test {
protected:
    void SetUp() override { com_init(); }
    void TearDown() override
    {
        com_close(0);
        com_close(1);
        com_test_device_unregister(kPort);
    }
    TestSandbox box;
};

TEST(ComPortDevice, PortFolderFirstThenKernelBlocks)
{
    TestSandbox box;
    symlink("/dev/null", box.path("ports/COM3").c_str());
    struct Case {
        int port;
        std::string device;
    } cases[] = {{3, box.path("ports/COM3")}, {1, "/dev/ttyS0"},      {32, "/dev/ttyS31"},
                 {33, "/dev/ttyUSB0"},        {64, "/dev/ttyUSB31"},  {65, "/dev/ttyACM0"},
                 {96, "/dev/ttyACM31"},       {97, ""},               {0, ""},
                 {-4, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(com_port_device(c.port), c.device) << "COM" << c.port;
}

TEST_F(Serial, OpensAPtyAndRefusesWhatItCannotOpen)
{
    LinkedPty pty(box, kPort);
    std::ofstream(box.path("plain")) << "not a tty";
    symlink(box.path("plain").c_str(), box.path("ports/COM8").c_str());
    symlink("/dev/null", box.path("ports/COM9").c_str());
    symlink(box.path("gone").c_str(), box.path("ports/COM10").c_str());

    EXPECT_EQ(open_8n1(2, kPort), 0) << "only slots 0 and 1";
    EXPECT_EQ(open_8n1(-1, kPort), 0);
    EXPECT_EQ(open_8n1(0, 8), 0) << "a regular file";
    EXPECT_EQ(open_8n1(0, 9), 0) << "/dev/null";
    EXPECT_EQ(open_8n1(0, 10), 0) << "a dangling link";
    EXPECT_EQ(open_8n1(0, 120), 0) << "no device for the number";
    EXPECT_EQ(open_8n1(0, kPort, 0), 0) << "speed 0";
    EXPECT_EQ(com_open(0, kPort, 4800, 9, 0, 0), 0) << "9 data bits";
    EXPECT_EQ(com_open(0, kPort, 4800, 8, 3, 0), 0) << "stop-bits code 3";
    EXPECT_EQ(com_open(0, kPort, 4800, 8, 0, 5), 0) << "parity code 5";
    EXPECT_EQ(com_event_mask(0), 0);

    EXPECT_NE(open_8n1(0, kPort), 0);
    EXPECT_EQ(com_event_mask(0), kComEvRxChar);
}

TEST_F(Serial, SecondOpenOfTheSamePortFailsUntilClosed)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    EXPECT_EQ(open_8n1(1, kPort), 0);
    // TIOCEXCL turns away other programs too, except for root, which it lets through.
    if (geteuid() != 0) {
        int other = open(pty.slave().c_str(), O_RDWR | O_NOCTTY);
        EXPECT_LT(other, 0);
        if (other >= 0)
            close(other);
    }
    com_close(0);
    EXPECT_NE(open_8n1(1, kPort), 0);
}

TEST_F(Serial, AnySpeedTheDriverTakes)
{
    LinkedPty pty(box, kPort);
    for (int baud : {4800, 9600, 115200, 250000, 31337}) {
        EXPECT_NE(open_8n1(0, kPort, baud), 0) << baud;
        com_close(0);
    }
}

TEST_F(Serial, EveryByteValuePassesUnchangedBothWays)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    std::string all;
    for (int value = 0; value < 256; ++value)
        all += static_cast<char>(value);

    ASSERT_TRUE(pty.write_all(all));
    std::string got;
    char buffer[300];
    for (int tries = 0; got.size() < all.size() && tries < 100; ++tries) {
        int n = com_read(0, buffer, sizeof buffer);
        ASSERT_GE(n, 0);
        got.append(buffer, size_t(n));
    }
    EXPECT_EQ(got, all);

    EXPECT_EQ(com_write(0, all.data(), int(all.size())), 1);
    EXPECT_EQ(pty.read_for(2000, all.size()), all);
}

TEST_F(Serial, ReadGivesUpToTheCountAndZeroWhenQuiet)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    ASSERT_TRUE(pty.write_all("abcdef"));
    char buffer[8] = {};
    ASSERT_TRUE(wait_until([&] { return com_read(0, buffer, 4) == 4; }, 2000));
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(com_read(0, buffer, 8), 2);

    for (int i = 0; i < 3; ++i) {
        int64_t start = platform_monotonic_ns();
        EXPECT_EQ(com_read(0, buffer, 8), 0);
        EXPECT_GE(platform_monotonic_ns() - start, 30000000) << "waits for the first byte";
    }
}

TEST_F(Serial, CloseWakesAReadPendingInAnotherThread)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    std::atomic<int> last{0};
    std::thread reader([&] {
        char byte;
        int n;
        while ((n = com_read(0, &byte, 1)) >= 0) {
        }
        last = n;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    com_close(0);
    reader.join();
    EXPECT_EQ(last.load(), -1);
    char byte;
    EXPECT_EQ(com_read(0, &byte, 1), -1) << "an empty slot";
    EXPECT_EQ(com_write(0, "x", 1), 0);
}

TEST_F(Serial, HangupIsAHardError)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    ASSERT_TRUE(pty.write_all("xy"));
    pty.close_master();
    char buffer[4];
    int result = 0;
    std::string got;
    for (int tries = 0; tries < 50 && result >= 0; ++tries) {
        result = com_read(0, buffer, sizeof buffer);
        if (result > 0)
            got.append(buffer, size_t(result));
    }
    EXPECT_EQ(result, -1);
}

// 1PPS through the test device.
class Pps : public Serial {
protected:
    void SetUp() override
    {
        Serial::SetUp();
        com_test_device_register(kPort);
        ASSERT_NE(open_8n1(0, kPort), 0);
    }
    LinkedPty pty{box, kPort};
};

TEST_F(Pps, TimeOutRestoresTheMaskAndIgnoresTheOtherLine)
{
    std::atomic<bool> during_the_wait{false};
    std::thread pulse([&] {
        during_the_wait = wait_until([] { return com_event_mask(0) == kComEvCts; }, 2000);
        com_test_device_raise_pulse(kPort, TIOCM_DSR, 100);
    });
    EXPECT_EQ(com_wait_pps_edge(0, 1, 1000), 0);
    pulse.join();
    EXPECT_TRUE(during_the_wait.load());
    EXPECT_EQ(com_event_mask(0), kComEvRxChar);
}

TEST_F(Pps, EdgesBeforeTheWaitDoNotCount)
{
    com_test_device_raise_pulse(kPort, TIOCM_CTS, 100);
    ASSERT_TRUE(wait_until([] { return com_pps_last_edge(0, 1, nullptr, nullptr) == 1; }));  // the watcher has it
    EXPECT_EQ(com_wait_pps_edge(0, 1, 50), 0);
}

TEST_F(Pps, FailureOrCloseEndsAWait)
{
    std::atomic<bool> waiting{false};
    std::thread fail([&] {
        waiting = wait_until([] { return com_event_mask(0) == kComEvCts; }, 2000);
        com_test_device_fail(kPort, EIO);
    });
    EXPECT_EQ(com_wait_pps_edge(0, 1, 3000), -1);
    fail.join();
    EXPECT_TRUE(waiting.load());
    EXPECT_EQ(com_event_mask(0), kComEvRxChar);
    EXPECT_EQ(com_wait_pps_edge(0, 0, 10), -1) << "the lines stay failed";

    com_close(0);
    com_test_device_register(kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    std::thread closer([&] {
        waiting = wait_until([] { return com_event_mask(0) == kComEvDsr; }, 2000);
        com_close(0);
    });
    EXPECT_EQ(com_wait_pps_edge(0, 0, 3000), -1);
    closer.join();
    EXPECT_TRUE(waiting.load());
    EXPECT_EQ(com_wait_pps_edge(0, 0, 10), -1) << "no port";
}

// A receiver's pulse has two edges: the leading one alone is the edge of the
// second, stamped with the PC clock as the watcher wakes, on either line,
// whatever the pulse's width and whichever way the line rests. The port's
// event mask names the line while a wait is on (the pulse waits for it).
TEST_F(Pps, ThePulsesLeadingEdgeIsStampedWithThePcClock)
{
    struct Case {
        int line;
        int width_ms;
        bool inverted;
    } cases[] = {{TIOCM_CTS, 1, false}, {TIOCM_CTS, 100, false}, {TIOCM_DSR, 500, false}, {TIOCM_CTS, 100, true}};
    for (const Case& c : cases) {
        bool cts = c.line == TIOCM_CTS;
        SCOPED_TRACE(testing::Message() << (cts ? "CTS " : "DSR ") << c.width_ms << " ms" << (c.inverted ? " inverted" : ""));
        com_close(0);
        com_test_device_register(kPort, c.inverted ? c.line : 0);
        pps_inverted.store(c.inverted);
        ASSERT_NE(open_8n1(0, kPort), 0);
        std::atomic<int64_t> raised{0};
        std::thread pulse([&] {
            if (!wait_until([&] { return com_event_mask(0) == (cts ? kComEvCts : kComEvDsr); }, 2000))
                return;
            raised = platform_clock_read_ns();
            com_test_device_raise_pulse(kPort, c.line, c.width_ms);
        });
        int64_t edge_ns = 0;
        EXPECT_EQ(com_wait_pps_edge(0, cts, 3000, &edge_ns), 1);
        int64_t woke = platform_clock_read_ns();
        pulse.join();
        EXPECT_EQ(com_event_mask(0), kComEvRxChar);
        EXPECT_GE(edge_ns, raised.load()) << "stamped at the leading edge";
        EXPECT_LE(edge_ns, woke);
        const ModemLine line = cts ? modem_cts : modem_dsr;
        ModemLinesNow lines;
        int error = 0;
        ASSERT_TRUE(wait_until([&] {
            return com_modem_lines(0, &lines, &error) == 1 && lines.line[line].edges == 2;
        })) << "the trailing edge came";
        EXPECT_EQ(lines.line[line].on, c.inverted) << "the line rests again";
        PpsPulse seen;
        EXPECT_EQ(com_pps_pulse(0, cts, &seen), 1);
        EXPECT_EQ(seen.count, 1u) << "the trailing edge is no edge of the second";
    }
    pps_inverted.store(0);
}

TEST_F(Serial, APtyHasNoModemLines)
{
    LinkedPty pty(box, kPort);
    ASSERT_NE(open_8n1(0, kPort), 0);
    EXPECT_EQ(com_wait_pps_edge(0, 1, 1000), -1);
    EXPECT_EQ(com_event_mask(0), kComEvRxChar);
}

TEST(ListComPorts, PortFolderEntriesSortedWithoutDuplicates)
{
    TestSandbox box;
    for (const char* name : {"COM3", "COM10", "CNCA0", "com7", "COM1", "COM", "COMx", "COM0", "ttyS4", "COM99999"})
        std::ofstream(box.path(std::string("ports/") + name));
    int16_t ports[kComPortListMax];
    int count = list_com_ports(ports);
    std::vector<int> listed(ports, ports + count);
    for (int wanted : {1, 3, 7, 10})
        EXPECT_NE(std::find(listed.begin(), listed.end(), wanted), listed.end()) << wanted;
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    EXPECT_EQ(std::adjacent_find(listed.begin(), listed.end()), listed.end());
    for (int number : listed)
        EXPECT_GT(number, 0);
}

TEST(ListComPorts, StopsAt510)
{
    TestSandbox box;
    for (int port = 1000; port < 1600; ++port)
        std::ofstream(box.path("ports/COM" + std::to_string(port)));
    int16_t ports[kComPortListMax + 1];
    ports[kComPortListMax] = -7;
    EXPECT_EQ(list_com_ports(ports), kComPortListMax);
    EXPECT_EQ(ports[kComPortListMax], -7);
    EXPECT_TRUE(std::is_sorted(ports, ports + kComPortListMax));
}

TEST(ListComPorts, MissingFolderStillListsHardwareOnly)
{
    TestSandbox box;
    setenv("SATCLOCK_PORT_DIR", box.path("none").c_str(), 1);
    int16_t ports[kComPortListMax];
    int count = list_com_ports(ports);
    for (int i = 0; i < count; ++i)
        EXPECT_LE(ports[i], 96) << "only ttyS/ttyUSB/ttyACM numbers";
}

}  // namespace
