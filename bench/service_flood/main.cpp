// Service cost under a flooded command socket: `clockkeeper` on a sandbox
// clock, first idle, then with a child process sending set commands without
// pause (as nobody when we are root: an account outside the channel's group,
// whose socket reached the service before it left the group). CPU time is the
// sum over the service's threads of /proc/<pid>/task/*/schedstat. Then, still
// under the flood, 20 sets waited for as satclock waits for them (500 ms
// each), and the time from SIGTERM to the process's end.
//
// Usage: service_flood [seconds per phase]   (default 10)
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/datagram.h"
#include "platform/process.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <grp.h>
#include <unistd.h>

namespace {

int64_t cpu_ns(pid_t pid)
{
    int64_t total = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream stat(task.path() / "schedstat");
        int64_t ns = 0;
        if (stat >> ns)
            total += ns;
    }
    return total;
}

double cpu_share(pid_t pid, int seconds)
{
    int64_t before = cpu_ns(pid);
    sleep(unsigned(seconds));
    return double(cpu_ns(pid) - before) / (double(seconds) * 1e9);
}

constexpr uid_t kNobody = 65534;
constexpr int kSets = 20;

// A child that sends set commands as fast as it can until it is killed; as
// root it becomes nobody after connecting, so its commands carry nobody's
// credentials. Each set asks for one hour ahead: one that landed would show.
pid_t start_flood()
{
    CommandEvent* event = open_command_event();
    if (!event)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                               setresuid(kNobody, kNobody, kNobody) != 0))
            _exit(1);
        for (;;) {
            int64_t now = truncate_to_ms(platform_clock_read_ft());
            smem_write_command(event, TakenCommand{kCommandSetTime, now, now + 3600 * kFileTimeTicksPerSecond, 1});
        }
    }
    close_command_event(event);
    return pid;
}

// kSets sets to the current time under the flood: how many were not applied,
// the slowest acknowledgement, and the outcome of the last one not applied.
int post_sets(double* slowest_ms, PostOutcome* failure)
{
    int lost = 0;
    for (int i = 0; i < kSets; ++i) {
        int64_t cur_ft = truncate_to_ms(platform_clock_read_ft());
        int64_t start = platform_monotonic_ns();
        PostOutcome outcome = post_time_command_acknowledged(kCommandSetTime, cur_ft, cur_ft, 500);
        *slowest_ms = std::max(*slowest_ms, double(platform_monotonic_ns() - start) / 1e6);
        if (outcome != PostOutcome::applied) {
            ++lost;
            *failure = outcome;
        }
    }
    return lost;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: service_flood [SECONDS]\n"
    "       service_flood --help | --version\n"
    "clockkeeper debug on a sandbox clock, idle and then under a flood of\n"
    "set commands, for SECONDS each (default 10).\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "service_flood", kUsage))
        return 0;
    int seconds = bench_count_arg(argc, argv, 10);
    std::string dir = bench_sandbox("service_flood", "satclock-bench", "scflood_");
    if (dir.empty())
        return 1;
    // As systemd starts it (no word), so that SIGTERM is its stop control.
    unsetenv("NOTIFY_SOCKET");
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" 2>/dev/null", bench_bin_dir() + "/clockkeeper"});
    int status = 1;
    if (pid > 0 && bench_wait_for_service(5000)) {
        double idle = cpu_share(pid, seconds);
        pid_t flooder = start_flood();
        bool flooded = flooder > 0;
        sleep(1);
        double under_flood = cpu_share(pid, seconds);
        double ack_ms = 0;
        PostOutcome failure = PostOutcome::applied;
        int lost = post_sets(&ack_ms, &failure);
        // Less than the flood's hour: its sets never landed.
        int64_t pc_ns = platform_clock_read_ns();
        bool clock_kept = pc_ns - platform_clock_machine_ns(pc_ns) < 1800 * kNsPerSecond;
        int64_t start = platform_monotonic_ns();
        kill(pid, SIGTERM);
        int ended = process_wait(pid, 5000);
        double stop_ms = double(platform_monotonic_ns() - start) / 1e6;
        bench_stop_child(flooder, SIGKILL, 5000);
        std::printf("service_flood: %d s per phase, flooded: %s (as %s), %d sets, not applied: %d%s%s\n", seconds,
                    flooded ? "yes" : "no", geteuid() == 0 ? "nobody" : "this account", kSets, lost,
                    lost ? ", last: " : "", lost ? post_outcome_text(failure) : "");
        std::printf("idle_cpu_share=%.6f flooded_cpu_share=%.6f sets=%d lost=%d ack_max_ms=%.3f stop_ms=%.1f\n",
                    idle, under_flood, kSets, lost, ack_ms, ended == -2 ? -1.0 : stop_ms);
        status = flooded && lost == 0 && clock_kept ? 0 : 1;
    } else {
        std::printf("service_flood: the service did not start (is build/bin/clockkeeper there?)\n");
    }
    if (pid > 0 && process_wait(pid, 0) == -2)
        bench_stop_child(pid, SIGKILL, 5000);
    std::filesystem::remove_all(dir);
    return status;
}
