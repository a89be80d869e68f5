// What the benchmarks share: the count argument, a temp folder and sandbox of
// their own, clockkeeper started beside them and children stopped, and the
// percentiles of their samples.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// The first argument as a count: `fallback` when there is none or it is not
// a positive number.
int bench_count_arg(int argc, char** argv, int fallback);

// A new folder of this run's own, base/name.XXXXXX, in `base` (else $TMPDIR,
// else /tmp). Empty when none could be made (errno says why).
std::string bench_temp_folder(const std::string& name, const std::string& base = "");

// The sandbox in `dir`: the clock file, the channel's prefix and folder, the
// port and settings folders; the real clock and the machine's channel stay untouched.
void bench_sandbox_environment(const std::string& dir, const std::string& channel_prefix);

// A temp folder (bench_temp_folder) made the sandbox; empty, and the cause
// said on standard error after `program`, when no folder could be made.
std::string bench_sandbox(const char* program, const std::string& name, const std::string& channel_prefix,
                          const std::string& base = "");

// The folder this benchmark's program lies in, beside the programs it starts.
std::string bench_bin_dir();

// Polls `done` every 10 ms until it holds, at most timeout_ms; its last answer.
bool bench_wait_until(int timeout_ms, const std::function<bool()>& done);

// Waits at most timeout_ms for clockkeeper's channel.
bool bench_wait_for_service(int timeout_ms);

// Sends `signal` to a child that still runs and reaps it, killed when it still runs after timeout_ms.
void bench_stop_child(pid_t pid, int signal, int timeout_ms);

// Sample figures in milliseconds (nearest rank).
struct BenchFigures {
    double p50 = 0, p99 = 0, max = 0;
};

// The p-th fraction (0..1) of the values, in milliseconds (nearest rank); 0 for none.
double percentile_ms(std::vector<int64_t> values_ns, double p);
BenchFigures figures_ms(const std::vector<int64_t>& values_ns);
