// Fuzzes the settings line parser, the key search and the bytes a write produces,
// all in memory. Input: the key up to the first LF, then the file's bytes.
#include "src/settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool inside(std::string_view part, std::string_view whole)
{
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

// Every line: a setting's key and value are pieces of the line, the value holds
// no quote that could have closed it.
void check_lines(std::string_view bytes)
{
    size_t offset = 0;
    for (size_t end; (end = bytes.find('\n', offset)) != std::string_view::npos; offset = end + 1) {
        std::string_view line = bytes.substr(offset, end - offset);
        std::string_view key, value;
        if (!settings_parse_line(line, &key, &value))
            continue;
        check(inside(key, line) && inside(value, line));
        check(key.find('=') == std::string_view::npos);
        for (size_t i = 0; i < value.size(); ++i)
            check(value[i] != '"' || (i > 0 && value[i - 1] == '\\'));
    }
}

// The found line is a whole LF-terminated setting line of the key.
long check_find(std::string_view bytes, std::string_view key, SettingsLineSpan& span)
{
    long index = settings_find_line(bytes, key, &span);
    if (index < 0)
        return index;
    check(span.index == index && span.length > 0 && span.offset + span.length <= bytes.size());
    check(bytes[span.offset + span.length - 1] == '\n');
    check(span.offset == 0 || bytes[span.offset - 1] == '\n');
    std::string_view found_key;
    check(settings_parse_line(bytes.substr(span.offset, span.length - 1), &found_key, nullptr));
    check(found_key == key);
    return index;
}

// Writing a value replaces the key's first line (or appends one), keeps every other
// byte, and reads back as the same value.
void check_write(std::string_view bytes, std::string_view key, std::string_view value)
{
    std::string line = settings_format_line(key, value);
    if (line.empty())
        return;
    SettingsLineSpan before{};
    long had = check_find(bytes, key, before);
    std::string after = settings_apply_line(bytes, key, line);

    SettingsLineSpan span{};
    check(check_find(after, key, span) >= 0);
    check(std::string_view(after).substr(span.offset, span.length) == line);
    std::string_view raw;
    check(settings_parse_line(std::string_view(line).substr(0, line.size() - 1), nullptr, &raw));
    check(settings_decode_value(raw) == value);
    if (had >= 0) {
        check(span.offset == before.offset && span.index == before.index);
        check(after.compare(0, before.offset, bytes.substr(0, before.offset)) == 0);
        check(std::string_view(after).substr(before.offset + line.size()) == bytes.substr(before.offset + before.length));
        return;
    }
    // Appended: after the old bytes (ended by CR LF if need be), or in place of an
    // unterminated last line of the same key.
    check(span.offset + span.length == after.size());
    std::string_view head = std::string_view(after).substr(0, after.size() - line.size());
    size_t tail = bytes.rfind('\n') + 1;
    std::string_view tail_key;
    bool tail_is_key = tail < bytes.size() && settings_parse_line(bytes.substr(tail), &tail_key, nullptr) && tail_key == key;
    if (tail_is_key)
        check(head == bytes.substr(0, tail));
    else if (bytes.empty() || bytes.back() == '\n')
        check(head == bytes);
    else
        check(head.size() == bytes.size() + 2 && head.substr(0, bytes.size()) == bytes && head.substr(bytes.size()) == "\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\n');
    if (split == std::string_view::npos)
        return 0;
    std::string_view key = input.substr(0, split);
    std::string_view bytes = input.substr(split + 1);
    check_lines(bytes);
    SettingsLineSpan span{};
    check_find(bytes, key, span);
    check_write(bytes, key, bytes.substr(0, bytes.size() % 61));
    return 0;
}
