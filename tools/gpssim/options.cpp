// Command-line parsing and --help of the simulated receiver.
#include "options.h"

#include "common/program_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <getopt.h>

namespace {

const char kHelp[] = R"(Usage: satclock-gpssim [OPTION]...
       satclock-gpssim --help | --version
A simulated NMEA 0183 receiver. It opens a pseudo-terminal, links it as
COM<n> in the port folder, and sends a GGA and an RMC sentence every second,
paced at the baud rate (10 bit times a byte), the first byte a set time after
the top of the second of the machine's real clock. Commands written to the
port are logged. SIGINT or SIGTERM ends it and removes the link.

Port:
  -p, --port N            port number: the link is COM<N> (default 1)
  -d, --port-dir DIR      port folder (default $SATCLOCK_PORT_DIR, else
                          /etc/satclock/ports)
      --replace           replace an existing COM<N> entry
  -b, --baud N            baud rate for pacing (default 4800)
  -o, --offset MS         first byte MS milliseconds after the top of each
                          second (default 0)
      --speed-mismatch    when the program reads the line at another speed
                          than --baud, send what its UART would receive:
                          wrongly framed bytes, framing errors as NUL
      --offset-jitter MS  plus a uniform draw in -MS..+MS each second, as a
                          real receiver's output delay wanders (default 0)
      --realtime          run at real-time priority where permitted, so that
                          a busy machine does not delay the bytes
      --delivery MODE     how the bytes reach the program, as hardware hands
                          them over: byte (each byte as it comes off the
                          line, the default), fifo (a 16550 UART: 14 bytes an
                          interrupt, the rest after 4 quiet character times),
                          usb (a receiver with its own USB port: each sentence
                          at once in packets of up to 64 bytes, one per 1 ms
                          frame; the baud rate does not pace them and
                          --speed-mismatch does not apply)
Sentences:
  -t, --talker XX         talker id, e.g. GP or GN (default GP)
  -q, --fix Q             GGA fix quality 0..9; 0 = no fix (default 1)
  -s, --sats N            satellites in use (default 8)
      --lat DEG           latitude, decimal degrees, north positive (48.1173)
      --lon DEG           longitude, decimal degrees, east positive (11.516667)
      --alt M             altitude in metres (545.4)
  -f, --fraction-digits N digits after the seconds' point, 0..4 (default 3)
  -c, --checksum MODE     on, off or wrong (default on)
      --short-sats        satellites in use without a leading zero ("8")
      --rmc-only          send RMC alone, no GGA
Receivers of the GNSS mode, for example:
  multi-constellation     --talker GN --fraction-digits 2
  Garmin-style            --fraction-digits 0
  GLONASS/BeiDou only     --talker GL, --talker GB or --talker BD
  RMC alone               --rmc-only --talker GN --fraction-digits 0
Time (the receiver's reported time; pacing always follows the real clock):
      --time-offset-ms MS reported time = true time + MS (may be negative)
      --start-time T      report T (UTC, 2026-12-31T23:59:55[.fff]) at the
                          first second, and go on from there
Faults:
  -g, --garbage N         a burst of N random bytes (never "$") after the RMC
      --garbage-every K   only every K seconds (default 1)
      --seed N            seed for the garbage (default 1)
      --silence-after N   send N seconds of sentences, then nothing
      --exit-after N      exit after N seconds
  -r, --replay FILE       send a capture instead of generated sentences
Log:
  -l, --log FILE          JSON lines log ("-" = standard output)
  -h, --help              this text
      --version           the version

Capture files (--replay): one sentence a line, without or with its CR LF.
A line "@<ms> <text>" is sent <ms> milliseconds after the replay began (its
first byte). Other lines are raw NMEA: a line whose sentence type is GGA
starts a new second, the others follow it on the line. Empty lines and lines
starting with "#" are skipped. The replay starts at the first top of a
second (plus --offset) and is followed by silence.

Log events, one JSON object a line, times in ns since 1970 (real clock):
  {"event":"start","ns":..,"port":N,"link":"..","pty":"..","baud":N,
   "delivery":"byte"}
  {"event":"sentence","type":"GGA","second_ns":..,"reported_ns":..,
   "first_byte_ns":..,"cr_ns":..,"bytes":N,"text":"$GPGGA,...*hh"}
     first_byte_ns and cr_ns: the clock right after the write() that
     carried the first byte and the carriage return returned (0 when the
     bytes were dropped); one write() is one hand-over of --delivery;
     reported_ns is 0 for replayed lines.
  {"event":"garbage","second_ns":..,"first_byte_ns":..,"bytes":N}
  {"event":"dropped","ns":..,"bytes":N}  (the pty's buffer was full)
  {"event":"command","ns":..,"text":"$PSRF103,00,00,01,01*25"}
  {"event":"line_speed","ns":..,"baud":N}  (--speed-mismatch: the speed
     the program set, logged at the first sentence after each change)
  {"event":"stop","ns":..,"signal":N}
)";

enum LongOnly {
    kReplace = 1000, kLat, kLon, kAlt, kTimeOffset, kStartTime, kGarbageEvery, kSeed, kSilence, kExitAfter,
    kSpeedMismatch, kShortSats, kRmcOnly, kOffsetJitter, kRealtime, kDelivery
};

const option kOptions[] = {
    {"port", required_argument, nullptr, 'p'},      {"port-dir", required_argument, nullptr, 'd'},
    {"replace", no_argument, nullptr, kReplace},     {"baud", required_argument, nullptr, 'b'},
    {"offset", required_argument, nullptr, 'o'},     {"talker", required_argument, nullptr, 't'},
    {"fix", required_argument, nullptr, 'q'},        {"sats", required_argument, nullptr, 's'},
    {"lat", required_argument, nullptr, kLat},       {"lon", required_argument, nullptr, kLon},
    {"alt", required_argument, nullptr, kAlt},       {"fraction-digits", required_argument, nullptr, 'f'},
    {"checksum", required_argument, nullptr, 'c'},   {"time-offset-ms", required_argument, nullptr, kTimeOffset},
    {"short-sats", no_argument, nullptr, kShortSats}, {"rmc-only", no_argument, nullptr, kRmcOnly},
    {"start-time", required_argument, nullptr, kStartTime},
    {"garbage", required_argument, nullptr, 'g'},    {"garbage-every", required_argument, nullptr, kGarbageEvery},
    {"seed", required_argument, nullptr, kSeed},     {"silence-after", required_argument, nullptr, kSilence},
    {"exit-after", required_argument, nullptr, kExitAfter},
    {"offset-jitter", required_argument, nullptr, kOffsetJitter},
    {"realtime", no_argument, nullptr, kRealtime},   {"delivery", required_argument, nullptr, kDelivery},
    {"replay", required_argument, nullptr, 'r'},     {"log", required_argument, nullptr, 'l'},
    {"speed-mismatch", no_argument, nullptr, kSpeedMismatch},
    {"help", no_argument, nullptr, 'h'},             {nullptr, 0, nullptr, 0}};

bool to_long(const char* text, long long low, long long high, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return !errno && end != text && *end == '\0' && value >= low && value <= high;
}

bool to_double(const char* text, double low, double high, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

bool set_checksum(const char* text, ChecksumMode& mode)
{
    if (!std::strcmp(text, "on"))
        mode = ChecksumMode::on;
    else if (!std::strcmp(text, "off"))
        mode = ChecksumMode::off;
    else if (!std::strcmp(text, "wrong"))
        mode = ChecksumMode::wrong;
    else
        return false;
    return true;
}

bool set_int(const char* text, long long low, long long high, int& target)
{
    long long value = 0;
    if (!to_long(text, low, high, value))
        return false;
    target = static_cast<int>(value);
    return true;
}

bool apply(int code, const char* arg, SimOptions& o)
{
    long long value = 0;
    switch (code) {
    case 'p': return set_int(arg, 1, 32767, o.port);
    case 'd': o.port_dir = arg; return true;
    case kReplace: o.replace_link = true; return true;
    case 'b': return set_int(arg, 50, 4000000, o.baud);
    case 'o': return set_int(arg, 0, 999, o.start_offset_ms);
    case kSpeedMismatch: o.speed_mismatch = true; return true;
    case kOffsetJitter: return set_int(arg, 0, 499, o.offset_jitter_ms);
    case kRealtime: o.realtime = true; return true;
    case kDelivery: return parse_delivery(arg, o.delivery);
    case 't': o.fix.talker = arg; return o.fix.talker.size() == 2;
    case 'q': return set_int(arg, 0, 9, o.fix.quality);
    case 's': return set_int(arg, 0, 99, o.fix.satellites);
    case kLat: return to_double(arg, -90, 90, o.fix.latitude);
    case kLon: return to_double(arg, -180, 180, o.fix.longitude);
    case kAlt: return to_double(arg, -1000, 100000, o.fix.altitude);
    case 'f': return set_int(arg, 0, 4, o.fix.fraction_digits);
    case 'c': return set_checksum(arg, o.fix.checksum);
    case kShortSats: o.fix.short_satellites = true; return true;
    case kRmcOnly: o.fix.rmc_only = true; return true;
    case kTimeOffset:
        if (!to_long(arg, -4000000000000LL, 4000000000000LL, value))
            return false;
        o.time_offset_ns = value * 1000000;
        return true;
    case kStartTime: {
        int64_t ignored = 0;
        o.start_time = arg;
        return parse_utc_time(arg, ignored);
    }
    case 'g': return set_int(arg, 0, 100000, o.garbage_bytes);
    case kGarbageEvery: return set_int(arg, 1, 1000000, o.garbage_every);
    case kSeed:
        if (!to_long(arg, 0, 0xFFFFFFFFLL, value))
            return false;
        o.seed = static_cast<uint32_t>(value);
        return true;
    case kSilence: return set_int(arg, 0, 100000000, o.silence_after);
    case kExitAfter: return set_int(arg, 0, 100000000, o.exit_after);
    case 'r': o.replay_file = arg; return true;
    case 'l': o.log_file = arg; return true;
    }
    return false;
}

}  // namespace

bool parse_utc_time(const std::string& text, int64_t& utc_ns)
{
    std::tm fields {};
    const char* rest = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &fields);
    if (!rest)
        return false;
    int64_t sub_ns = 0;
    if (*rest == '.') {
        int64_t scale = 100000000;
        for (++rest; *rest >= '0' && *rest <= '9'; ++rest, scale /= 10)
            sub_ns += (*rest - '0') * scale;
    }
    if (*rest == 'Z')
        ++rest;
    if (*rest != '\0')
        return false;
    utc_ns = int64_t(timegm(&fields)) * 1000000000 + sub_ns;
    return true;
}

int parse_options(int argc, char** argv, SimOptions& options)
{
    if (answer_help_or_version(argc, argv, "satclock-gpssim", kHelp))
        return 0;
    int code = 0;
    optind = 1;
    while ((code = getopt_long(argc, argv, "p:d:b:o:t:q:s:f:c:g:r:l:h", kOptions, nullptr)) != -1) {
        if (code == 'h') {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (code == '?' || !apply(code, optarg, options)) {
            if (code != '?')
                std::fprintf(stderr, "satclock-gpssim: bad value for option %s: %s\n", argv[optind - 1], optarg);
            std::fprintf(stderr, "Try 'satclock-gpssim --help'.\n");
            return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "satclock-gpssim: unexpected argument: %s\n", argv[optind]);
        return 2;
    }
    return -1;
}
