// Decoding speed: a generated mix of GGA and RMC lines (plus lines the decoder
// rejects) is cut into lines and decoded into the shared, locked fix record,
// as the analysis thread does. Prints lines/s and bytes/s per second of CPU
// time, for the cutting alone and for cutting and decoding. A decoder mode of
// its own is measured by one more measure() call, its keys prefixed.
#include "platform/clock.h"
#include "src/gps/gps_fix.h"
#include "src/gps/nmea.h"
#include "src/gps/nmea_line_assembler.h"

#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string sentence(const char* body)
{
    unsigned sum = 0;
    for (const char* p = body; *p; ++p)
        sum ^= static_cast<unsigned char>(*p);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return std::string("$") + body + tail;
}

// One receiver second: GGA, RMC, and the sentences that are turned away.
std::string one_second(int n)
{
    char gga[128], rmc[128];
    int h = n / 3600 % 24, m = n / 60 % 60, s = n % 60;
    std::snprintf(gga, sizeof gga, "GPGGA,%02d%02d%02d.000,4807.%03d,N,01131.%03d,E,1,%02d,0.9,545.%d,M,46.9,M,,", h, m, s,
                  n % 1000, (n * 7) % 1000, 4 + n % 8, n % 10);
    std::snprintf(rmc, sizeof rmc, "GPRMC,%02d%02d%02d.000,A,4807.%03d,N,01131.%03d,E,022.4,084.4,%02d1218,003.1,W", h, m, s,
                  n % 1000, (n * 7) % 1000, 1 + n % 28);
    std::string text = sentence(gga) + sentence(rmc);
    if (n % 2 == 0)
        text += sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00");
    if (n % 5 == 0)
        text += "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n";  // bad checksum
    return text;
}

struct Speed {
    double lines_per_s = 0, bytes_per_s = 0;
};

// Cuts the stream into lines passes times and hands each line to take,
// which returns the decoder's result. Prints one line of figures; the speed
// is per second of CPU time, which says what one core does even on a shared
// machine.
template <class Take>
Speed measure(const char* what, const std::string& stream, long passes, Take&& take)
{
    NmeaLineAssembler assembler;
    uint64_t lines = 0;
    long checksum = 0;
    std::clock_t cpu_start = std::clock();
    int64_t start = platform_monotonic_ns();
    for (long pass = 0; pass < passes; ++pass)
        assembler.feed(stream, [&](std::string_view line) {
            checksum += take(line);
            ++lines;
        });
    double seconds = double(platform_monotonic_ns() - start) / 1e9;
    double cpu_seconds = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    if (cpu_seconds <= 0)
        cpu_seconds = seconds;
    double bytes = double(stream.size()) * double(passes);
    std::printf("%s: %llu lines (%.0f bytes) in %.3f s (cpu %.3f s); result sum %ld; %.0f lines/s, %.0f bytes/s\n", what,
                static_cast<unsigned long long>(lines), bytes, seconds, cpu_seconds, checksum,
                double(lines) / cpu_seconds, bytes / cpu_seconds);
    return {double(lines) / cpu_seconds, bytes / cpu_seconds};
}

}  // namespace

int main(int argc, char** argv)
{
    long passes = argc > 1 ? std::atol(argv[1]) : 20;
    std::string stream;
    for (int n = 0; n < 20000; ++n)
        stream += one_second(n);

    // Cutting alone, then cutting and decoding into the shared record as the
    // analysis thread does.
    Speed cut = measure("cut", stream, passes, [](std::string_view line) { return int(line.size() & 1); });
    Speed decoded = measure("decoded", stream, passes, [](std::string_view line) { return gps_fix_decode_line(line); });
    GpsFix last = gps_fix_copy();
    std::printf("last fix %02u:%02u:%02u\n", unsigned{last.hour}, unsigned{last.minute}, unsigned{last.second});
    std::printf("lines_per_s=%.0f bytes_per_s=%.0f cut_lines_per_s=%.0f\n", decoded.lines_per_s, decoded.bytes_per_s,
                cut.lines_per_s);
    return 0;
}
