// The simulated receiver as other tests rely on it: sentence content per
// option, its log, replay, silence, and a clean end that removes the link.
#include "tests/link/link_support.h"

#include "platform/clock.h"
#include "platform/process.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPort = 12;

size_t count_lines(const std::string& stream);

// Reads the simulator's port as a program would, raw, for timeout_ms or
// until want_lines whole sentences came.
std::string read_port(const std::string& link, int timeout_ms, size_t want_lines = SIZE_MAX)
{
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return "";
    termios tio {};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    tcflush(fd, TCIFLUSH);
    std::string text;
    const int64_t end_ns = platform_monotonic_ns() + int64_t(timeout_ms) * 1000000;
    while (platform_monotonic_ns() < end_ns && count_lines(text) < want_lines) {
        pollfd in {fd, POLLIN, 0};
        poll(&in, 1, 10);
        char bytes[1024];
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n > 0)
            text.append(bytes, size_t(n));
    }
    close(fd);
    return text;
}

// The complete "$...\r\n" lines of a byte stream, without their CR LF.
std::vector<std::string> sentences_of(const std::string& stream)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while ((at = stream.find('$', at)) != std::string::npos) {
        size_t end = stream.find("\r\n", at);
        if (end == std::string::npos)
            break;
        lines.push_back(stream.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

size_t count_lines(const std::string& stream) { return sentences_of(stream).size(); }

std::vector<std::string> fields_of(const std::string& sentence)
{
    std::vector<std::string> fields;
    std::string body = sentence.substr(0, sentence.find('*'));
    size_t start = 0, comma;
    while ((comma = body.find(',', start)) != std::string::npos) {
        fields.push_back(body.substr(start, comma - start));
        start = comma + 1;
    }
    fields.push_back(body.substr(start));
    return fields;
}

// The checksum computed here, apart from the simulator's own code.
std::string expected_checksum(const std::string& sentence)
{
    unsigned sum = 0;
    for (size_t i = 1; i < sentence.size() && sentence[i] != '*'; ++i)
        sum ^= static_cast<unsigned char>(sentence[i]);
    char text[3];
    std::snprintf(text, sizeof text, "%02X", sum);
    return text;
}

std::string checksum_of(const std::string& sentence)
{
    size_t star = sentence.find('*');
    return star == std::string::npos ? "" : sentence.substr(star + 1);
}

struct Heard {
    std::vector<std::string> sentences;
    std::string stream;
};

// Listens until `lines` whole sentences came (a few seconds at most).
Heard run_simulator(const TestSandbox& box, const std::vector<std::string>& options, size_t lines = 2)
{
    SimProcess sim(box, kPort, options);
    Heard run;
    if (!sim.wait_ready())
        return run;
    run.stream = read_port(sim.link(), 4000, lines);
    run.sentences = sentences_of(run.stream);
    return run;
}

TEST(GpsSim, DefaultSentencesCarryAFixAndGoodChecksums)
{
    TestSandbox box;
    Heard run = run_simulator(box, {"--baud", "115200"});
    ASSERT_GE(run.sentences.size(), 2u) << run.stream;
    for (const std::string& s : run.sentences) {
        auto f = fields_of(s);
        EXPECT_EQ(checksum_of(s), expected_checksum(s)) << s;
        if (f[0] == "$GPGGA") {
            ASSERT_EQ(f.size(), 15u) << s;
            EXPECT_EQ(f[1].size(), 10u) << "hhmmss.sss";
            EXPECT_EQ(f[2], "4807.0380");
            EXPECT_EQ(f[3], "N");
            EXPECT_EQ(f[4], "01131.0000");
            EXPECT_EQ(f[5], "E");
            EXPECT_EQ(f[6], "1");
            EXPECT_EQ(f[7], "08");
            EXPECT_EQ(f[9], "545.4");
            EXPECT_FALSE(f[11].empty());
        } else {
            ASSERT_EQ(f[0], "$GPRMC") << s;
            EXPECT_EQ(f[2], "A");
            EXPECT_EQ(f[9].size(), 6u) << "ddmmyy";
        }
    }
}

TEST(GpsSim, OptionsShapeTheSentences)
{
    struct Case {
        std::vector<std::string> options;
        void (*check)(const std::string& sentence);
    } cases[] = {
        {{"--talker", "GN"}, [](const std::string& s) { EXPECT_EQ(s.substr(0, 3), "$GN") << s; }},
        {{"--checksum", "wrong"},
         [](const std::string& s) {
             EXPECT_EQ(checksum_of(s).size(), 2u) << s;
             EXPECT_NE(checksum_of(s), expected_checksum(s)) << s;
         }},
        {{"--checksum", "off"}, [](const std::string& s) { EXPECT_EQ(s.find('*'), std::string::npos) << s; }},
        {{"--fix", "0", "--sats", "3"},
         [](const std::string& s) {
             auto f = fields_of(s);
             if (f[0] == "$GPGGA") {
                 EXPECT_EQ(f[6], "0");
                 EXPECT_EQ(f[7], "03");
                 EXPECT_TRUE(f[2].empty() && f[4].empty()) << s;
             } else {
                 EXPECT_EQ(f[2], "V");
                 EXPECT_EQ(f[9].size(), 6u);
             }
         }},
        {{"--lat", "-33.5", "--lon", "-70.25", "--alt", "12.5"},
         [](const std::string& s) {
             auto f = fields_of(s);
             int at = f[0] == "$GPGGA" ? 2 : 3;
             EXPECT_EQ(f[at], "3330.0000");
             EXPECT_EQ(f[at + 1], "S");
             EXPECT_EQ(f[at + 2], "07015.0000");
             EXPECT_EQ(f[at + 3], "W");
         }},
        {{"--fraction-digits", "0"}, [](const std::string& s) { EXPECT_EQ(fields_of(s)[1].size(), 6u) << s; }},
        {{"--short-sats", "--sats", "7"},
         [](const std::string& s) {
             if (fields_of(s)[0] == "$GPGGA") {
                 EXPECT_EQ(fields_of(s)[7], "7") << s;
             }
         }},
        {{"--rmc-only"}, [](const std::string& s) { EXPECT_EQ(fields_of(s)[0], "$GPRMC") << s; }},
        {{"--fraction-digits", "2", "--time-offset-ms", "500"},
         [](const std::string& s) { EXPECT_EQ(fields_of(s)[1].substr(6), ".50") << s; }},
        {{"--fraction-digits", "4", "--time-offset-ms", "123"},
         [](const std::string& s) { EXPECT_EQ(fields_of(s)[1].substr(6), ".1230") << s; }},
    };
    for (const Case& c : cases) {
        TestSandbox box;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--baud", "115200"});
        Heard run = run_simulator(box, options);
        SCOPED_TRACE(c.options[0]);
        ASSERT_FALSE(run.sentences.empty()) << run.stream;
        for (const std::string& s : run.sentences)
            c.check(s);
    }
}

TEST(GpsSim, StartTimeCrossesMidnightAndTheYearEnd)
{
    TestSandbox box;
    Heard run = run_simulator(box, {"--baud", "115200", "--start-time", "2026-12-31T23:59:59"}, 4);
    // The listener may join after the first second; whatever it hears runs on from there.
    int after_midnight = 0;
    for (const std::string& s : run.sentences) {
        auto f = fields_of(s);
        if (f[0] != "$GPRMC")
            continue;
        bool last_second = f[1] == "235959.000";
        EXPECT_EQ(f[9], last_second ? "311226" : "010127") << s;
        EXPECT_TRUE(last_second || f[1].substr(0, 5) == "00000") << s;
        after_midnight += !last_second;
    }
    EXPECT_GE(after_midnight, 1) << run.stream;
}

TEST(GpsSim, GarbageBurstsLieBetweenSentencesAndNeverHoldADollar)
{
    TestSandbox box;
    Heard run = run_simulator(box, {"--baud", "115200", "--garbage", "40"}, 4);
    size_t rmc_end = run.stream.find("\r\n", run.stream.find("$GPRMC"));
    ASSERT_NE(rmc_end, std::string::npos) << run.stream;
    size_t next = run.stream.find('$', rmc_end);
    ASSERT_NE(next, std::string::npos);
    EXPECT_EQ(next - (rmc_end + 2), 40u);
}

TEST(GpsSim, LogsTruthForEverySentenceAndStopsCleanly)
{
    TestSandbox box;
    SimProcess sim(box, kPort, {"--baud", "9600", "--offset", "250"});
    ASSERT_TRUE(sim.wait_ready());
    read_port(sim.link(), 3000, 2);
    ASSERT_TRUE(sim.wait_events("sentence", 2, 3000));
    EXPECT_EQ(sim.stop(SIGTERM), 0);
    struct stat info {};
    EXPECT_NE(lstat(sim.link().c_str(), &info), 0) << "the link is gone";
    EXPECT_EQ(sim.log_events("stop").size(), 1u);

    for (const std::string& line : sim.log_events("sentence")) {
        int64_t second = json_int(line, "second_ns"), first = json_int(line, "first_byte_ns"),
                cr = json_int(line, "cr_ns");
        EXPECT_EQ(second % 1000000000, 0);
        EXPECT_GE(first, second + 250000000) << "not before the start offset";
        EXPECT_GE(cr, first) << "a simulator behind its schedule writes a whole sentence at once";
        EXPECT_EQ(json_int(line, "bytes"), int64_t(json_field(line, "text").size()) + 2);
    }
}

TEST(GpsSim, SilenceAfterStopsTheSentencesButKeepsThePort)
{
    TestSandbox box;
    SimProcess sim(box, kPort, {"--baud", "115200", "--silence-after", "1"});
    ASSERT_TRUE(sim.wait_ready());
    ASSERT_TRUE(sim.wait_events("sentence", 2, 3000));
    std::string later = read_port(sim.link(), 1500);
    EXPECT_EQ(later, "");
    EXPECT_EQ(sim.log_events("sentence").size(), 2u);
}

TEST(GpsSim, ReplaysACaptureWithItsPacing)
{
    TestSandbox box;
    std::ofstream(box.path("capture.nmea")) << "# two timed lines, one raw second\n"
                                            << "@0 $GPGGA,A\n"
                                            << "@300 $GPRMC,B\n"
                                            << "$GPGGA,C\r\n"
                                            << "$GPRMC,D\n";
    SimProcess sim(box, kPort, {"--baud", "115200", "--replay", box.path("capture.nmea")});
    ASSERT_TRUE(sim.wait_ready());
    ASSERT_TRUE(sim.wait_events("sentence", 4, 4000));
    auto lines = sim.log_events("sentence");
    std::vector<std::string> texts;
    for (const std::string& line : lines)
        texts.push_back(json_field(line, "text"));
    EXPECT_EQ(texts, (std::vector<std::string>{"$GPGGA,A", "$GPRMC,B", "$GPGGA,C", "$GPRMC,D"}));
    int64_t start = json_int(lines[0], "first_byte_ns");
    EXPECT_NEAR(double(json_int(lines[1], "first_byte_ns") - start) / 1e6, 300.0, 50.0);
    EXPECT_GT(json_int(lines[3], "first_byte_ns"), json_int(lines[2], "cr_ns"));
}

TEST(GpsSim, CommandLineMistakesAndAnOccupiedLink)
{
    TestSandbox box;
    EXPECT_EQ(process_run({simulator_path(), "--help"}), 0);
    EXPECT_EQ(process_run({simulator_path(), "--fraction-digits", "5"}), 2);
    EXPECT_EQ(process_run({simulator_path(), "--checksum", "maybe"}), 2);
    EXPECT_EQ(process_run({simulator_path(), "--start-time", "yesterday"}), 2);
    EXPECT_EQ(process_run({simulator_path(), "--replay", box.path("none")}), 1);
    symlink("/dev/null", box.path("ports/COM3").c_str());
    EXPECT_EQ(process_run({simulator_path(), "--port", "3", "--port-dir", box.path("ports"), "--exit-after", "1"}), 1);
    char target[64] = {};
    readlink(box.path("ports/COM3").c_str(), target, sizeof target - 1);
    EXPECT_STREQ(target, "/dev/null") << "an existing entry stays without --replace";
}

}  // namespace
