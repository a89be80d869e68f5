// The settings file's line format: key="value" lines, comments, the encoding
// of values and the number texts, without any file access (the fuzzer drives
// it too).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One line without its LF. True when it is a setting line: a key (up to the first '=',
// leading tab/CR/space skipped, not a '#' comment) and a value (between the first two
// double quotes not directly preceded by a backslash; not unescaped).
bool settings_parse_line(std::string_view line, std::string_view* key, std::string_view* value);

// Where a setting line lies in the file's bytes: line index from 0, byte offset, length
// with its LF.
struct SettingsLineSpan {
    long index;
    size_t offset;
    size_t length;
};

// The first LF-terminated setting line of exactly this key (a last line without LF is
// never examined). Returns its index, or -1.
long settings_find_line(std::string_view bytes, std::string_view key, SettingsLineSpan* found);

// Lines that are neither blank, nor a comment, nor a setting line (a last line
// without LF counts too): what a reader of the file cannot use. Index from 0.
struct SettingsBadLine {
    long index;
    std::string text;  // without its line end
};
std::vector<SettingsBadLine> settings_unreadable_lines(std::string_view bytes);

// CR, LF and '"' to the bytes 4, 5, 6, and back.
std::string settings_encode_value(std::string_view value);
std::string settings_decode_value(std::string_view value);

// The line written for a key: key="encoded value" CR LF. Empty when the pair could not
// be read back (the key holds '=', '"', CR or LF, starts with a blank or '#'; the value
// holds one of the bytes 4, 5, 6, or ends with a backslash, which would hide the
// closing quote).
std::string settings_format_line(std::string_view key, std::string_view value);

// The file's new bytes after writing line for key: the key's first line replaced, or the
// line appended (after a CR LF when the last line has no line end; a last line of the
// same key without a line end is replaced).
std::string settings_apply_line(std::string_view bytes, std::string_view key, std::string_view line);

// Values as text. An integer: leading blanks, sign and decimal digits (0 when
// none), clamped to int. A double: written with a point and six decimals, read
// with a point or the current locale's separator.
int settings_text_to_int(const std::string& text);
double settings_text_to_double(std::string text);
std::string settings_double_to_text(double number);
