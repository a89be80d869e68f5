// nmea-decode: reads receiver text from a file or standard input, cuts it into
// lines as the analysis thread does, decodes each into the shared fix record
// and prints one JSON object per line with the result and the record.
// --gnss decodes in the GNSS mode (other talkers, whole-second times ...).
#include "common/program_options.h"
#include "src/gps/gps_fix.h"
#include "src/gps/nmea_line_assembler.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

void print_record(unsigned long number, int result, const GpsFix& fix)
{
    std::printf("{\"line\": %lu, \"result\": %d, \"year\": %u, \"month\": %u, \"day\": %u, "
                "\"hour\": %u, \"minute\": %u, \"second\": %u, \"fraction\": %u, "
                "\"latitude\": %.6f, \"longitude\": %.6f, \"altitude\": %.1f, "
                "\"fix_quality\": %d, \"satellites\": %u}\n",
                number, result, unsigned{fix.year}, unsigned{fix.month}, unsigned{fix.day},
                unsigned{fix.hour}, unsigned{fix.minute}, unsigned{fix.second}, unsigned{fix.fraction},
                fix.latitude, fix.longitude, fix.altitude, int{fix.fix_quality}, unsigned{fix.satellites});
}

int decode_stream(std::FILE* in)
{
    NmeaLineAssembler assembler;
    unsigned long number = 0;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0) {
        assembler.feed(std::string_view(block, got), [&](std::string_view line) {
            int result = gps_fix_decode_line(line);
            print_record(++number, result, gps_fix_copy());
        });
    }
    if (std::ferror(in)) {
        std::fprintf(stderr, "nmea-decode: read error: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

constexpr char kUsage[] =
    "usage: nmea-decode [--gnss] [FILE]   (standard input when no FILE or \"-\")\n"
    "       nmea-decode --help | --version\n"
    "  --gnss  decode in the GNSS mode: any talker, whole-second times,\n"
    "          one-digit satellite counts, RMC status as the fix without GGA\n";

}  // namespace

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "nmea-decode", kUsage))
        return 0;
    int first = 1;
    if (argument_is(argc, argv, 1, "--gnss")) {
        accept_gnss_talkers.store(1);
        ++first;
    }
    const char* file = argc > first ? argv[first] : nullptr;
    if (argc > first + 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::FILE* in = stdin;
    if (file && std::strcmp(file, "-") != 0) {
        in = std::fopen(file, "rb");
        if (!in) {
            std::fprintf(stderr, "nmea-decode: cannot open %s: %s\n", file, std::strerror(errno));
            return 1;
        }
    }
    int status = decode_stream(in);
    if (in != stdin)
        std::fclose(in);
    if (std::fflush(stdout) != 0)
        status = 1;
    return status;
}
