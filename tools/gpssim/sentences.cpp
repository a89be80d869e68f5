// Building GGA and RMC sentences.
#include "sentences.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

std::string format(const char* pattern, auto... values)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::tm utc_fields(int64_t utc_ns)
{
    time_t seconds = static_cast<time_t>(utc_ns >= 0 ? utc_ns / 1000000000 : (utc_ns - 999999999) / 1000000000);
    std::tm fields {};
    gmtime_r(&seconds, &fields);
    return fields;
}

std::string date_field(int64_t utc_ns)
{
    std::tm t = utc_fields(utc_ns);
    return format("%02d%02d%02d", t.tm_mday, t.tm_mon + 1, (t.tm_year + 1900) % 100);
}

}  // namespace

unsigned nmea_xor(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char byte : body)
        sum ^= byte;
    return sum;
}

std::string nmea_sentence(const std::string& body, ChecksumMode mode)
{
    std::string text = "$" + body;
    unsigned sum = nmea_xor(body);
    if (mode == ChecksumMode::wrong)
        sum = (sum + 1) & 0xFF;
    if (mode != ChecksumMode::off)
        text += format("*%02X", sum);
    return text + "\r\n";
}

std::string nmea_time_field(int64_t utc_ns, int fraction_digits)
{
    std::tm t = utc_fields(utc_ns);
    std::string field = format("%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
    if (fraction_digits <= 0)
        return field;
    int64_t sub_ns = ((utc_ns % 1000000000) + 1000000000) % 1000000000;
    static const int64_t scale[] = {1000000000, 100000000, 10000000, 1000000, 100000};
    int digits = fraction_digits > 4 ? 4 : fraction_digits;
    return field + format(".%0*lld", digits, static_cast<long long>(sub_ns / scale[digits]));
}

// Whole ten-thousandths of a minute, so the minutes never print as 60.0000.
std::string nmea_coordinate(double degrees, bool longitude)
{
    long long total = std::llround(std::fabs(degrees) * 60.0 * 10000.0);
    long long whole = total / 600000, rest = total % 600000;
    char hemisphere = longitude ? (degrees < 0 ? 'W' : 'E') : (degrees < 0 ? 'S' : 'N');
    return format(longitude ? "%03lld%02lld.%04lld,%c" : "%02lld%02lld.%04lld,%c", whole, rest / 10000,
                  rest % 10000, hemisphere);
}

std::string make_gga(const ReceiverFix& fix, int64_t utc_ns)
{
    std::string body = fix.talker + "GGA," + nmea_time_field(utc_ns, fix.fraction_digits) + ",";
    const char* satellites = fix.short_satellites ? "%d" : "%02d";
    if (fix.quality > 0)
        body += nmea_coordinate(fix.latitude, false) + "," + nmea_coordinate(fix.longitude, true) +
                format(",%d,", fix.quality) + format(satellites, fix.satellites) +
                format(",0.9,%.1f,M,46.9,M,,", fix.altitude);
    else
        body += ",,,,0," + format(satellites, fix.satellites) + ",99.9,,M,,M,,";
    return nmea_sentence(body, fix.checksum);
}

std::string make_rmc(const ReceiverFix& fix, int64_t utc_ns)
{
    std::string body = fix.talker + "RMC," + nmea_time_field(utc_ns, fix.fraction_digits);
    if (fix.quality > 0)
        body += ",A," + nmea_coordinate(fix.latitude, false) + "," + nmea_coordinate(fix.longitude, true) +
                ",0.0,0.0," + date_field(utc_ns) + ",,,A";
    else
        body += ",V,,,,,,," + date_field(utc_ns) + ",,,N";
    return nmea_sentence(body, fix.checksum);
}
