// The real clockkeeper program against what another local account (nobody)
// can do to the channel: shrink the block, flood the socket, plant objects at
// the names, answer in the service's place, write stray commands.
#include "clockkeeper/clock_commands.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/test_env.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int64_t kMs = kFileTimeTicksPerMs;
constexpr int64_t kHour = 3600 * 1000 * kMs;
constexpr uid_t kNobody = 65534;
const std::string kWorkerStart = "[main_clockkeeper_thread] start";

int64_t now_ft() { return truncate_to_ms(platform_clock_read_ft()); }

// A set one hour ahead, waited for as satclock waits for it (longer, for a loaded machine).
PostOutcome post_hour_ahead(int timeout_ms = 5000)
{
    return post_time_command_acknowledged(kCommandSetTime, now_ft(), now_ft() + kHour, timeout_ms);
}

std::vector<std::string> as_nobody(const std::vector<std::string>& argv)
{
    std::vector<std::string> all = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

// `script` run by sh as nobody, with $0, $1, ... from args.
int nobody_sh(const std::string& script, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {"sh", "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    return process_run(as_nobody(argv));
}

struct stat stat_of(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

// A process of the other account, killed at the end of the test.
class NobodyProcess {
public:
    explicit NobodyProcess(const std::vector<std::string>& argv) : pid_(process_spawn(as_nobody(argv))) {}
    ~NobodyProcess()
    {
        kill(pid_, SIGKILL);
        process_wait(pid_, 5000);
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_;
};

class HostileAccount : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("NOTIFY_SOCKET");
        if (geteuid() != 0 || process_run(as_nobody({"true"})) != 0)
            GTEST_SKIP() << "needs root, to act as another account (nobody)";
        // The other account reaches the channel's folder and runs the peer from here.
        chmod(sandbox.dir().c_str(), 0755);
        fs::copy_file(build_dir() + "/tests/channel_peer", peer);
    }
    TestSandbox sandbox;
    std::string peer = sandbox.path("channel_peer");
};

TEST_F(HostileAccount, ShrunkenBlockIsASkippedCommandAndTheNextOneLands)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    ASSERT_EQ(process_run(as_nobody({"truncate", "-s", "0", channel_share_path()})), 0);
    ASSERT_EQ(process_run(as_nobody({peer, "signal", channel_event_path()})), 0);
    ASSERT_TRUE(service.wait_for_err("block is 0 bytes, too short for a command; skipped")) << service.err();
    EXPECT_EQ(service.wait(0), -2) << "the service died\n" << service.err();
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 3600000.0, 2000.0);
}

TEST_F(HostileAccount, NothingAtTheNamesStopsAStartAndNoOneElseCanPutAnythingThere)
{
    // A folder left open to all, in which the other account planted a folder
    // at the block's name and a link to a file of root's at the event's.
    std::string dir = sandbox.path("channel");
    std::string precious = sandbox.path("precious");
    std::ofstream(precious) << "keep";
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(nobody_sh("mkdir -p \"$0/inside\" && ln -s \"$2\" \"$1\"",
                        {channel_share_path(), channel_event_path(), precious}), 0);

    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    EXPECT_EQ(stat_of(dir).st_mode, S_IFDIR | 0755u);
    EXPECT_EQ(stat_of(channel_share_path()).st_mode, S_IFREG | 0666u);
    EXPECT_EQ(stat_of(channel_share_path()).st_uid, 0u);
    EXPECT_EQ(stat_of(channel_event_path()).st_mode, S_IFSOCK | 0666u);
    EXPECT_EQ(read_file(precious), "keep") << "the link was followed";
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();

    // From now on the other account can neither add, remove nor replace a name.
    for (const char* script : {"mkdir \"$0/x\"", "rm -f \"$1\"", "mv \"$1\" \"$0/y\"", "ln -sf /etc/passwd \"$2\"",
                               ": > \"$0/z\""}) {
        EXPECT_NE(nobody_sh(script, {dir, channel_share_path(), channel_event_path()}), 0) << script;
    }
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 7200000.0, 2000.0);
}

TEST_F(HostileAccount, FloodedServiceKeepsApplyingAndStopsWithinASecond)
{
    ClockkeeperRun service(sandbox, "ck", {});  // as systemd starts it: SIGTERM is its stop
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    NobodyProcess flood({peer, "flood", channel_event_path()});
    ASSERT_TRUE(service.wait_for_err("command socket flooded")) << service.err();
    for (int hours = 1; hours <= 3; ++hours)
        EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << hours;
    EXPECT_NEAR(clock_moved_ms(sandbox), 3 * 3600000.0, 2000.0);
    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(1000), 0) << "not stopped within one second\n" << service.err();
}

TEST_F(HostileAccount, ForgedAcknowledgementFromAnotherAccountIsNotCounted)
{
    // Root's folder and block, and at the event's name a socket of the other
    // account's that answers every signal with "applied" for the sequence it
    // reads in the block.
    ASSERT_EQ(smem_create_own_memory(), 1);
    smem_close_memory();
    std::string own = sandbox.path("nobody");
    fs::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), kNobody, kNobody), 0);
    NobodyProcess forger({peer, "answer", own + "/event", channel_share_path()});
    // Bound, and opened to all: the forger is done with the name.
    ASSERT_TRUE(wait_until([&] { return stat_of(own + "/event").st_mode == (S_IFSOCK | 0666u); }));
    fs::rename(own + "/event", channel_event_path());

    PostOutcome outcome = post_hour_ahead(500);
    EXPECT_EQ(outcome, PostOutcome::foreign_reply);
    EXPECT_FALSE(post_outcome_counts(outcome));
    ASSERT_EQ(smem_create_memory(), 1);
    EXPECT_EQ(smem_read_command(nullptr, nullptr), kCommandEmpty) << "the unacknowledged command stayed";
    smem_close_memory();
}

TEST_F(HostileAccount, StrayCommandsOfAnotherAccountAreDroppedWithItsUidLogged)
{
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    struct Stray {
        const char* bytes;  // printf text of the command word and cur_ft
        const char* line;
    } strays[] = {
        {"\\007\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000", "unknown command 7 ignored"},
        {"\\001\\000\\000\\000\\377\\377\\377\\377\\377\\377\\377\\377", "set time refused"},
    };
    for (const Stray& stray : strays) {
        std::string write = std::string("printf '") + stray.bytes + "' | dd of=\"$0\" bs=12 count=1 conv=notrunc status=none";
        ASSERT_EQ(nobody_sh(write, {channel_share_path()}), 0);
        ASSERT_EQ(process_run(as_nobody({peer, "signal", channel_event_path()})), 0);
        EXPECT_TRUE(service.wait_for_err(stray.line)) << service.err();
    }
    std::string err = service.err();
    EXPECT_EQ(count_of(err, "signalled by uid 65534"), 2) << err;
    EXPECT_FALSE(sandbox.clock_was_set()) << "the clock was set";
}

TEST(ServiceAnswers, OnlyAnAppliedCommandCounts)
{
    TestSandbox sandbox;
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    PostOutcome refused = post_time_command_acknowledged(kCommandSetTime, now_ft(), 0, 5000);
    EXPECT_EQ(refused, PostOutcome::refused);
    EXPECT_FALSE(post_outcome_counts(refused));

    service.signal(SIGKILL);
    service.wait(5000);
    PostOutcome dead = post_hour_ahead();
    EXPECT_EQ(dead, PostOutcome::no_service);
    EXPECT_FALSE(post_outcome_counts(dead));
    EXPECT_FALSE(sandbox.clock_was_set()) << "the clock was set";
}

}  // namespace
