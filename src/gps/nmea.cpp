// NMEA 0183 decoding of the two sentences the clock needs: GGA (time, fix,
// satellites, position, altitude) and RMC (time and date). Pure functions on a
// caller's record: no allocation, no I/O, no locale.
#include "src/gps/nmea.h"

#include "src/gps/lenient_number.h"

#include <cstdint>

namespace {

// Fields 0..11 are the ones read; the count still covers every field.
constexpr size_t max_kept_fields = 12;

struct Fields {
    std::string_view field[max_kept_fields];
    size_t count = 0;

    // A field beyond the last one reads as missing (empty).
    std::string_view operator[](size_t i) const { return i < count && i < max_kept_fields ? field[i] : std::string_view{}; }
    bool present(size_t i) const { return i < count; }
};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_nocase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

int hex_value(char c)
{
    c = lower(c);
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

uint8_t clamp_u8(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

// The sentence without its checksum and line end: fields stop at the first
// "*", or at the trailing carriage return / line feed when there is none.
std::string_view sentence_body(std::string_view line)
{
    size_t star = line.find('*');
    if (star != std::string_view::npos)
        return line.substr(0, star);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

Fields split_fields(std::string_view body)
{
    Fields fields;
    size_t start = 0;
    for (;;) {
        size_t comma = body.find(',', start);
        if (fields.count < max_kept_fields)
            fields.field[fields.count] = body.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        ++fields.count;
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

// The digits after the time field's point. Up to four digits are kept: more
// would not fit the 16-bit field and carry no meaning for a clock in ms.
void set_fraction(std::string_view text, GpsFix& fix)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    int value = 0;
    int digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4; ++i, ++digits)
        value = value * 10 + (text[i] - '0');
    if (negative) {  // a signed fraction is garbage; keep it harmless
        value = 0;
        digits = 0;
    }
    fix.fraction = static_cast<uint16_t>(value);
    fix.fraction_digits = static_cast<uint8_t>(digits);
}

// hhmmss[.sss]; the caller has checked that there are at least 6 characters.
void set_time(std::string_view time, GpsFix& fix)
{
    fix.hour = clamp_u8(lenient_int(time.substr(0, 2)));
    fix.minute = clamp_u8(lenient_int(time.substr(2, 2)));
    fix.second = clamp_u8(lenient_int(time.substr(4, 2)));
    set_fraction(time.size() > 7 ? time.substr(7) : std::string_view{}, fix);
}

int32_t time_of_day_ms(const GpsFix& fix)
{
    return ((fix.hour * 60 + fix.minute) * 60 + fix.second) * 1000 + gps_fraction_ms(fix);
}

// Within span of each other on the 24-hour dial (a GGA may also be a little
// ahead of the RMC, or on the other side of midnight).
bool near_on_dial(int32_t a_ms, int32_t b_ms, int32_t span_ms)
{
    constexpr int32_t day_ms = 86400000;
    int32_t d = (a_ms - b_ms) % day_ms;
    if (d < 0)
        d += day_ms;
    return d <= span_ms || day_ms - d <= span_ms;
}

// ddmm.mmmm or dddmm.mmmm into signed decimal degrees; the caller has checked
// that there are more than 7 characters. Any other shape gives 0.0.
double coordinate(std::string_view text, bool negative)
{
    double value = 0.0;
    if (text[4] == '.')
        value = lenient_double(text.substr(0, 2)) + lenient_double(text.substr(2)) / 60.0;
    else if (text[5] == '.')
        value = lenient_double(text.substr(0, 3)) + lenient_double(text.substr(3)) / 60.0;
    return negative ? -value : value;
}

bool starts_with_nocase(std::string_view text, char letter) { return !text.empty() && lower(text[0]) == letter; }

// The length tests of the two dialects.
struct Rules {
    bool gnss;
    size_t min_time() const { return gnss ? 6 : 9; }
    bool satellites_ok(std::string_view field) const { return field.size() == 2 || (gnss && field.size() == 1); }
};

enum class Kind { other, gga, rmc };

bool is_capital(char c) { return c >= 'A' && c <= 'Z'; }

// "$GPGGA" / "$GPRMC" in any case; in the GNSS mode also "$" + a talker of two
// capital letters + GGA or RMC. Talkers starting with "P" are the makers'
// proprietary sentences ($PGRMC is a configuration sentence, not an RMC).
Kind sentence_kind(std::string_view id, const Rules& rules)
{
    if (equal_nocase(id, "$GPGGA"))
        return Kind::gga;
    if (equal_nocase(id, "$GPRMC"))
        return Kind::rmc;
    if (!rules.gnss || id.size() != 6 || !is_capital(id[1]) || !is_capital(id[2]) || id[1] == 'P')
        return Kind::other;
    if (equal_nocase(id.substr(3), "GGA"))
        return Kind::gga;
    if (equal_nocase(id.substr(3), "RMC"))
        return Kind::rmc;
    return Kind::other;
}

// $GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59
int decode_gga(const Fields& f, GpsFix& fix, const Rules& rules)
{
    if (f[1].size() < rules.min_time() || f[6].size() != 1 || !rules.satellites_ok(f[7]))
        return NMEA_REJECTED;
    int quality = lenient_int(f[6]);
    fix.fix_quality = static_cast<int8_t>(quality == 0 ? -1 : quality);
    fix.satellites = clamp_u8(lenient_int(f[7]));
    set_time(f[1], fix);
    if (f.present(11) && !f[11].empty())  // no geoid separation: the altitude is not trusted
        fix.altitude = lenient_double(f[9]);
    if (f[2].size() > 7)
        fix.latitude = coordinate(f[2], starts_with_nocase(f[3], 's'));
    if (f[4].size() > 7)
        fix.longitude = coordinate(f[4], starts_with_nocase(f[5], 'w'));
    return NMEA_GGA;
}

// $GPRMC,123519.000,A,4807.038,N,01131.000,E,022.4,084.4,191218,003.1,W*6A
int decode_rmc(const Fields& f, GpsFix& fix, const NmeaReceiverMemory& memory, const Rules& rules)
{
    if (f[1].size() < rules.min_time() || f[9].size() != 6)
        return NMEA_REJECTED;
    fix.day = clamp_u8(lenient_int(f[9].substr(0, 2)));
    fix.month = clamp_u8(lenient_int(f[9].substr(2, 2)));
    fix.year = static_cast<uint16_t>(2000 + lenient_int(f[9].substr(4, 2)));
    set_time(f[1], fix);
    // A receiver that sends no GGA tells its fix only by the RMC status
    // ("A" valid, "V" warning); one that sends GGA keeps the GGA's quality.
    if (!rules.gnss || f[2].size() != 1)
        return NMEA_RMC;
    bool gga_recent = memory.gga_time_ms >= 0 && near_on_dial(time_of_day_ms(fix), memory.gga_time_ms, kRmcOnlyAfterMs);
    if (!gga_recent) {
        if (lower(f[2][0]) == 'a')
            fix.fix_quality = 1;
        else if (lower(f[2][0]) == 'v')
            fix.fix_quality = -1;
    }
    return NMEA_RMC;
}

int decode(std::string_view line, GpsFix& fix, NmeaReceiverMemory& memory, const Rules& rules)
{
    const uint8_t old_minute = fix.minute;
    const uint8_t old_second = fix.second;
    if (!nmea_checksum_ok(line))
        return NMEA_BAD_CHECKSUM;
    Fields f = split_fields(sentence_body(line));
    if (f.count < 9)
        return NMEA_REJECTED;
    int result = NMEA_REJECTED;
    switch (sentence_kind(f[0], rules)) {
    case Kind::gga:
        result = decode_gga(f, fix, rules);
        if (result > 0)
            memory.gga_time_ms = time_of_day_ms(fix);
        break;
    case Kind::rmc:
        result = decode_rmc(f, fix, memory, rules);
        break;
    case Kind::other:
        break;
    }
    if (result > 0 && fix.minute == old_minute && fix.second == old_second)
        return NMEA_SAME_SECOND;
    return result;
}

}  // namespace

int str_equal_nocase(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(lower(a[i]));
        unsigned char cb = static_cast<unsigned char>(lower(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            break;
    }
    return 0;
}

int nmea_checksum_ok(std::string_view line)
{
    if (line.empty() || line[0] != '$' || line.find('\0') != std::string_view::npos)
        return 0;
    size_t star = line.find('*');
    if (star == std::string_view::npos)
        return 1;  // sentences without a checksum are accepted
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i)
        sum ^= static_cast<unsigned char>(line[i]);
    if (line.size() - star < 3)
        return 0;
    int high = hex_value(line[star + 1]);
    int low = hex_value(line[star + 2]);
    return high >= 0 && low >= 0 && static_cast<unsigned>(high * 16 + low) == sum ? 1 : 0;
}

int nmea_checksum_ok(const char* line)
{
    return line ? nmea_checksum_ok(std::string_view(line)) : 0;
}

int parse_nmea_line(std::string_view line, GpsFix& fix)
{
    NmeaReceiverMemory memory;
    return decode(line, fix, memory, Rules{false});
}

int parse_nmea_line(std::string_view line, GpsFix& fix, NmeaReceiverMemory& memory, bool accept_gnss)
{
    return decode(line, fix, memory, Rules{accept_gnss});
}

bool nmea_sentence_is(std::string_view line, const char* type)
{
    return line.size() >= 6 && line[0] == '$' && equal_nocase(line.substr(3, 3), std::string_view(type));
}

GnssRefusal nmea_gnss_refusal(std::string_view line, const GpsFix& fix, const NmeaReceiverMemory& memory)
{
    if (!nmea_sentence_is(line, "GGA") && !nmea_sentence_is(line, "RMC"))
        return GnssRefusal::none;
    GpsFix scratch = fix;
    NmeaReceiverMemory scratch_memory = memory;
    int result = decode(line, scratch, scratch_memory, Rules{true});
    if (result != NMEA_GGA && result != NMEA_RMC && result != NMEA_SAME_SECOND)
        return GnssRefusal::none;
    if (!equal_nocase(line.substr(1, 2), "GP"))
        return GnssRefusal::talker;
    Fields f = split_fields(sentence_body(line));
    if (f[1].size() < Rules{false}.min_time())
        return GnssRefusal::time_format;
    if (nmea_sentence_is(line, "GGA") && !Rules{false}.satellites_ok(f[7]))
        return GnssRefusal::satellites;
    return GnssRefusal::none;
}

int parse_nmea_line(const char* line, size_t length, GpsFix* fix)
{
    if (!line)
        return NMEA_BAD_CHECKSUM;
    if (!fix)
        return NMEA_REJECTED;
    return parse_nmea_line(std::string_view(line, length), *fix);
}
