// The settings line format and the value texts: pure functions on bytes.
#include "src/settings/settings_line.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <glib.h>

namespace {

bool is_lead_blank(char c) { return c == '\t' || c == '\r' || c == ' '; }

// First double quote at or after from that has no backslash right before it.
size_t unescaped_quote(std::string_view line, size_t from)
{
    for (size_t i = from; i < line.size(); ++i)
        if (line[i] == '"' && (i == 0 || line[i - 1] != '\\'))
            return i;
    return std::string_view::npos;
}

bool is_blank_line(std::string_view line)
{
    for (char c : line)
        if (!is_lead_blank(c))
            return false;
    return true;
}

bool is_comment(std::string_view line)
{
    size_t first = 0;
    while (first < line.size() && is_lead_blank(line[first]))
        ++first;
    return first < line.size() && line[first] == '#';
}

}  // namespace

bool settings_parse_line(std::string_view line, std::string_view* key, std::string_view* value)
{
    size_t start = 0;
    while (start < line.size() && is_lead_blank(line[start]))
        ++start;
    if (start == line.size() || line[start] == '#')
        return false;
    size_t equals = line.find('=', start);
    if (equals == std::string_view::npos)
        return false;
    size_t open = unescaped_quote(line, start);
    if (open == std::string_view::npos)
        return false;
    size_t close = unescaped_quote(line, open + 1);
    if (close == std::string_view::npos)
        return false;
    if (key)
        *key = line.substr(start, equals - start);
    if (value)
        *value = line.substr(open + 1, close - open - 1);
    return true;
}

long settings_find_line(std::string_view bytes, std::string_view key, SettingsLineSpan* found)
{
    size_t offset = 0;
    for (long index = 0;; ++index) {
        size_t end = bytes.find('\n', offset);
        if (end == std::string_view::npos)
            return -1;
        std::string_view line_key;
        if (settings_parse_line(bytes.substr(offset, end - offset), &line_key, nullptr) && line_key == key) {
            if (found)
                *found = SettingsLineSpan{index, offset, end + 1 - offset};
            return index;
        }
        offset = end + 1;
    }
}

std::string settings_encode_value(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        if (c == '\r')
            c = 4;
        else if (c == '\n')
            c = 5;
        else if (c == '"')
            c = 6;
    }
    return out;
}

std::string settings_decode_value(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        if (c == 4)
            c = '\r';
        else if (c == 5)
            c = '\n';
        else if (c == 6)
            c = '"';
    }
    return out;
}

std::string settings_format_line(std::string_view key, std::string_view value)
{
    if (key.empty() || is_lead_blank(key.front()) || key.front() == '#' ||
        key.find_first_of("=\"\r\n") != std::string_view::npos)
        return {};
    // The bytes 4, 5 and 6 stand for CR, LF and '"' in the file: kept as themselves
    // they would come back as other characters.
    if (value.find_first_of("\x04\x05\x06") != std::string_view::npos)
        return {};
    std::string encoded = settings_encode_value(value);
    if (!encoded.empty() && encoded.back() == '\\')
        return {};
    std::string line;
    line.reserve(key.size() + encoded.size() + 5);
    line.append(key).append("=\"").append(encoded).append("\"\r\n");
    return line;
}

std::string settings_apply_line(std::string_view bytes, std::string_view key, std::string_view line)
{
    SettingsLineSpan span{};
    std::string out;
    if (settings_find_line(bytes, key, &span) >= 0) {
        out.reserve(bytes.size() - span.length + line.size());
        out.append(bytes.substr(0, span.offset)).append(line).append(bytes.substr(span.offset + span.length));
        return out;
    }
    // A last line without its line end is never found; if it holds this key, ending it
    // with CR LF would make it the first match and hide the line appended after it.
    size_t tail = bytes.rfind('\n') + 1;  // 0 when there is no LF at all
    std::string_view tail_key;
    if (tail < bytes.size() && settings_parse_line(bytes.substr(tail), &tail_key, nullptr) && tail_key == key)
        bytes = bytes.substr(0, tail);
    out.reserve(bytes.size() + 2 + line.size());
    out.append(bytes);
    if (!out.empty() && out.back() != '\n')
        out.append("\r\n");
    out.append(line);
    return out;
}

std::vector<SettingsBadLine> settings_unreadable_lines(std::string_view bytes)
{
    std::vector<SettingsBadLine> bad;
    size_t offset = 0;
    for (long index = 0; offset < bytes.size(); ++index) {
        size_t end = bytes.find('\n', offset);
        std::string_view line = bytes.substr(offset, end == std::string_view::npos ? end : end - offset);
        if (!is_blank_line(line) && !is_comment(line) && !settings_parse_line(line, nullptr, nullptr)) {
            while (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            bad.push_back({index, std::string(line)});
        }
        if (end == std::string_view::npos)
            break;
        offset = end + 1;
    }
    return bad;
}

// "%d"-style text to int: leading blanks, sign, digits; 0 when none; clamped to int.
int settings_text_to_int(const std::string& text)
{
    long number = std::strtol(text.c_str(), nullptr, 10);
    if (number > INT_MAX)
        return INT_MAX;
    if (number < INT_MIN)
        return INT_MIN;
    return int(number);
}

// The file always holds a point; the number is read in the current locale, whose
// separator may be a comma.
double settings_text_to_double(std::string text)
{
    size_t point = text.find('.');
    const char* separator = std::localeconv()->decimal_point;
    if (point != std::string::npos && separator && *separator)
        text.replace(point, 1, separator);
    return std::strtod(text.c_str(), nullptr);
}

std::string settings_double_to_text(double number)
{
    char text[512];  // "%f" of the largest double needs 316 characters
    g_ascii_formatd(text, sizeof text, "%f", number);
    return text;
}

