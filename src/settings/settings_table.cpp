// The table's defaults, the value in force for a text from the file, and the
// loads that go through the table.
#include "src/settings/settings_table.h"

#include "src/settings/settings_file.h"
#include "src/settings/settings_line.h"
#include "src/settings/settings_store.h"

#include <cctype>

AppSettings app_settings;

namespace {

bool is_decimal(std::string_view text, bool fraction_allowed)
{
    size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    size_t digits = 0, points = 0;
    for (; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])))
            ++digits;
        else if (text[i] == '.' && fraction_allowed && digits > 0 && points == 0)
            ++points;
        else
            return false;
    }
    return digits > 0 && text.back() != '.';
}

bool in_range(const SettingRow& row, double number) { return number >= row.low && number <= row.high; }

std::string in_force_number(const SettingRow& row, const std::string& text, bool* well_formed)
{
    bool integer = row.type == SettingType::integer;
    double number = integer ? settings_text_to_int(text) : settings_text_to_double(text);
    bool usable = in_range(row, number);
    *well_formed = usable && is_decimal(text, !integer);
    if (!usable)
        return setting_default_text(row);
    return integer ? std::to_string(int(number)) : settings_double_to_text(number);
}

// The key's line in the file (from 1) and its raw text, or 0.
long line_of(std::string_view bytes, const char* key, std::string* text)
{
    SettingsLineSpan span{};
    if (settings_find_line(bytes, key, &span) < 0)
        return 0;
    std::string_view line = bytes.substr(span.offset, span.length - 1);
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    *text = line;
    return span.index + 1;
}

// The value in force as text: what the file holds for the key, the default
// when it is missing.
int load_text(const char* key, std::string& in_force)
{
    const SettingRow* row = settings_row(key);
    if (!row)
        return -1;
    std::string text;
    int status = 1;
    if (!settings_unwritten_value(key, text))
        status = settings_read_string(key, setting_default_text(*row).c_str(), text);
    bool well_formed = true;
    if (status != -1)
        in_force = setting_in_force_text(*row, text, &well_formed);
    return status;
}

void from_text(const std::string& text, bool& value) { value = text == "TRUE"; }
void from_text(const std::string& text, int& value) { value = settings_text_to_int(text); }
void from_text(const std::string& text, double& value) { value = settings_text_to_double(text); }
void from_text(const std::string& text, std::string& value) { value = text; }

template <typename T>
int load(const char* key, T& value)
{
    std::string text;
    int status = load_text(key, text);
    if (status != -1)
        from_text(text, value);
    return status;
}

}  // namespace

std::string setting_default_text(const SettingRow& row)
{
    switch (row.type) {
    case SettingType::boolean:
        return row.value != 0 ? "TRUE" : "FALSE";
    case SettingType::integer:
        return std::to_string(int(row.value));
    case SettingType::real:
        return settings_double_to_text(row.value);
    case SettingType::text:
        break;
    }
    return row.text;
}

std::string setting_in_force_text(const SettingRow& row, const std::string& text, bool* well_formed)
{
    switch (row.type) {
    case SettingType::boolean:
        *well_formed = text == "TRUE" || text == "FALSE";
        return text == "TRUE" ? "TRUE" : "FALSE";
    case SettingType::integer:
    case SettingType::real:
        return in_force_number(row, text, well_formed);
    case SettingType::text:
        break;
    }
    *well_formed = true;
    return text;
}

int settings_load(const char* key, bool& value) { return load(key, value); }
int settings_load(const char* key, int& value) { return load(key, value); }
int settings_load(const char* key, double& value) { return load(key, value); }
int settings_load(const char* key, std::string& value) { return load(key, value); }

std::string settings_notice_line(std::string_view line)
{
    if (line.size() <= settings_notice_line_max)
        return std::string(line);
    size_t cut = settings_notice_line_max;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)  // inside a UTF-8 character
        --cut;
    return std::string(line.substr(0, cut)) + "...";
}

std::vector<SettingsProblem> settings_problems_in(std::string_view bytes)
{
    std::vector<SettingsProblem> problems;
    for (const SettingsBadLine& bad : settings_unreadable_lines(bytes))
        problems.push_back(
            {SettingsProblem::Kind::unreadable_line, bad.index + 1, settings_notice_line(bad.text), "", "", 0});
    for (const SettingRow& row : settings_rows::table) {
        std::string line;
        long number = line_of(bytes, row.key, &line);
        if (number == 0)
            continue;
        std::string_view raw;
        settings_parse_line(line, nullptr, &raw);
        bool well_formed = true;
        std::string in_force = setting_in_force_text(row, settings_decode_value(raw), &well_formed);
        if (!well_formed)
            problems.push_back(
                {SettingsProblem::Kind::bad_value, number, settings_notice_line(line), row.key, in_force, 0});
    }
    return problems;
}
