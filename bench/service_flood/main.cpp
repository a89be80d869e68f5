// Service cost under a flooded command socket: `clockkeeper` on a sandbox
// clock, first idle, then with a child process sending signals without pause,
// as any local account may. CPU time is the sum over the service's threads of
// /proc/<pid>/task/*/schedstat. Then, still under the flood, a set waited for
// as satclock waits for it, and the time from SIGTERM to the process's end.
//
// Usage: service_flood [seconds per phase]   (default 10)
#include "common/program_options.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/datagram.h"
#include "platform/process.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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

// A child that sends one-byte signals as fast as it can until it is killed.
pid_t start_flood()
{
    int fd = platform_datagram_connect(channel_event_path());
    if (fd < 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        unsigned char byte = 1;
        for (;;)
            platform_datagram_send(fd, &byte, 1);
    }
    platform_datagram_close(fd);
    return pid;
}

bool wait_for_service(int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        if (smem_peer_present() == 1)
            return true;
        usleep(10000);
    }
    return false;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: service_flood [SECONDS]\n"
    "       service_flood --help | --version\n"
    "clockkeeper debug on a sandbox clock, idle and then under a flood of\n"
    "signals, for SECONDS each (default 10).\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "service_flood", kUsage))
        return 0;
    int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds < 1)
        seconds = 10;
    std::string tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string dir = tmp + "/satclock-bench.XXXXXX";
    if (!mkdtemp(dir.data())) {
        std::perror("service_flood: mkdtemp");
        return 1;
    }
    setenv("SATCLOCK_CLOCK_FILE", (dir + "/clock").c_str(), 1);
    setenv("SATCLOCK_CHANNEL_PREFIX", "scflood_", 1);
    setenv("SATCLOCK_CHANNEL_DIR", (dir + "/channel").c_str(), 1);
    std::string service = std::filesystem::path(process_self_path()).parent_path() / "clockkeeper";
    // As systemd starts it (no word), so that SIGTERM is its stop control.
    unsetenv("NOTIFY_SOCKET");
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" 2>/dev/null", service});
    int status = 1;
    if (pid > 0 && wait_for_service(5000)) {
        double idle = cpu_share(pid, seconds);
        pid_t flooder = start_flood();
        bool flooded = flooder > 0;
        sleep(1);
        double under_flood = cpu_share(pid, seconds);
        int64_t cur_ft = platform_clock_read_ft() / 10000 * 10000;
        int64_t start = platform_monotonic_ns();
        PostOutcome outcome = post_time_command_acknowledged(kCommandSetTime, cur_ft, cur_ft, 500);
        double ack_ms = double(platform_monotonic_ns() - start) / 1e6;
        start = platform_monotonic_ns();
        kill(pid, SIGTERM);
        int ended = process_wait(pid, 5000);
        double stop_ms = double(platform_monotonic_ns() - start) / 1e6;
        if (flooder > 0) {
            kill(flooder, SIGKILL);
            process_wait(flooder, 5000);
        }
        std::printf("service_flood: %d s per phase, flooded: %s, set: %s\n", seconds, flooded ? "yes" : "no",
                    post_outcome_text(outcome));
        std::printf("idle_cpu_share=%.6f flooded_cpu_share=%.6f ack_ms=%.3f stop_ms=%.1f\n", idle, under_flood,
                    ack_ms, ended == -2 ? -1.0 : stop_ms);
        status = flooded && outcome == PostOutcome::applied ? 0 : 1;
    } else {
        std::printf("service_flood: the service did not start (is build/bin/clockkeeper there?)\n");
    }
    if (pid > 0 && process_wait(pid, 0) == -2) {
        kill(pid, SIGKILL);
        process_wait(pid, 5000);
    }
    std::filesystem::remove_all(dir);
    return status;
}
