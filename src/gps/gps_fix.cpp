// The shared GPS fix record and its lock.
#include "src/gps/gps_fix.h"

#include "src/gps/nmea.h"

#include <mutex>

namespace {

std::mutex gps_fix_lock;  // held by the decoder for one sentence, by readers for one copy
GpsFix gps_fix_record{};

}  // namespace

int gps_fraction_ms(const GpsFix& fix)
{
    int value = fix.fraction;
    int digits = fix.fraction_digits;
    if (digits == 0)  // a record filled without a digit count: fraction is milliseconds
        return value > 999 ? 999 : value;
    for (; digits < 3; ++digits)
        value *= 10;
    for (; digits > 3; --digits)
        value /= 10;
    return value > 999 ? 999 : value;
}

GpsFix gps_fix_copy()
{
    std::lock_guard<std::mutex> hold(gps_fix_lock);
    return gps_fix_record;
}

void gps_fix_clear()
{
    std::lock_guard<std::mutex> hold(gps_fix_lock);
    gps_fix_record = GpsFix{};
}

int gps_fix_decode_line(std::string_view line)
{
    std::lock_guard<std::mutex> hold(gps_fix_lock);
    return parse_nmea_line(line, gps_fix_record);
}
