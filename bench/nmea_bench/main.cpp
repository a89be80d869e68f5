// Decoding speed: a generated mix of GGA and RMC lines (plus lines the decoder
// rejects) is cut into lines and decoded into the shared, locked fix record,
// as the analysis thread does. Prints lines/s and bytes/s, for a $GP receiver
// with the designed decoder and, with the gnss_ prefix, for a $GN receiver
// with whole-second times in the GNSS mode.
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

std::string sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body)
        sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// The receiver's talker and time field shape.
struct Receiver {
    const char* talker;   // "GP", "GN"
    const char* fraction; // ".000", "" for whole seconds
};

// One receiver second: GGA, RMC, and the sentences that are turned away.
std::string one_second(int n, const Receiver& r)
{
    char gga[128], rmc[128];
    int h = n / 3600 % 24, m = n / 60 % 60, s = n % 60;
    std::snprintf(gga, sizeof gga, "%sGGA,%02d%02d%02d%s,4807.%03d,N,01131.%03d,E,1,%02d,0.9,545.%d,M,46.9,M,,", r.talker,
                  h, m, s, r.fraction, n % 1000, (n * 7) % 1000, 4 + n % 8, n % 10);
    std::snprintf(rmc, sizeof rmc, "%sRMC,%02d%02d%02d%s,A,4807.%03d,N,01131.%03d,E,022.4,084.4,%02d1218,003.1,W",
                  r.talker, h, m, s, r.fraction, n % 1000, (n * 7) % 1000, 1 + n % 28);
    std::string text = sentence(gga) + sentence(rmc);
    if (n % 2 == 0)
        text += sentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00");
    if (n % 5 == 0)
        text += "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*00\r\n";  // bad checksum
    return text;
}

struct Figures {
    double lines_per_s;
    double bytes_per_s;
};

Figures measure(const char* name, const Receiver& receiver, bool gnss, long passes)
{
    std::string stream;
    for (int n = 0; n < 20000; ++n)
        stream += one_second(n, receiver);
    accept_gnss_talkers.store(gnss ? 1 : 0);
    gps_fix_clear();

    NmeaLineAssembler assembler;
    uint64_t lines = 0;
    long checksum = 0;
    std::clock_t cpu_start = std::clock();
    int64_t start = platform_monotonic_ns();
    for (long pass = 0; pass < passes; ++pass)
        assembler.feed(stream, [&](std::string_view line) {
            checksum += gps_fix_decode_line(line);
            ++lines;
        });
    int64_t elapsed = platform_monotonic_ns() - start;
    double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    GpsFix last = gps_fix_copy();

    double seconds = static_cast<double>(elapsed) / 1e9;
    uint64_t bytes = static_cast<uint64_t>(stream.size()) * static_cast<uint64_t>(passes);
    std::printf("%s: decoded %llu lines (%llu bytes) in %.3f s; result sum %ld; last fix %02u:%02u:%02u\n", name,
                static_cast<unsigned long long>(lines), static_cast<unsigned long long>(bytes), seconds, checksum,
                unsigned{last.hour}, unsigned{last.minute}, unsigned{last.second});
    // CPU time says what one core does even when the machine is shared.
    std::printf("%s cpu: %.3f s, %.0f lines/s, %.0f bytes/s\n", name, cpu_seconds,
                static_cast<double>(lines) / cpu_seconds, static_cast<double>(bytes) / cpu_seconds);
    return {static_cast<double>(lines) / seconds, static_cast<double>(bytes) / seconds};
}

}  // namespace

int main(int argc, char** argv)
{
    long passes = argc > 1 ? std::atol(argv[1]) : 20;
    Figures designed = measure("GP receiver, designed decoder", Receiver{"GP", ".000"}, false, passes);
    Figures gnss = measure("GN receiver, whole seconds, GNSS mode", Receiver{"GN", ""}, true, passes);
    std::printf("lines_per_s=%.0f bytes_per_s=%.0f gnss_lines_per_s=%.0f gnss_bytes_per_s=%.0f\n",
                designed.lines_per_s, designed.bytes_per_s, gnss.lines_per_s, gnss.bytes_per_s);
    return 0;
}
