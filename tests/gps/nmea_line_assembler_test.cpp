// Cutting the receiver's byte stream into lines.
#include "src/gps/nmea_line_assembler.h"
#include "tests/gps/nmea_sentences.h"

#include <cstring>
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& stream)
{
    NmeaLineAssembler assembler;
    std::vector<std::string> lines;
    assembler.feed(stream, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

using Lines = std::vector<std::string>;

TEST(NmeaLineAssembler, DropsBytesBeforeDollarAndTheLineFeedAfterCarriageReturn)
{
    EXPECT_EQ(lines_of("\x01\xff" + gga_reference + "\n" + gga_reference + "\n"), (Lines{gga_reference, gga_reference}));
}

TEST(NmeaLineAssembler, BareLineFeedEndsALine)
{
    EXPECT_EQ(lines_of("$A,1\n$B,2\r\n$C"), (Lines{"$A,1\n", "$B,2\r"}));
}

TEST(NmeaLineAssembler, LineEndWithoutStartIsDropped)
{
    EXPECT_EQ(lines_of("\r\n\r\nxyz\r"), Lines{});
}

TEST(NmeaLineAssembler, DollarInsideALineIsKept)
{
    EXPECT_EQ(lines_of("$GPGGA,12$GPRMC,1\r"), Lines{"$GPGGA,12$GPRMC,1\r"});
}

TEST(NmeaLineAssembler, NulBytesPassThrough)
{
    std::string line("$A\0B\r", 5);
    EXPECT_EQ(lines_of(std::string("\0\0", 2) + line), Lines{line});
}

TEST(NmeaLineAssembler, LongestLineIs511BytesWithItsCarriageReturn)
{
    std::string longest = "$" + std::string(509, 'x') + "\r";
    std::string too_long = "$" + std::string(510, 'x') + "\r";
    EXPECT_EQ(lines_of(longest), Lines{longest});
    EXPECT_EQ(lines_of(too_long + "$OK\r"), Lines{"$OK\r"});
}

TEST(NmeaLineAssembler, RunawayLineIsDiscardedAndNextDollarStartsFresh)
{
    std::string runaway = "$" + std::string(599, 'y');  // no line end, no "$"
    EXPECT_EQ(lines_of(runaway + "tail\r" + gga_reference), Lines{gga_reference});
}

TEST(NmeaLineAssembler, SameLinesWhateverTheBlockBoundaries)
{
    std::string stream = "ab" + gga_reference + std::string("\n\0junk$GPRMC,1\r$", 16) + std::string(700, 'z') + "\r$END\n";
    Lines whole = lines_of(stream);
    ASSERT_EQ(whole.size(), 3u);
    for (size_t cut = 0; cut <= stream.size(); cut += 7) {
        NmeaLineAssembler assembler;
        Lines parts;
        auto keep = [&](std::string_view line) { parts.emplace_back(line); };
        assembler.feed(std::string_view(stream).substr(0, cut), keep);
        assembler.feed(std::string_view(stream).substr(cut), keep);
        EXPECT_EQ(parts, whole) << "cut at " << cut;
    }
}

TEST(NmeaLineAssembler, ByteAtATimeGivesTerminatedLine)
{
    NmeaLineAssembler assembler;
    std::string stream = "x$A,1\r$B";
    int completed = 0;
    for (char byte : stream) {
        if (assembler.push(byte)) {
            ++completed;
            EXPECT_EQ(assembler.line(), "$A,1\r");
            EXPECT_STREQ(assembler.c_str(), "$A,1\r");
        }
    }
    EXPECT_EQ(completed, 1);
    EXPECT_TRUE(assembler.push('\n'));
    EXPECT_EQ(assembler.line(), "$B\n");  // the pending line completed at the line feed
}

// The block cutter against the byte-at-a-time one: random streams rich in
// line starts, ends and runaway lines, cut into random blocks.
TEST(NmeaLineAssembler, BlocksCutAsBytesDo)
{
    std::mt19937 random(7);
    const char alphabet[] = {'$', '\r', '\n', 'x', 'y', '\0'};
    for (int round = 0; round < 200; ++round) {
        std::string stream;
        size_t size = random() % 3000;
        while (stream.size() < size) {
            char byte = alphabet[random() % sizeof alphabet];
            stream.append(byte == 'x' ? size_t(random() % 600) : size_t(1), byte);
        }
        NmeaLineAssembler bytewise;
        Lines expected;
        std::vector<size_t> expected_ends;
        for (size_t i = 0; i < stream.size(); ++i)
            if (bytewise.push(stream[i])) {
                expected.emplace_back(bytewise.line());
                expected_ends.push_back(i + 1);
            }
        NmeaLineAssembler blockwise;
        Lines got;
        std::vector<size_t> got_ends;
        for (size_t at = 0; at < stream.size();) {
            size_t block = std::min(stream.size() - at, size_t(random() % 700));
            blockwise.feed(std::string_view(stream).substr(at, block), [&](std::string_view line, size_t end) {
                got.emplace_back(line);
                got_ends.push_back(at + end);
            });
            at += block;
        }
        ASSERT_EQ(got, expected) << "round " << round;
        ASSERT_EQ(got_ends, expected_ends) << "round " << round;
    }
}

}  // namespace
