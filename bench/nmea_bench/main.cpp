// Decoding speed: a generated mix of GGA and RMC lines (plus lines the decoder
// rejects) is cut into lines and decoded into the shared, locked fix record,
// as the analysis thread does. Prints lines/s and bytes/s per second of CPU
// time, for a $GP receiver with the designed decoder, with the gnss_ prefix
// for a $GN receiver with whole-second times in the GNSS mode, and with the
// cut_ prefix for the line cutting alone.
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "platform/clock.h"
#include "src/gps/gps_fix.h"
#include "src/gps/nmea.h"
#include "src/gps/nmea_line_assembler.h"

#include <cstdint>
#include <ctime>
#include <cstdio>
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
    double lines_per_s = 0, bytes_per_s = 0;
};

std::string stream_of(const Receiver& receiver)
{
    std::string stream;
    for (int n = 0; n < 20000; ++n)
        stream += one_second(n, receiver);
    return stream;
}

// Cuts the stream into lines passes times and hands each line to take, which
// returns the decoder's result. Prints one line of figures; the speed is per
// second of CPU time, which says what one core does even on a shared machine.
template <class Take>
Figures measure(const char* name, const std::string& stream, long passes, Take&& take)
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
    GpsFix last = gps_fix_copy();
    std::printf("%s: %llu lines (%.0f bytes) in %.3f s (cpu %.3f s); result sum %ld; last fix %02u:%02u:%02u; "
                "%.0f lines/s, %.0f bytes/s\n",
                name, static_cast<unsigned long long>(lines), bytes, seconds, cpu_seconds, checksum,
                unsigned{last.hour}, unsigned{last.minute}, unsigned{last.second}, double(lines) / cpu_seconds,
                bytes / cpu_seconds);
    return {double(lines) / cpu_seconds, bytes / cpu_seconds};
}

Figures decoded(const char* name, const Receiver& receiver, bool gnss, long passes)
{
    std::string stream = stream_of(receiver);
    accept_gnss_talkers.store(gnss ? 1 : 0);
    gps_fix_clear();
    return measure(name, stream, passes, [](std::string_view line) { return gps_fix_decode_line(line); });
}

}  // namespace

constexpr char kUsage[] =
    "Usage: nmea_bench [PASSES]\n"
    "       nmea_bench --help | --version\n"
    "Decoding speed over PASSES (default 20) of a generated mix of receiver lines.\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "nmea_bench", kUsage))
        return 0;
    long passes = bench_count_arg(argc, argv, 20);
    Figures cut = measure("GP receiver, cutting alone", stream_of(Receiver{"GP", ".000"}), passes,
                          [](std::string_view line) { return int(line.size() & 1); });
    Figures designed = decoded("GP receiver, designed decoder", Receiver{"GP", ".000"}, false, passes);
    Figures gnss = decoded("GN receiver, whole seconds, GNSS mode", Receiver{"GN", ""}, true, passes);
    std::printf("lines_per_s=%.0f bytes_per_s=%.0f gnss_lines_per_s=%.0f gnss_bytes_per_s=%.0f cut_lines_per_s=%.0f\n",
                designed.lines_per_s, designed.bytes_per_s, gnss.lines_per_s, gnss.bytes_per_s, cut.lines_per_s);
    return 0;
}
