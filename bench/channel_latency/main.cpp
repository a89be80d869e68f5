// Channel latency: set commands posted through the real channel to
// `clockkeeper debug` on a sandbox clock; each sample runs from the post to
// the service's clock set, seen as the sandbox clock file being replaced
// (inotify), both stamped on the monotonic clock.
//
// Usage: channel_latency [posts]   (default 1000)
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/named_event.h"
#include "platform/process.h"
#include "platform/shm.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

// Wait for the clock file to be renamed into place; false after timeout_ms.
bool wait_for_clock_set(int fd, int timeout_ms)
{
    alignas(inotify_event) char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        if (poll(&p, 1, timeout_ms) <= 0)
            return false;
        ssize_t n = read(fd, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            auto* event = reinterpret_cast<inotify_event*>(buffer + at);
            if ((event->mask & IN_MOVED_TO) && event->len && std::strcmp(event->name, "clock") == 0)
                return true;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

// One post of a set to the current time; the result in milliseconds, < 0 when lost.
double one_sample(int watch_fd)
{
    int64_t cur_ft = platform_clock_read_ft() / 10000 * 10000;
    int64_t start = platform_monotonic_ns();
    post_time_command(kCommandSetTime, cur_ft, cur_ft);
    if (!wait_for_clock_set(watch_fd, 2000))
        return -1;
    return double(platform_monotonic_ns() - start) / 1e6;
}

double percentile(const std::vector<double>& sorted, double p)
{
    size_t index = size_t(p * double(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv)
{
    int posts = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (posts < 1)
        posts = 1000;
    std::string tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string dir = tmp + "/satclock-bench.XXXXXX";
    if (!mkdtemp(dir.data())) {
        std::perror("channel_latency: mkdtemp");
        return 1;
    }
    setenv("SATCLOCK_CLOCK_FILE", (dir + "/clock").c_str(), 1);
    setenv("SATCLOCK_CHANNEL_PREFIX", ("scbench" + std::to_string(getpid()) + "_").c_str(), 1);
    int watch_fd = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch_fd, dir.c_str(), IN_MOVED_TO);

    std::string service = std::filesystem::path(process_self_path()).parent_path() / "clockkeeper";
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" debug 2>/dev/null", service});
    int lost = 0;
    std::vector<double> samples;
    // Our own wake on the inotify event is not the figure: keep it out of the
    // machine's load where we may (root), so the samples show the service's delay.
    platform_realtime_priority_enter();
    for (int warm = 0; warm < 20; ++warm)
        one_sample(watch_fd);
    for (int i = 0; i < posts; ++i) {
        double ms = one_sample(watch_fd);
        if (ms < 0)
            ++lost;
        else
            samples.push_back(ms);
        usleep(1000);
    }

    platform_realtime_priority_leave();
    kill(pid, SIGTERM);
    process_wait(pid, 5000);
    platform_shm_unlink(channel_share_name());
    platform_named_event_unlink(channel_event_name());
    std::filesystem::remove_all(dir);

    if (samples.empty()) {
        std::printf("channel_latency: no clock set seen (is build/bin/clockkeeper there?)\n");
        return 1;
    }
    std::sort(samples.begin(), samples.end());
    std::printf("posts=%d seen=%zu lost=%d min_ms=%.3f\n", posts, samples.size(), lost, samples.front());
    std::printf("p50_ms=%.3f p99_ms=%.3f max_ms=%.3f\n", percentile(samples, 0.5), percentile(samples, 0.99),
                samples.back());
    return lost ? 1 : 0;
}
