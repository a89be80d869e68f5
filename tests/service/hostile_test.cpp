// The real clockkeeper program against what any local account can do to the
// channel: shrink the block, flood the event's count, lock the block, take
// the names over; and the acknowledgement a sender waits for.
#include "clockkeeper/clock_commands.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "platform/shm.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/test_env.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kMs = kFileTimeTicksPerMs;
constexpr int64_t kHour = 3600 * 1000 * kMs;
const std::string kWorkerStart = "[main_clockkeeper_thread] start";
const std::vector<std::string> kNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};

std::string block_path() { return "/dev/shm" + channel_share_name(); }
std::string event_path() { return "/dev/shm/sem." + channel_event_name().substr(1); }

int64_t now_ft() { return truncate_to_ms(platform_clock_read_ft()); }

// A set one hour ahead, waited for as satclock waits for it.
PostOutcome post_hour_ahead() { return post_time_command_acknowledged(kCommandSetTime, now_ft(), now_ft() + kHour, 500); }

int sh(const std::string& script, const std::vector<std::string>& args = {}, const std::vector<std::string>& prefix = {})
{
    std::vector<std::string> argv = prefix;
    argv.insert(argv.end(), {"sh", "-c", script});
    argv.insert(argv.end(), args.begin(), args.end());
    return process_run(argv);
}

uid_t owner_of(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_uid : uid_t(-1);
}

// User and system CPU time of a process, in clock ticks.
long long cpu_ticks(pid_t pid)
{
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t at = stat.rfind(')');
    long long utime = 0, stime = 0;
    if (at == std::string::npos ||
        std::sscanf(stat.c_str() + at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lld %lld", &utime, &stime) != 2)
        return -1;
    return utime + stime;
}

void signal_event()
{
    NamedEvent* event = open_command_event();
    signal_command_event(event);
    close_command_event(event);
}

class HostileAccount : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("NOTIFY_SOCKET"); }
    void require_nobody()
    {
        if (geteuid() != 0 || process_run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "true"}) != 0)
            GTEST_SKIP() << "needs root, to act as another account (nobody)";
    }
    TestSandbox sandbox;
    ChannelCleanup channel;
};

TEST_F(HostileAccount, ShrunkenBlockIsASkippedCommandAndTheNextOneLands)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    ASSERT_EQ(sh("truncate -s 0 \"$0\"", {block_path()}), 0);
    signal_event();
    ASSERT_TRUE(service.wait_for_err("block is 0 bytes, too short for a command; skipped")) << service.err();
    EXPECT_EQ(service.wait(0), -2) << "the service died\n" << service.err();
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 3600000.0, 2000.0);
    // The sender finds it shrunk too: it grows the block and writes.
    ASSERT_EQ(sh("truncate -s 0 \"$0\"", {block_path()}), 0);
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 7200000.0, 2000.0);
    // A shrunken semaphore file: the sender gives up instead of faulting.
    ASSERT_EQ(sh("truncate -s 0 \"$0\"", {event_path()}), 0);
    EXPECT_EQ(post_hour_ahead(), PostOutcome::no_channel);
    EXPECT_EQ(post_time_command(kCommandSetTime, now_ft(), now_ft()), 1) << "the block is still written";
}

TEST_F(HostileAccount, SaturatedEventCountCostsLittleAndStopStillWorks)
{
    // The count written from outside wakes no one: the service finds it at
    // its next wake, here after 200 ms instead of a minute.
    setenv("SATCLOCK_WAIT_TIMEOUT_MS", "200", 1);
    ClockkeeperRun service(sandbox, "ck", {});
    unsetenv("SATCLOCK_WAIT_TIMEOUT_MS");
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    ASSERT_EQ(sh("printf '\\377\\377\\377\\177' | dd of=\"$0\" bs=4 count=1 conv=notrunc status=none", {event_path()}), 0);
    ASSERT_TRUE(service.wait_for_err("command event flooded")) << service.err();
    long long before = cpu_ticks(service.pid());
    sleep_ms(2000);
    double share = double(cpu_ticks(service.pid()) - before) / double(sysconf(_SC_CLK_TCK)) / 2.0;
    std::printf("service CPU share under a saturated event: %.4f\n", share);
    // Spinning on the count would be a whole core.
    EXPECT_LT(share, 0.25);
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(1000), 0) << "not stopped within one second\n" << service.err();
}

TEST_F(HostileAccount, ExclusiveLockOnTheBlockStopsNeitherSide)
{
    require_nobody();
    ASSERT_EQ(smem_create_memory(), 1);
    smem_close_memory();
    std::vector<std::string> holder_argv = kNobody;
    // One process that holds the lock itself, so that killing it releases it.
    holder_argv.insert(holder_argv.end(),
                       {"sh", "-c", "exec 9<\"$0\" && flock -x 9 && exec sleep 30", block_path()});
    pid_t holder = process_spawn(holder_argv);
    ASSERT_GT(holder, 0);
    int fd = platform_shm_open(channel_share_name(), kSharedBlockSize);
    for (int i = 0; i < 500 && platform_shm_hold(fd, 0) == 0; ++i) {
        platform_shm_close(fd);
        sleep_ms(10);
        fd = platform_shm_open(channel_share_name(), kSharedBlockSize);
    }
    platform_shm_close(fd);

    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err("the block is locked by another process")) << service.err();
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();

    kill(holder, SIGKILL);
    process_wait(holder, 5000);
    EXPECT_TRUE(service.wait_for_err("presence lock on the block taken", 1, 5000)) << service.err();
}

TEST_F(HostileAccount, NamesOfAnotherAccountAreTakenOverAtStartAndWhileRunning)
{
    require_nobody();
    setenv("SATCLOCK_WAIT_TIMEOUT_MS", "200", 1);
    const std::string create = "head -c 256 /dev/zero >\"$0\" && head -c 32 /dev/zero >\"$1\"";
    ASSERT_EQ(sh(create, {block_path(), event_path()}, kNobody), 0);
    ASSERT_EQ(owner_of(block_path()), 65534u);
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    unsetenv("SATCLOCK_WAIT_TIMEOUT_MS");
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    EXPECT_EQ(owner_of(block_path()), 0u);
    EXPECT_EQ(owner_of(event_path()), 0u);

    platform_shm_unlink(channel_share_name());
    platform_named_event_unlink(channel_event_name());
    ASSERT_EQ(sh(create, {block_path(), event_path()}, kNobody), 0);
    EXPECT_TRUE(service.wait_for_err("command event removed or replaced; taking the name back")) << service.err();
    EXPECT_TRUE(service.wait_for_err("block removed or replaced; taking the name back")) << service.err();
    EXPECT_EQ(owner_of(block_path()), 0u);
    EXPECT_EQ(owner_of(event_path()), 0u);
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
}

TEST_F(HostileAccount, OnlyAnAppliedCommandCounts)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    PostOutcome refused = post_time_command_acknowledged(kCommandSetTime, now_ft(), 0, 500);
    EXPECT_EQ(refused, PostOutcome::refused);
    EXPECT_FALSE(post_outcome_counts(refused));

    // A service that hangs: no acknowledgement, and the command is taken back.
    service.signal(SIGSTOP);
    sleep_ms(100);
    PostOutcome hung = post_hour_ahead();
    EXPECT_EQ(hung, PostOutcome::no_ack);
    EXPECT_FALSE(post_outcome_counts(hung));
    ASSERT_EQ(smem_create_memory(), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), kCommandEmpty) << "the unacknowledged command stayed";
    smem_close_memory();
    service.signal(SIGCONT);

    // A dead service: nobody holds the block.
    service.signal(SIGKILL);
    service.wait(5000);
    PostOutcome dead = post_hour_ahead();
    EXPECT_EQ(dead, PostOutcome::no_service);
    EXPECT_FALSE(post_outcome_counts(dead));
    EXPECT_FALSE(sandbox.clock_was_set()) << "the clock was set";

    // A service that knows nothing of acknowledgements (it holds the block
    // but never marked it): the command counts as written, as it always did.
    ASSERT_EQ(sh("dd if=/dev/zero of=\"$0\" bs=1 seek=20 count=4 conv=notrunc status=none", {block_path()}), 0);
    pid_t older = process_spawn({"sh", "-c", "exec 9<\"$0\" && flock -s 9 && exec sleep 30", block_path()});
    sleep_ms(200);
    PostOutcome written = post_hour_ahead();
    EXPECT_EQ(written, PostOutcome::unacknowledged);
    EXPECT_TRUE(post_outcome_counts(written));
    kill(older, SIGKILL);
    process_wait(older, 5000);
}

}  // namespace
