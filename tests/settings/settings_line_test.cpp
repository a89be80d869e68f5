// The settings line format: parsing, searching, encoding and the bytes a write produces.
#include "src/settings/settings.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace std::string_literals;

struct ParseCase {
    std::string line;
    bool is_setting;
    std::string key;
    std::string value;
};

TEST(SettingsParseLine, Table)
{
    const ParseCase cases[] = {
        {"com_port=\"5\"", true, "com_port", "5"},
        {"com_port=\"5\"\r", true, "com_port", "5"},
        {" \t\rcom_port=\"5\"", true, "com_port", "5"},
        {"com_port =\"5\"", true, "com_port ", "5"},
        {"a=b=\"c\"", true, "a", "c"},
        {"k=\"\"", true, "k", ""},
        {"=\"v\"", true, "", "v"},
        {"k=\"v\" trailing \"junk\"", true, "k", "v"},
        {"k=\"a\\\"b\"", true, "k", "a\\\"b"},       // a backslash keeps the quote in the value
        {"k=\\\"x\"y\"", true, "k", "y"},            // an escaped quote does not open the value
        {"k\0=\"v\0w\""s, true, "k\0"s, "v\0w"s},
        {"# com_port=\"5\"", false, "", ""},
        {"  \t#com_port=\"5\"", false, "", ""},
        {"com_port=\"5", false, "", ""},
        {"com_port=5", false, "", ""},
        {"com_port \"5\"", false, "", ""},
        {"k=\"a\\\"", false, "", ""},                 // the closing quote is escaped
        {"", false, "", ""},
        {" \t\r", false, "", ""},
        {"\"\"", false, "", ""},
    };
    for (const ParseCase& c : cases) {
        std::string_view key = "untouched", value = "untouched";
        EXPECT_EQ(settings_parse_line(c.line, &key, &value), c.is_setting) << c.line;
        if (c.is_setting) {
            EXPECT_EQ(key, c.key) << c.line;
            EXPECT_EQ(value, c.value) << c.line;
        }
    }
}

struct FindCase {
    const char* name;
    std::string bytes;
    std::string key;
    long index;
    size_t offset;
    size_t length;
};

TEST(SettingsFindLine, Table)
{
    const std::string shipped = "# GPS configuration\r\ncom_port=\"1\"\r\nbaudrate=\"4800\"\r\n";
    const FindCase cases[] = {
        {"middle line", shipped, "com_port", 1, 21, 14},
        {"last line", shipped, "baudrate", 2, 35, 17},
        {"absent", shipped, "use_pps", -1, 0, 0},
        {"case-sensitive", shipped, "COM_PORT", -1, 0, 0},
        {"first of two wins", "k=\"1\"\nk=\"2\"\n", "k", 0, 0, 6},
        {"unterminated last line unseen", "a=\"1\"\nk=\"2\"", "k", -1, 0, 0},
        {"comment skipped", "#k=\"1\"\nk=\"2\"\n", "k", 1, 7, 6},
        {"malformed skipped", "k=\"1\nk=\"2\"\n", "k", 1, 5, 6},
        {"blanks before equals", "k =\"1\"\nk=\"2\"\n", "k", 1, 7, 6},
        {"empty buffer", "", "k", -1, 0, 0},
        {"NUL bytes", "\0\0\n\xff\xfek=\"1\"\nk=\"2\"\n"s, "k", 2, 11, 6},
    };
    for (const FindCase& c : cases) {
        SettingsLineSpan span{-7, 7, 7};
        EXPECT_EQ(settings_find_line(c.bytes, c.key, &span), c.index) << c.name;
        if (c.index >= 0) {
            EXPECT_EQ(span.index, c.index) << c.name;
            EXPECT_EQ(span.offset, c.offset) << c.name;
            EXPECT_EQ(span.length, c.length) << c.name;
        }
    }
}

TEST(SettingsValue, EncodesLineBreaksAndQuotes)
{
    EXPECT_EQ(settings_encode_value("a\r\nb\"c\\d"), "a\x04\x05" "b\x06" "c\\d");
    EXPECT_EQ(settings_decode_value("a\x04\x05" "b\x06" "c\\d"), "a\r\nb\"c\\d");
    EXPECT_EQ(settings_format_line("show_nmea_info", "TRUE"), "show_nmea_info=\"TRUE\"\r\n");
    EXPECT_EQ(settings_format_line("k", "say \"hi\"\r\n"), "k=\"say \x06hi\x06\x04\x05\"\r\n");
}

// A line the reader would not find again is refused, or every write would append
// another copy and every read would yield the default.
TEST(SettingsValue, RefusesPairsThatCannotBeReadBack)
{
    const std::pair<const char*, const char*> refused[] = {
        {"", "v"}, {"a=b", "v"}, {"a\"b", "v"}, {"a\nb", "v"}, {"a\rb", "v"},
        {" k", "v"}, {"\tk", "v"}, {"#k", "v"}, {"k", "ends with \\"},
        {"k", "\x04"}, {"k", "a\x05"}, {"k", "\x06z"},
    };
    for (const auto& [key, value] : refused)
        EXPECT_EQ(settings_format_line(key, value), "") << key << " / " << value;
    EXPECT_NE(settings_format_line("k#", "a\\b"), "");
}

TEST(SettingsApplyLine, ReplacesInPlaceOrAppends)
{
    const std::string line = "k=\"new\"\r\n";
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"replaced, neighbours kept", "# c\r\nk=\"old\"\r\nz=\"1\"", "# c\r\nk=\"new\"\r\nz=\"1\""},
        {"first of two replaced", "k=\"1\"\nk=\"2\"\n", "k=\"new\"\r\nk=\"2\"\n"},
        {"appended after a line end", "a=\"1\"\r\n", "a=\"1\"\r\nk=\"new\"\r\n"},
        {"line end added first", "a=\"1\"", "a=\"1\"\r\nk=\"new\"\r\n"},
        // Ending it and appending would leave the old line first, read instead of the new.
        {"unterminated copy replaced", "a=\"1\"\nk=\"old\"", "a=\"1\"\nk=\"new\"\r\n"},
        {"unterminated other key kept", "a=\"1\"\nkk=\"old\"", "a=\"1\"\nkk=\"old\"\r\nk=\"new\"\r\n"},
        {"empty file", "", "k=\"new\"\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settings_apply_line(c.before, "k", line), c.after) << c.name;
}

}  // namespace
