// The shared GPS fix record and its lock.
#include "src/gps/gps_fix.h"

#include "platform/clock.h"
#include "src/gps/gnss_hint.h"
#include "src/gps/nmea.h"

#include <mutex>

namespace {

std::mutex gps_fix_lock;  // held by the decoder for one sentence, by readers for one copy
GpsFix gps_fix_record{};
NmeaReceiverMemory receiver_memory{};

// now_ns < 0: read the monotonic clock, only when a refusal needs a time.
// The hint is fed after the record's lock is let go: no lock is held while
// another is taken.
int decode_into_record(std::string_view line, int64_t now_ns)
{
    int result = NMEA_REJECTED;
    GnssRefusal why = GnssRefusal::none;
    bool gnss = false;
    {
        std::lock_guard<std::mutex> hold(gps_fix_lock);
        gnss = accept_gnss_talkers.load(std::memory_order_relaxed) != 0;
        result = parse_nmea_line(line, gps_fix_record, receiver_memory, gnss);
        if (result == NMEA_REJECTED && !gnss)
            why = nmea_gnss_refusal(line, gps_fix_record, receiver_memory);
    }
    // Without the mode only a GGA carries the fix: an RMC taken while the
    // GGAs are refused (a one-digit satellite count) leaves the user with no fix.
    bool taken = result == NMEA_GGA || result == NMEA_RMC || result == NMEA_SAME_SECOND;
    if (taken && (gnss || nmea_sentence_is(line, "GGA")))
        gnss_hint_accepted();
    else if (why != GnssRefusal::none)
        gnss_hint_refused(why, line, now_ns < 0 ? platform_monotonic_ns() : now_ns);
    return result;
}

}  // namespace

std::atomic<int> accept_gnss_talkers{0};

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
    {
        std::lock_guard<std::mutex> hold(gps_fix_lock);
        gps_fix_record = GpsFix{};
        receiver_memory = NmeaReceiverMemory{};
    }
    gnss_hint_clear();
}

int gps_fix_decode_line(std::string_view line) { return decode_into_record(line, -1); }

int gps_fix_decode_line(std::string_view line, int64_t now_ns) { return decode_into_record(line, now_ns); }
