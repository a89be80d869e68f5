// Two real processes over the real channel: this test posts, the clockkeeper
// program applies, on the sandbox clock. And the service's stop on SIGTERM.
#include "clockkeeper/clock_commands.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/datagram.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/post_command.h"
#include "tests/support/test_env.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr int64_t kMs = kFileTimeTicksPerMs;
constexpr int64_t kHour = 3600 * 1000 * kMs;
const std::string kWorkerStart = "[main_clockkeeper_thread] start";

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { unsetenv(name_); }

private:
    const char* name_;
};

int64_t clock_now_ms_ft() { return truncate_to_ms(platform_clock_read_ft()); }

// The numbers of the first "set time" line: now, cur_ft, target, delay (ms).
struct SetLine {
    long long curh = 0, curc = 0, target = 0, dt = 0;
};

bool parse_set_line(const std::string& err, SetLine* line)
{
    size_t at = err.find("[main_clockkeeper_thread] set time curh=");
    return at != std::string::npos &&
           std::sscanf(err.c_str() + at, "[main_clockkeeper_thread] set time curh=%lld curc=%lld new=%lld dt=%lld",
                       &line->curh, &line->curc, &line->target, &line->dt) == 4;
}

// kill(SIGSTOP) returns before the threads have stopped: wait until every
// thread of the process shows the stopped state.
bool wait_until_stopped(pid_t pid)
{
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    return wait_until(
        [&] {
            std::error_code error;
            for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
                std::string stat = read_file(task.path().string() + "/stat");
                size_t end = stat.rfind(')');
                char state = end == std::string::npos || end + 2 >= stat.size() ? '?' : stat[end + 2];
                if (state != 'T' && state != 't')
                    return false;
            }
            return !error;
        },
        5000);
}

class ChannelWithService : public ::testing::Test {
protected:
    TestSandbox sandbox;
};

// A set is moved on by the time since its sender read the clock; a shift is
// not.
TEST_F(ChannelWithService, SetThatArrives250MsLateIsMovedOnBy250MsAndAShiftIsNot)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart));
    // The sender read its clock 250 ms ago, and new_ft was right at that instant.
    int64_t cur_ft = clock_now_ms_ft() - 250 * kMs;
    int64_t new_ft = cur_ft + kHour;
    int64_t posted_ns = platform_monotonic_ns();
    ASSERT_EQ(post_time_command(kCommandSetTime, cur_ft, new_ft), 1);
    ASSERT_TRUE(service.wait_for_err("set time curh=")) << service.err();
    double took_ms = double(platform_monotonic_ns() - posted_ns) / 1e6;

    SetLine line;
    ASSERT_TRUE(parse_set_line(service.err(), &line)) << service.err();
    EXPECT_EQ(line.curc, cur_ft / kMs);
    EXPECT_EQ(line.dt, line.curh - line.curc);
    EXPECT_GE(line.dt, 250);
    EXPECT_EQ(line.target, new_ft / kMs + line.dt) << "new_ft + the delay";
    // Compensated for the whole delay: the clock now runs one hour ahead, less
    // what ran on between the service's reading and its set.
    double moved_ms = clock_moved_ms(sandbox);
    EXPECT_LE(moved_ms, 3600000.0 + 2.0);
    EXPECT_GE(moved_ms, 3600000.0 - took_ms - 2.0);

    posted_ns = platform_monotonic_ns();
    ASSERT_EQ(post_time_command(kCommandShiftTime, clock_now_ms_ft() - 250 * kMs, -5000), 1);
    ASSERT_TRUE(service.wait_for_err("[main_clockkeeper_thread] shift time dt=")) << service.err();
    took_ms = double(platform_monotonic_ns() - posted_ns) / 1e6;
    double shifted_ms = clock_moved_ms(sandbox) - moved_ms;
    EXPECT_LE(shifted_ms, -5000.0 + 2.0);
    EXPECT_GE(shifted_ms, -5000.0 - took_ms - 2.0);
}

// And a datagram that holds no command is logged as such.
TEST_F(ChannelWithService, StrayCommandsAndImpossibleTimesAreAnsweredAndLeaveTheClock)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart));
    int64_t now = clock_now_ms_ft();
    struct Post {
        int32_t command;
        int64_t cur_ft;
        int64_t new_ft;
        PostOutcome outcome;
    } posts[] = {
        {5, now, now + kHour, PostOutcome::unknown_command},
        {kCommandChronySample, now, now + kHour, PostOutcome::not_delivered},
        {-1, now, now + kHour, PostOutcome::unknown_command},
        {INT32_MAX, now, now + kHour, PostOutcome::unknown_command},
        {0x101, now, now + kHour, PostOutcome::unknown_command},
        {kCommandSetTime, now, 0, PostOutcome::refused},
        {kCommandSetTime, -1, now, PostOutcome::refused},
        {kCommandSetTime, now, kSettableEndFt, PostOutcome::refused},
        {kCommandShiftTime, now, INT64_MIN, PostOutcome::refused},
        {kCommandShiftTime, now, 1844674407370955LL, PostOutcome::refused},
    };
    for (const Post& post : posts)
        EXPECT_EQ(post_time_command_acknowledged(post.command, post.cur_ft, post.new_ft, 5000), post.outcome)
            << post.command << " " << post.new_ft << "\n" << service.err();
    // One line a second per account and kind, the first of each at once.
    std::string err = service.err();
    EXPECT_GE(count_of(err, "unknown command 5 ignored"), 1) << err;
    EXPECT_GE(count_of(err, "chrony sample not delivered"), 1) << err;
    EXPECT_GE(count_of(err, "set time refused"), 1) << err;
    EXPECT_LE(count_of(err, "ignored (uid"), 2) << err;
    EXPECT_FALSE(sandbox.clock_was_set()) << "the clock was set";

    CommandEvent* event = open_command_event();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(platform_datagram_send(event->fd, "x", 1), 0);
    close_command_event(event);
    EXPECT_TRUE(service.wait_for_err("[main_clockkeeper_thread] no command!")) << service.err();
}

// An idle worker wakes on its time-out and waits again; two posts that come
// before it wakes are each applied, in their order.
TEST_F(ChannelWithService, IdleWorkerWaitsAgainAndTwoPostsBeforeItWakesAreEachAppliedInTheirOrder)
{
    ScopedEnv timeout("SATCLOCK_WAIT_TIMEOUT_MS", "100");
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err("[main_clockkeeper_thread] timeout", 3)) << service.err();
    EXPECT_FALSE(sandbox.clock_was_set());
    service.signal(SIGSTOP);
    ASSERT_TRUE(wait_until_stopped(service.pid()));
    int64_t cur_ft = clock_now_ms_ft();
    ASSERT_EQ(post_time_command(kCommandSetTime, cur_ft, cur_ft + kHour), 1);
    ASSERT_EQ(post_time_command(kCommandSetTime, cur_ft, cur_ft + 2 * kHour), 1);
    service.signal(SIGCONT);

    ASSERT_TRUE(service.wait_for_err("set time curh=", 2)) << service.err();
    std::string err = service.err();
    EXPECT_EQ(count_of(err, "no command!"), 0) << err;
    // The second set is moved on by all the time since its sender read the
    // clock, the first set's hour included: two hours plus one.
    EXPECT_NEAR(clock_moved_ms(sandbox), 10800000.0, 2000.0) << "not both applied, in their order";
}

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : fd_(platform_datagram_bind(path, 0600)) {}
    ~NotifySocket() { platform_datagram_close(fd_); }
    bool bound() const { return fd_ >= 0; }
    // What came, until nothing more comes for 200 ms.
    std::vector<std::string> messages()
    {
        std::vector<std::string> all;
        char buffer[512];
        DatagramPeer from{};
        while (platform_datagram_wait(fd_, -1, 200) == kDatagramWaitReadable)
            for (ssize_t n; (n = platform_datagram_receive(fd_, buffer, sizeof buffer, &from)) >= 0;)
                all.emplace_back(buffer, size_t(n));
        return all;
    }

private:
    int fd_;
};

TEST_F(ChannelWithService, SigtermStopsWorkerThenSupervisorThenReportsStopped)
{
    NotifySocket notify(sandbox.path("notify"));
    ASSERT_TRUE(notify.bound());
    ScopedEnv socket_env("NOTIFY_SOCKET", sandbox.path("notify"));
    ClockkeeperRun service(sandbox, "ck", {});
    ASSERT_TRUE(service.wait_for_err("[service_status] RUNNING")) << service.err();
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();

    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(1000), 0) << "not stopped within one second\n" << service.err();

    std::string err = service.err();
    std::vector<std::string> order = {"[main] before load service", "[service_status] START_PENDING",
                                      "[service_status] RUNNING", "[service_status] STOP_PENDING",
                                      "[main_clockkeeper_thread] stop", "[service_supervisor_thread] stop",
                                      "[service_status] STOPPED controls=1 exit=0", "[main] exit service ok"};
    size_t at = 0;
    for (const std::string& line : order) {
        size_t found = err.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << err;
        at = found;
    }
    EXPECT_EQ(notify.messages(),
              (std::vector<std::string>{"STATUS=Starting (checkpoint 1)", "READY=1\nSTATUS=Running",
                                        "STOPPING=1\nSTATUS=Stopping (checkpoint 2)", "STATUS=Stopped"}));
}

TEST_F(ChannelWithService, ServiceWithoutItsChannelFailsItsStartAndNeverSaysReady)
{
    NotifySocket notify(sandbox.path("notify"));
    ASSERT_TRUE(notify.bound());
    ScopedEnv socket_env("NOTIFY_SOCKET", sandbox.path("notify"));
    // A slash inside the name: neither the event nor the block can be had.
    ScopedEnv prefix("SATCLOCK_CHANNEL_PREFIX", "no/such/");
    ClockkeeperRun service(sandbox, "ck", {});
    EXPECT_EQ(service.wait(5000), 1) << service.err();
    std::string err = service.err();
    EXPECT_NE(err.find("[service_main] the channel cannot be opened: start failed"), std::string::npos) << err;
    std::vector<std::string> messages = notify.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "STATUS=Starting (checkpoint 1)");
    EXPECT_EQ(messages[1].rfind("STATUS=Stopped\nERRNO=", 0), 0u) << messages[1];

    ClockkeeperRun debug(sandbox, "debug", {"debug"});
    EXPECT_EQ(debug.wait(5000), 0) << debug.err();
}

}  // namespace
