// Fuzzing the receiver text path: line assembly and decoding of any bytes.
#include "src/gps/gps_fix.h"
#include "src/gps/nmea.h"
#include "src/gps/nmea_line_assembler.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// One decode with the invariants every caller relies on.
void decode_checked(std::string_view line, GpsFix& fix)
{
    const GpsFix before = fix;
    int result = parse_nmea_line(line, fix);
    check(result == NMEA_GGA || result == NMEA_RMC || result == NMEA_REJECTED || result == NMEA_SAME_SECOND ||
          result == NMEA_BAD_CHECKSUM);
    if (result == NMEA_REJECTED || result == NMEA_BAD_CHECKSUM)
        check(before == fix);
    check(std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::isfinite(fix.altitude));
    int ms = gps_fraction_ms(fix);
    check(ms >= 0 && ms <= 999);

    // The GNSS mode: off, exactly the decoder above; on, it takes whatever
    // that takes, with the same result.
    GpsFix off = before, on = before;
    NmeaReceiverMemory off_memory, on_memory;
    check(parse_nmea_line(line, off, off_memory, false) == result && off == fix);
    int gnss = parse_nmea_line(line, on, on_memory, true);
    if (result != NMEA_REJECTED)
        check(gnss == result);
    if (gnss == NMEA_REJECTED || gnss == NMEA_BAD_CHECKSUM)
        check(on == before);
    check(std::isfinite(on.latitude) && std::isfinite(on.longitude) && std::isfinite(on.altitude));
    if (result == NMEA_REJECTED)
        nmea_gnss_refusal(line, before, off_memory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The whole input as one line, from a heap copy of exactly its size so
    // that any read past the end is caught.
    char* exact = static_cast<char*>(std::malloc(size ? size : 1));
    if (size)
        std::memcpy(exact, data, size);
    GpsFix fix{};
    decode_checked(std::string_view(exact, size), fix);
    parse_nmea_line(exact, size, &fix);

    // A NUL-terminated copy for the C-string checksum entry.
    std::string terminated(exact, size);
    check(nmea_checksum_ok(terminated.c_str()) == nmea_checksum_ok(std::string_view(terminated.c_str())));
    std::free(exact);

    // The stream as the analysis thread sees it, into the shared record.
    NmeaLineAssembler assembler;
    assembler.feed(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::string_view line) {
        check(line.size() <= NmeaLineAssembler::max_line && !line.empty() && line[0] == '$');
        check(line.back() == '\r' || line.back() == '\n');
        decode_checked(line, fix);
        gps_fix_decode_line(line);
    });
    GpsFix shared = gps_fix_copy();
    check(std::isfinite(shared.altitude));
    return 0;
}
