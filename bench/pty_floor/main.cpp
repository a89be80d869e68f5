// pty_floor: the bare pty write-to-read latency of this host, the floor the
// link benchmarks (link_latency, correction_accuracy) measure beside their
// own figures, on its own.
//
//   pty_floor [PAIRS]   (default 200 pairs of sentences at 4800 baud)
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "pty_floor.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kUsage[] =
    "Usage: pty_floor [PAIRS]\n"
    "       pty_floor --help | --version\n"
    "The time from writing a sentence's carriage return into a pty master to a\n"
    "thread blocked in read() on its slave having it, over PAIRS (default 200)\n"
    "pairs of sentences at 4800 baud, a pair every tenth of a second.\n"
    "Its last line is one key=value line of the figures.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "pty_floor", kUsage))
        return 0;
    int pairs = argc > 1 ? std::atoi(argv[1]) : 200;
    if (pairs <= 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<int64_t> floor = pty_floor_measure(pairs);
    if (floor.size() != size_t(2 * pairs)) {
        std::fprintf(stderr, "pty_floor: %zu of %d sentences read\n", floor.size(), 2 * pairs);
        return 1;
    }
    std::printf("floor_p50_ms=%.3f floor_p99_ms=%.3f floor_max_ms=%.3f sentences=%zu\n", percentile_ms(floor, 0.5),
                percentile_ms(floor, 0.99), percentile_ms(floor, 1.0), floor.size());
    return 0;
}
