// The PC clock through clock_gettime/clock_settime, or the sandbox clock file.
#include "platform/clock.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> sandbox_set_denied{false};

const char* sandbox_path()
{
    const char* path = std::getenv("SATCLOCK_CLOCK_FILE");
    return (path && *path) ? path : nullptr;
}

int64_t realtime_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// A missing, empty or unreadable file is offset 0: the sandbox then runs on real time.
int64_t sandbox_offset_ns(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[64];
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    errno = 0;
    long long offset = std::strtoll(text, nullptr, 10);
    return errno ? 0 : offset;
}

// Write the new offset to a temporary file beside the old one and rename it
// over it: a reader in another process sees the old or the new line, never half.
int sandbox_write_offset(const char* path, int64_t offset_ns)
{
    std::string temp = std::string(path) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return EIO;
    char line[32];
    int len = std::snprintf(line, sizeof line, "%lld\n", static_cast<long long>(offset_ns));
    bool ok = write(fd, line, len) == len;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(temp.c_str(), path) == 0)
        return 0;
    unlink(temp.c_str());
    return EIO;
}

}  // namespace

bool platform_clock_is_sandbox() { return sandbox_path() != nullptr; }

void platform_clock_sandbox_deny_set(bool deny) { sandbox_set_denied.store(deny); }

int64_t platform_clock_read_ns()
{
    const char* path = sandbox_path();
    int64_t now = realtime_ns();
    return path ? now + sandbox_offset_ns(path) : now;
}

int64_t platform_clock_machine_now_ns() { return realtime_ns(); }

int64_t platform_clock_machine_ns(int64_t pc_ns)
{
    const char* path = sandbox_path();
    return path ? pc_ns - sandbox_offset_ns(path) : pc_ns;
}

int64_t platform_clock_read_ft() { return file_time_from_unix_ns(platform_clock_read_ns()); }

int platform_clock_set_ns(int64_t utc_ns)
{
    if (utc_ns < 0)
        return EINVAL;
    if (const char* path = sandbox_path())
        return sandbox_set_denied.load() ? EPERM : sandbox_write_offset(path, utc_ns - realtime_ns());
    timespec ts{};
    ts.tv_sec = utc_ns / 1000000000LL;
    ts.tv_nsec = utc_ns % 1000000000LL;
    return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno;
}

int platform_clock_set_ft(int64_t file_time)
{
    // Outside 1970 .. year 29000 the nanosecond count would overflow.
    if (file_time < kFileTimeUnixEpoch || file_time - kFileTimeUnixEpoch > INT64_MAX / kNsPerFileTimeTick)
        return EINVAL;
    return platform_clock_set_ns(unix_ns_from_file_time(file_time));
}

namespace {

// The calling thread's scheduling before platform_realtime_priority_enter: a
// thread that runs at real-time priority of its own goes back to it.
thread_local int policy_before = SCHED_OTHER;
thread_local sched_param param_before{};

}  // namespace

void platform_realtime_priority_enter()
{
    if (pthread_getschedparam(pthread_self(), &policy_before, &param_before) != 0) {
        policy_before = SCHED_OTHER;
        param_before = sched_param{};
    }
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

void platform_realtime_priority_leave()
{
    pthread_setschedparam(pthread_self(), policy_before, &param_before);
}

int64_t platform_monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}
