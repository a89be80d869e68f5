// correction_accuracy: N corrections end to end per case (4800 and 115200
// baud, with and without 1PPS) on a sandbox clock started a few seconds off;
// prints |clock - truth| right after each correction and the time from the
// sentence's carriage return to the service's clock set. Before the cases it
// measures the bare floor of the host (pty_floor.h): the carriage-return-to-set
// figures of the 4800 baud cases are also given against it. The last cases
// read the receiver through gpsd: what gpsd's own delay costs.
//
// --pulse-width MS (default 100) and --pulse-inverted shape the simulated
// receiver's 1PPS pulse: its leading edge is at the top of the second.
#include "bench/correction_accuracy/correction_rig.h"
#include "bench/common/bench_common.h"
#include "common/program_options.h"

#include "pty_floor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// How a case treats the receiver's output delay.
enum class Delay { none, designed, learned, typed };

struct Case {
    const char* name;
    int baud;
    bool pps;
    bool unprivileged;
    Delay delay = Delay::none;
    bool gpsd = false;  // the receiver read through gpsd (build-deps/gpsd) instead of its port
};

// A receiver whose output begins 250 ms +-5 ms after the top of the second.
constexpr int kReceiverDelayMs = 250;
constexpr int kReceiverJitterMs = 5;

const Case kCases[] = {
    {"4800 NMEA only", 4800, false, false},
    {"4800 1PPS, direct set", 4800, true, false},
    {"4800 1PPS, shift through the service", 4800, true, true},
    {"115200 NMEA only", 115200, false, false},
    {"115200 1PPS, direct set", 115200, true, false},
    {"4800 delay 250, designed", 4800, false, false, Delay::designed},
    {"4800 delay 250, learned from 1PPS", 4800, false, false, Delay::learned},
    {"4800 delay 250, typed", 4800, false, false, Delay::typed},
    {"115200 delay 250, designed", 115200, false, false, Delay::designed},
    {"115200 delay 250, learned from 1PPS", 115200, false, false, Delay::learned},
    {"115200 delay 250, typed", 115200, false, false, Delay::typed},
    {"4800 NMEA only, through gpsd", 4800, false, false, Delay::none, true},
    {"115200 NMEA only, through gpsd", 115200, false, false, Delay::none, true},
};
constexpr size_t kLearned4800 = 6;
constexpr size_t kGpsd4800 = 11;

struct CaseResult {
    BenchFigures error;
    BenchFigures set;
    BenchFigures delay;
    int done = 0;
    int learned_ms = -1;  // the delay learned from 1PPS, -1 none
};

// Clock offsets before each correction: a few seconds off, either way, never whole.
int64_t offset_for(int i)
{
    int64_t ms = 2000 + (i * 737) % 3000;
    return (i % 2 ? -ms : ms) * 1000000LL + 123456;
}

// The pulse's shape for every case.
struct PulseShape {
    int width_ms = 100;
    bool inverted = false;
};

CaseResult run_case(const Case& c, const PulseShape& pulse, const std::string& bin, const std::string& dir, int count,
                    bool verbose, FILE* out)
{
    CaseResult result;
    std::string case_dir = dir + "/" + std::to_string(c.baud) + (c.pps ? "-pps" : "") + (c.unprivileged ? "-user" : "") +
                           "-" + std::to_string(int(c.delay)) + (c.gpsd ? "-gpsd" : "");
    std::filesystem::create_directories(case_dir);
    RigOptions options;
    options.baud = c.baud;
    options.pps = c.pps;
    options.unprivileged = c.unprivileged;
    if (c.delay != Delay::none)
        options.sim_options = {"--offset", std::to_string(kReceiverDelayMs), "--offset-jitter",
                               std::to_string(kReceiverJitterMs)};
    options.pulses = c.delay == Delay::learned;
    options.compensate_ms = c.delay == Delay::typed ? kReceiverDelayMs : -1;
    if (c.gpsd)
        options.gpsd_program = SATCLOCK_GPSD_PROGRAM;
    options.pulse_width_ms = pulse.width_ms;
    options.pulse_inverted = pulse.inverted;
    CorrectionRig rig(bin, case_dir, options);
    std::string error;
    if (!rig.start(&error)) {
        std::fprintf(out, "%s: rig failed: %s\n", c.name, error.c_str());
        return result;
    }
    if (c.delay == Delay::learned) {
        int learned = rig.learn_delay();
        std::fprintf(out, "%s: learned %d ms (the receiver's %d ms)\n", c.name, learned, kReceiverDelayMs);
        result.learned_ms = learned;
        if (learned < 0)
            return result;
    }
    std::vector<int64_t> errors, sets, delays;
    for (int i = 0; i < count; ++i) {
        CorrectionSample s = rig.correct_once(offset_for(i));
        if (!s.done) {
            std::fprintf(out, "%s: correction %d failed: %s\n", c.name, i, s.failure.c_str());
            continue;
        }
        if (verbose)
            std::fprintf(out, "  %2d: clock-truth %.3f ms, CR->set %.3f ms, top->CR %.3f ms\n", i,
                         double(s.clock_error_ns) / 1e6, double(s.set_latency_ns) / 1e6,
                         double(s.sentence_delay_ns) / 1e6);
        errors.push_back(std::llabs(s.clock_error_ns));
        sets.push_back(s.set_latency_ns);
        delays.push_back(s.sentence_delay_ns);
    }
    rig.stop();
    result.done = int(errors.size());
    result.error = figures_ms(errors);
    result.set = figures_ms(sets);
    result.delay = figures_ms(delays);
    std::fprintf(out,
                 "%-38s n=%-3d |clock-truth| ms: median %.3f p99 %.3f max %.3f | CR->set ms: median %.3f p99 %.3f "
                 "max %.3f | top->CR ms: median %.1f\n",
                 c.name, result.done, result.error.p50, result.error.p99, result.error.max, result.set.p50,
                 result.set.p99, result.set.max, result.delay.p50);
    std::fflush(out);
    return result;
}

// True when only is empty or one of its comma-separated parts is in name.
bool selected(const char* name, const std::string& only)
{
    if (only.empty())
        return true;
    for (size_t from = 0; from <= only.size();) {
        size_t comma = std::min(only.find(',', from), only.size());
        if (comma > from && std::strstr(name, only.substr(from, comma - from).c_str()))
            return true;
        from = comma + 1;
    }
    return false;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: correction_accuracy [--count N] [--only CASE,...] [--verbose]\n"
    "       correction_accuracy --help | --version\n"
    "N corrections (default 30) end to end per case on a sandbox clock, only the\n"
    "cases whose name holds one of CASE (e.g. 1PPS), and |clock - truth| after each.\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "correction_accuracy", kUsage))
        return 0;
    int count = 30;
    bool verbose = false;
    std::string only;  // run only the cases whose name holds one of these texts (comma-separated)
    PulseShape pulse;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc)
            count = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--pulse-width") == 0 && i + 1 < argc)
            pulse.width_ms = std::clamp(std::atoi(argv[++i]), 1, 999);
        else if (std::strcmp(argv[i], "--pulse-inverted") == 0)
            pulse.inverted = true;
    }
    // In memory when the machine has /dev/shm: every set of the sandbox clock
    // rewrites its file, and on a disk file system that rename can wait behind
    // another program's fsync, which the real clock never does.
    std::string dir = bench_sandbox("correction_accuracy", "correction-accuracy",
                                    "scbench" + std::to_string(getpid()) + "_",
                                    std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "");
    if (dir.empty())
        return 1;
    std::string bin = bench_bin_dir();
    // The analysis thread writes its diagnostic lines on standard output:
    // they go to a file, the figures to the real standard output.
    FILE* out = fdopen(dup(STDOUT_FILENO), "w");
    std::freopen((dir + "/satclock.log").c_str(), "w", stdout);

    std::fprintf(out, "correction_accuracy: %d corrections per case, clock started 2-5 s off, 1PPS pulse %d ms%s\n",
                 count, pulse.width_ms, pulse.inverted ? " inverted" : "");
    std::vector<int64_t> floor = pty_floor_measure(50);
    double floor_p50 = percentile_ms(floor, 0.5), floor_p99 = percentile_ms(floor, 0.99);
    std::fprintf(out, "bare pty floor: %zu sentences, median %.3f ms, p99 %.3f ms\n", floor.size(), floor_p50,
                 floor_p99);
    std::vector<CaseResult> results;
    for (const Case& c : kCases)
        if (selected(c.name, only))
            results.push_back(run_case(c, pulse, bin, dir, count, verbose, out));
        else
            results.push_back({});

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);

    double set_p99 = std::max(results[0].set.p99, results[1].set.p99);
    double set_p50 = std::max(results[0].set.p50, results[1].set.p50);
    const CaseResult& learned = results[kLearned4800];
    const CaseResult& gpsd = results[kGpsd4800];
    std::fprintf(out, "set_p99_ms=%.3f pps_err_p99_ms=%.3f nmea_err_median_ms=%.3f nmea_comp_err_median_ms=%.3f "
                 "nmea_comp_err_p99_ms=%.3f floor_p50_ms=%.3f floor_p99_ms=%.3f floor_ratio_p50=%.2f "
                 "floor_ratio_p99=%.2f pulse_width_ms=%d pulse_inverted=%d learned_delay_ms=%d "
                 "gpsd_err_median_ms=%.3f gpsd_extra_median_ms=%.3f gpsd_extra_p99_ms=%.3f\n",
                 set_p99, results[1].error.p99, results[0].error.p50, learned.error.p50, learned.error.p99,
                 floor_p50, floor_p99, floor_p50 > 0 ? set_p50 / floor_p50 : 0, floor_p99 > 0 ? set_p99 / floor_p99 : 0,
                 pulse.width_ms, pulse.inverted ? 1 : 0, learned.learned_ms,
                 // gpsd's own delay: how much later than straight from the port its copy of a sentence reaches the set
                 gpsd.error.p50, gpsd.set.p50 - results[0].set.p50, gpsd.set.p99 - results[0].set.p50);
    return only.empty() && !(results[0].done && results[1].done && learned.done) ? 1 : 0;
}
