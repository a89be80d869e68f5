// The nmea-decode tool run as a real process on small captures, garbage and
// NUL bytes included, checking the JSON it prints.
#include "platform/process.h"
#include "tests/gps/nmea_sentences.h"
#include "tests/support/test_env.h"

#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using JsonObject = std::vector<std::pair<std::string, std::string>>;  // keys in order, raw values

// A flat JSON object of numbers: {"key": number, ...}. Anything else fails.
bool parse_flat_object(const std::string& text, JsonObject& out)
{
    size_t i = 0;
    auto skip = [&] { while (i < text.size() && text[i] == ' ') ++i; };
    auto take = [&](char c) { skip(); if (i < text.size() && text[i] == c) { ++i; return true; } return false; };
    if (!take('{'))
        return false;
    do {
        if (!take('"'))
            return false;
        size_t end = text.find('"', i);
        if (end == std::string::npos)
            return false;
        std::string key = text.substr(i, end - i);
        i = end + 1;
        if (!take(':'))
            return false;
        skip();
        size_t start = i;
        if (i < text.size() && text[i] == '-')
            ++i;
        while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
            ++i;
        if (i == start)
            return false;
        out.emplace_back(key, text.substr(start, i - start));
    } while (take(','));
    return take('}') && i == text.size();
}

std::string write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string tool() { return build_dir() + "/bin/nmea-decode"; }

// Runs the tool with its input given as an argument or on standard input.
int run_tool(const std::string& input, const std::string& output, bool from_stdin)
{
    std::string script = from_stdin ? "exec \"$0\" < \"$1\" > \"$2\"" : "exec \"$0\" \"$1\" > \"$2\"";
    return process_run({"sh", "-c", script, tool(), input, output}, kTestChildBoundMs);
}

std::vector<std::map<std::string, std::string>> decoded_lines(const std::string& output)
{
    static const std::vector<std::string> keys = {"line", "result", "year", "month", "day", "hour", "minute",
                                                  "second", "fraction", "latitude", "longitude", "altitude",
                                                  "fix_quality", "satellites"};
    std::vector<std::map<std::string, std::string>> records;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        JsonObject object;
        EXPECT_TRUE(parse_flat_object(line, object)) << line;
        std::vector<std::string> got_keys;
        for (const auto& [key, value] : object)
            got_keys.push_back(key);
        EXPECT_EQ(got_keys, keys) << line;
        records.emplace_back(object.begin(), object.end());
    }
    return records;
}

TEST(NmeaDecodeTool, DecodesACaptureWithGarbageAndNuls)
{
    TestSandbox sandbox;
    std::string capture = std::string("\x00\xff garbage\r\n", 12) + gga_reference + "\n" +
                          std::string("$GPGGA,1\0\0,2\r", 13) +                             // NULs: bad line
                          "$" + std::string(600, 'x') + "\r" +                               // overlong: dropped
                          nmea_sentence("GPRMC,123519.000,A,4807.038,N,01131.000,W,022.4,084.4,191218,003.1,W") +
                          nmea_sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00") +
                          nmea_sentence("GPGGA,123520.50,4807.038,S,01131.000,W,0,03,0.9,12.0,M,46.9,M,,", "\n") +
                          "$GPRMC,123521.000,A,,,,,,,191218,,*00\r" + "$GPGGA,12";  // bad sum, unfinished
    std::string input = write_file(sandbox.path("capture.nmea"), capture);
    ASSERT_EQ(run_tool(input, sandbox.path("out.json"), false), 0);
    auto records = decoded_lines(read_file(sandbox.path("out.json")));
    ASSERT_EQ(records.size(), 6u);

    const char* results[] = {"1", "-3", "-2", "-1", "1", "-3"};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["line"], std::to_string(i + 1));
        EXPECT_EQ(records[i]["result"], results[i]) << "line " << i + 1;
    }
    EXPECT_EQ(records[0]["latitude"], "48.117300");
    EXPECT_EQ(records[0]["longitude"], "11.516667");
    EXPECT_EQ(records[0]["altitude"], "545.4");
    EXPECT_EQ(records[0]["year"], "0");
    EXPECT_EQ(records[2]["year"], "2018");  // RMC of the same second still sets the date
    EXPECT_EQ(records[2]["month"], "12");
    EXPECT_EQ(records[2]["day"], "19");
    EXPECT_EQ(records[2]["longitude"], "11.516667");  // RMC position is not used
    EXPECT_EQ(records[4]["second"], "20");
    EXPECT_EQ(records[4]["fraction"], "50");
    EXPECT_EQ(records[4]["latitude"], "-48.117300");
    EXPECT_EQ(records[4]["longitude"], "-11.516667");
    EXPECT_EQ(records[4]["fix_quality"], "-1");
    EXPECT_EQ(records[4]["satellites"], "3");
    EXPECT_EQ(records[5]["second"], "20");  // the bad line changed nothing

    ASSERT_EQ(run_tool(input, sandbox.path("stdin.json"), true), 0);
    EXPECT_EQ(read_file(sandbox.path("stdin.json")), read_file(sandbox.path("out.json")));
}

TEST(NmeaDecodeTool, SurvivesRandomBytes)
{
    TestSandbox sandbox;
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 100000; ++i) {
        state = state * 1103515245u + 12345u;
        char byte = static_cast<char>(state >> 16);
        noise += (state >> 8) % 5 == 0 ? "$,.*\r0"[(state >> 4) % 6] : byte;
    }
    std::string input = write_file(sandbox.path("noise.bin"), noise);
    ASSERT_EQ(run_tool(input, sandbox.path("out.json"), false), 0);
    auto records = decoded_lines(read_file(sandbox.path("out.json")));
    EXPECT_GT(records.size(), 50u);
}

TEST(NmeaDecodeTool, GnssOptionTakesAMultiConstellationReceiver)
{
    TestSandbox sandbox;
    std::string capture = source_dir() + "/tests/gps/captures/ublox8_gn.nmea";
    ASSERT_EQ(run_tool(capture, sandbox.path("off.json"), false), 0);
    std::string gnss = "exec \"$0\" --gnss \"$1\" > \"$2\"";
    ASSERT_EQ(process_run({"sh", "-c", gnss, tool(), capture, sandbox.path("on.json")}, kTestChildBoundMs), 0);
    auto off = decoded_lines(read_file(sandbox.path("off.json")));
    auto on = decoded_lines(read_file(sandbox.path("on.json")));
    ASSERT_EQ(on.size(), off.size());
    ASSERT_GE(on.size(), 3u);
    EXPECT_EQ(off[0]["result"], "-1");  // $GNRMC
    EXPECT_EQ(off[2]["result"], "-1");  // $GNGGA of the same second
    EXPECT_EQ(on[0]["result"], "2");
    EXPECT_EQ(on[2]["result"], "-2");
    EXPECT_EQ(on[2]["fix_quality"], "1");
    EXPECT_EQ(on[2]["satellites"], "12");
    EXPECT_EQ(on[2]["year"], "2026");
}

TEST(NmeaDecodeTool, MissingFileFails)
{
    TestSandbox sandbox;
    EXPECT_EQ(run_tool(sandbox.path("no-such-capture"), sandbox.path("out.json"), false), 1);
    EXPECT_EQ(process_run({tool(), "a", "b"}), 2);
}

}  // namespace
