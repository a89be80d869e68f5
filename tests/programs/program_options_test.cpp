// The programs and benchmarks from outside: each answers --help and --version
// and exits before it starts anything, and each benchmark, run for a few
// iterations, still ends with its key=value line.
#include "platform/process.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace {

// What a run may take at most before it counts as hung (a program that
// ignored --help would run until stopped).
const char* const kHungAfterSeconds = "120";

struct ProgramRun {
    int status;
    std::string out;
};

ProgramRun run_program(const std::string& name, const std::vector<std::string>& args)
{
    std::vector<std::string> command = {"timeout", "-k", "5", kHungAfterSeconds, build_dir() + "/bin/" + name};
    command.insert(command.end(), args.begin(), args.end());
    ProgramRun run;
    run.status = process_run_capture(command, &run.out, kTestChildBoundMs);
    return run;
}

std::string last_line(std::string out)
{
    while (out.ends_with('\n'))
        out.pop_back();
    return out.substr(out.rfind('\n') + 1);  // npos + 1: the whole text
}

class HelpAndVersion : public ::testing::TestWithParam<const char*> {
protected:
    TestSandbox sandbox;
};

TEST_P(HelpAndVersion, PrintAndExit)
{
    std::string name = GetParam();
    ProgramRun help = run_program(name, {"--help"});
    EXPECT_EQ(help.status, 0) << name;
    EXPECT_NE(help.out.find(name + " --help | --version"), std::string::npos) << help.out;
    ProgramRun version = run_program(name, {"--version"});
    EXPECT_EQ(version.status, 0) << name;
    EXPECT_EQ(version.out, name + " 1.2.1\n");
    EXPECT_FALSE(sandbox.clock_was_set()) << name << " started its work";
}

INSTANTIATE_TEST_SUITE_P(Programs, HelpAndVersion,
                         ::testing::Values("satclock", "clockkeeper", "satsetup", "uninstall", "satclock-gpssim",
                                           "nmea-decode", "channel_latency", "correction_accuracy", "history_bench",
                                           "idle_cpu", "link_latency", "nmea_bench", "pty_floor", "quit_time",
                                           "service_flood"));

struct Smoke {
    const char* bench;
    std::vector<std::string> args;
    const char* first_key;  // the first key of the last line
};

class BenchSmoke : public ::testing::TestWithParam<Smoke> {
protected:
    TestSandbox sandbox;
};

void PrintTo(const Smoke& smoke, std::ostream* out) { *out << smoke.bench; }

// A benchmark may exit 1 for a lost sample; its figures line is still due.
TEST_P(BenchSmoke, EndsWithItsKeyValueLine)
{
    const Smoke& smoke = GetParam();
    ProgramRun run = run_program(smoke.bench, smoke.args);
    EXPECT_NE(run.status, 124) << smoke.bench << " did not end";
    std::string line = last_line(run.out);
    EXPECT_TRUE(line.starts_with(std::string(smoke.first_key) + "=")) << smoke.bench << ":\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Benchmarks, BenchSmoke,
    ::testing::Values(Smoke{"channel_latency", {"20"}, "posts"},
                      Smoke{"correction_accuracy", {"--count", "1", "--only", "115200"}, "set_p99_ms"},
                      Smoke{"history_bench", {"1"}, "history_records"},
                      Smoke{"idle_cpu", {"1", "--delivery", "byte"}, "satclock_cpu_pct"},
                      Smoke{"link_latency", {"--count", "20", "--gap-ms", "20"}, "p50_ms"},
                      Smoke{"nmea_bench", {"1"}, "lines_per_s"},
                      Smoke{"pty_floor", {"5"}, "floor_p50_ms"}, Smoke{"quit_time", {"1"}, "p50_ms"},
                      Smoke{"service_flood", {"1"}, "idle_cpu_share"}));

}  // namespace
