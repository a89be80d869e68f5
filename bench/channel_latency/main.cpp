// Channel latency: commands posted through the real channel to
// `clockkeeper debug` on a sandbox clock, each waited for as satclock waits
// for it (post, the service's wake, its work, its acknowledgement, our wake):
// a set, and a command the service does not know, answered without touching
// the clock (the channel's own road). Beside them the bare floor of that road without any
// Satclock code: one byte sent on an AF_UNIX datagram socket to a child
// process waiting in poll, which answers with one byte, waited for in poll.
// The three kinds of samples alternate, so all see the same load; all stamps
// on the monotonic clock.
//
// Usage: channel_latency [posts]   (default 1000)
#include "bench/common/bench_common.h"
#include "common/program_options.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/process.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// The floor's peer: a bare socket in a child, answering each byte it takes.
// The child's wake stamp goes back in the answer, for the one-way figure.
[[noreturn]] void floor_peer(int fd)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, -1) < 0)
            continue;
        int64_t woke = platform_monotonic_ns();
        char byte = 0;
        sockaddr_un from{};
        socklen_t length = sizeof from;
        if (recvfrom(fd, &byte, 1, 0, reinterpret_cast<sockaddr*>(&from), &length) == 1)
            sendto(fd, &woke, sizeof woke, 0, reinterpret_cast<sockaddr*>(&from), length);
    }
}

sockaddr_un address_of(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return address;
}

// Starts the floor's peer bound at `path` and connects `*sender` to it.
pid_t start_floor(const std::string& path, const std::string& own_path, int* sender)
{
    sockaddr_un peer = address_of(path);
    sockaddr_un own = address_of(own_path);
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    *sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || *sender < 0 || bind(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0 ||
        bind(*sender, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0 ||
        connect(*sender, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0)
        floor_peer(fd);
    close(fd);
    return pid;
}

// One floor sample: the round trip in ns (< 0 when lost); *one_way_ns: the
// send to the peer's wake.
int64_t floor_sample(int sender, int64_t* one_way_ns)
{
    char byte = 1;
    int64_t start = platform_monotonic_ns();
    if (send(sender, &byte, 1, 0) != 1)
        return -1;
    pollfd p{sender, POLLIN, 0};
    int64_t woke = 0;
    if (poll(&p, 1, 2000) != 1 || recv(sender, &woke, sizeof woke, 0) != ssize_t(sizeof woke))
        return -1;
    *one_way_ns = woke - start;
    return platform_monotonic_ns() - start;
}

// A command code no service knows (codes 3 and 4 are chrony's samples): it
// answers "unknown command" and leaves the clock.
constexpr int32_t kUnknownCommand = 9;

// One acknowledged command (a set to the current time, or one the service
// does not know): the round trip in ns, < 0 when the answer was not the expected one.
int64_t channel_sample(int32_t command)
{
    int64_t cur_ft = truncate_to_ms(platform_clock_read_ft());
    int64_t start = platform_monotonic_ns();
    PostOutcome outcome = post_time_command_acknowledged(command, cur_ft, cur_ft, 2000);
    if (outcome != (command == kCommandSetTime ? PostOutcome::applied : PostOutcome::unknown_command))
        return -1;
    return platform_monotonic_ns() - start;
}

}  // namespace

constexpr char kUsage[] =
    "Usage: channel_latency [POSTS]\n"
    "       channel_latency --help | --version\n"
    "POSTS commands (default 1000) through the real channel to clockkeeper debug on\n"
    "a sandbox clock, and the bare AF_UNIX floor beside them.\n"
    "Its last line is one key=value line of the figures.\n";

int main(int argc, char** argv)
{
    if (answer_help_or_version(argc, argv, "channel_latency", kUsage))
        return 0;
    int posts = bench_count_arg(argc, argv, 1000);
    std::string dir = bench_sandbox("channel_latency", "satclock-bench", "scbench_");
    if (dir.empty())
        return 1;
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" debug 2>/dev/null", bench_bin_dir() + "/clockkeeper"});
    int sender = -1;
    pid_t floor = start_floor(dir + "/floor.sock", dir + "/floor-sender.sock", &sender);
    int lost = 0;
    std::vector<int64_t> set, channel, bare, bare_one_way;
    if (pid > 0 && floor > 0 && bench_wait_for_service(5000)) {
        // Our own wake is part of both figures: keep it out of the machine's
        // load where we may (root), so the samples show the channel's delay.
        platform_realtime_priority_enter();
        for (int i = -20; i < posts; ++i) {  // the first 20 warm up
            int64_t one_way = 0;
            int64_t set_ns = channel_sample(kCommandSetTime);
            int64_t unknown_ns = channel_sample(kUnknownCommand);
            int64_t floor_ns = floor_sample(sender, &one_way);
            if (i < 0)
                continue;
            lost += set_ns < 0 || unknown_ns < 0 || floor_ns < 0;
            if (set_ns >= 0)
                set.push_back(set_ns);
            if (unknown_ns >= 0)
                channel.push_back(unknown_ns);
            if (floor_ns >= 0) {
                bare.push_back(floor_ns);
                bare_one_way.push_back(one_way);
            }
            usleep(1000);
        }
        platform_realtime_priority_leave();
    }
    bench_stop_child(pid, SIGTERM, 5000);
    bench_stop_child(floor, SIGKILL, 5000);
    if (sender >= 0)
        close(sender);
    std::filesystem::remove_all(dir);

    if (set.empty() || channel.empty() || bare.empty()) {
        std::printf("channel_latency: no sample (is build/bin/clockkeeper there?)\n");
        return 1;
    }
    BenchFigures s = figures_ms(set), c = figures_ms(channel), f = figures_ms(bare), one = figures_ms(bare_one_way);
    std::printf("acknowledged set, sandbox clock (post to acknowledgement): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                s.p50, s.p99, s.max);
    std::printf("acknowledged unknown command, clock untouched (the channel's road): p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                c.p50, c.p99, c.max);
    std::printf("bare floor (datagram to a polling peer and back): p50 %.3f ms, p99 %.3f ms, max %.3f ms; "
                "one way to the peer's wake: p50 %.3f ms, p99 %.3f ms\n",
                f.p50, f.p99, f.max, one.p50, one.p99);
    std::printf("posts=%d lost=%d set_p50_ms=%.3f set_p99_ms=%.3f p50_ms=%.3f p99_ms=%.3f floor_p50_ms=%.3f "
                "floor_p99_ms=%.3f floor_oneway_p99_ms=%.3f floor_ratio_p99=%.2f\n",
                posts, lost, s.p50, s.p99, c.p50, c.p99, f.p50, f.p99, one.p99, f.p99 > 0 ? c.p99 / f.p99 : 0.0);
    return lost ? 1 : 0;
}
