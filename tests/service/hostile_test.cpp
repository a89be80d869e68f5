// The real clockkeeper program against other local accounts: members of its
// group (made for the test) and root may move the clock and feed chrony;
// nobody, outside the group, reaches neither, floods (with junk) in vain,
// answers in the service's place in vain, and plants nothing at the names.
#include "clockkeeper/clock_commands.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/datagram.h"
#include "platform/process.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/test_env.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int64_t kMs = kFileTimeTicksPerMs;
constexpr int64_t kHour = 3600 * 1000 * kMs;
constexpr uid_t kNobody = 65534;
const std::string kWorkerStart = "[main_clockkeeper_thread] start";
const std::string kNotPermitted = "this account may not set the clock";

int64_t now_ft() { return truncate_to_ms(platform_clock_read_ft()); }

// A set one hour ahead, waited for as satclock waits for it (longer, for a loaded machine).
PostOutcome post_hour_ahead(int timeout_ms = 5000)
{
    return post_time_command_acknowledged(kCommandSetTime, now_ft(), now_ft() + kHour, timeout_ms);
}

std::vector<std::string> joined(std::vector<std::string> head, const std::vector<std::string>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// nobody with no group at all, or with `group` among its process's groups
// (a session that began while the account was still a member).
std::vector<std::string> as_nobody(const std::vector<std::string>& argv, gid_t group = gid_t(-1))
{
    std::string groups = group == gid_t(-1) ? "--clear-groups" : "--groups=" + std::to_string(group);
    return joined({"setpriv", "--reuid=65534", "--regid=65534", groups}, argv);
}

// A member logs in: runuser gives it the groups of the databases.
std::vector<std::string> as_account(const std::string& name, const std::vector<std::string>& argv)
{
    return joined({"runuser", "-u", name, "--"}, argv);
}

int nobody_sh(const std::string& script, const std::vector<std::string>& args)
{
    return process_run(as_nobody(joined({"sh", "-c", script}, args)));
}

struct stat stat_of(const std::string& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

// Every path under `dir` with its size and change time, but the sandbox clock
// and the channel's folder (the service's own): what else was written shows.
std::string tree_of(const std::string& dir, const std::vector<std::string>& own)
{
    std::string listing;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        std::string path = entry.path().string();
        struct stat st = stat_of(path);
        if (std::none_of(own.begin(), own.end(), [&](const std::string& o) { return path.rfind(o, 0) == 0; }))
            listing += path + " " + std::to_string(st.st_size) + " " + std::to_string(st.st_ctim.tv_nsec) + "\n";
    }
    return listing;
}

// A process of another account, killed at the end of the test.
class OtherProcess {
public:
    explicit OtherProcess(const std::vector<std::string>& argv) : pid_(process_spawn(argv)) {}
    ~OtherProcess()
    {
        kill(pid_, SIGKILL);
        process_wait(pid_, 5000);
    }

private:
    pid_t pid_;
};

// chrony's sample socket, as chronyd binds it: the samples that reach it are counted.
class ChronySocket {
public:
    explicit ChronySocket(const std::string& path) : fd_(platform_datagram_bind(path, 0600)) {}
    ~ChronySocket() { platform_datagram_close(fd_); }
    int samples()
    {
        unsigned char bytes[64];
        DatagramPeer from{};
        while (platform_datagram_receive(fd_, bytes, sizeof bytes, &from) >= 0)
            ++taken_;
        return taken_;
    }

private:
    int fd_;
    int taken_ = 0;
};

class HostileAccount : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("NOTIFY_SOCKET");
        if (geteuid() != 0 || process_run(as_nobody({"true"})) != 0)
            GTEST_SKIP() << "needs root, to act as other accounts";
        // The other accounts reach the channel's folder and run the peer from here.
        chmod(sandbox.dir().c_str(), 0755);
        fs::copy_file(build_dir() + "/tests/channel_peer", peer);
        // No group of this name: the socket is open to all, and the service judges.
        setenv("SATCLOCK_GROUP", ("scnone" + std::to_string(getpid())).c_str(), 1);
    }
    void TearDown() override { unsetenv("SATCLOCK_GROUP"); }
    std::string peer_run(const std::vector<std::string>& argv)
    {
        std::string out;
        process_run_capture(argv, &out);
        return out;
    }
    TestSandbox sandbox;
    std::string peer = sandbox.path("channel_peer");
};

// A group of the test's own with two members, named for the service by SATCLOCK_GROUP.
class GroupAccounts : public HostileAccount {
protected:
    void SetUp() override
    {
        HostileAccount::SetUp();
        if (IsSkipped())
            return;
        std::string suffix = std::to_string(getpid());
        group = "scg" + suffix;
        members = {"scma" + suffix, "scmb" + suffix};
        ASSERT_EQ(process_run({"groupadd", group}), 0);
        for (const std::string& member : members)
            ASSERT_EQ(process_run({"useradd", "-M", "-N", "-g", "nogroup", "-G", group, "-s", "/usr/sbin/nologin",
                                   member}), 0);
        gid = getgrnam(group.c_str())->gr_gid;
        setenv("SATCLOCK_GROUP", group.c_str(), 1);
    }
    void TearDown() override
    {
        HostileAccount::TearDown();
        for (const std::string& member : members)
            process_run({"userdel", member});
        if (!group.empty())
            process_run({"groupdel", group});
    }
    uid_t uid_of(const std::string& name) { return getpwnam(name.c_str())->pw_uid; }
    std::string group;
    std::vector<std::string> members;
    gid_t gid = 0;
};

// A non-member reaches neither the clock nor chrony, is told why, and is
// logged once a minute; members and root land, two members at once never
// mix, and nothing else is written.
TEST_F(GroupAccounts, NonMemberIsRefusedMembersAndRootLandAndNothingElseIsWritten)
{
    ChronySocket chrony(sandbox.path("chrony.sock"));
    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    EXPECT_EQ(stat_of(channel_event_path()).st_mode, S_IFSOCK | 0660u);
    EXPECT_EQ(stat_of(channel_event_path()).st_gid, gid);
    std::vector<std::string> own = {sandbox.path("channel"), sandbox.path("clock"), sandbox.path("ck."),
                                    sandbox.path("chrony.sock")};
    std::string before = tree_of(sandbox.dir(), own);
    for (gid_t groups : {gid_t(-1), gid}) {
        // Outside the group the socket's mode keeps it out; a session that
        // still carries the group (the account left it since) is refused by the service.
        for (const char* kind : {"set", "shift", "sample"}) {
            std::string out = peer_run(as_nobody({peer, "post", kind, "3600000", "2"}, groups));
            EXPECT_EQ(count_of(out, kNotPermitted), 2) << kind << "\n" << out;
            EXPECT_EQ(count_of(out, groups == gid ? "presence=1" : "presence=2"), 1) << out;
        }
    }
    ASSERT_TRUE(service.wait_for_err("uid 65534 may not set the clock")) << service.err();
    EXPECT_EQ(count_of(service.err(), "may not set the clock"), 1) << "more than one line a minute\n" << service.err();
    EXPECT_FALSE(sandbox.clock_was_set()) << "the clock was set";
    EXPECT_EQ(chrony.samples(), 0) << "a sample reached chrony";

    // Each member shifts the clock ten times, both at once: +1 s and +2 s each time.
    pid_t a = process_spawn(as_account(members[0], {peer, "post", "shift", "1000", "10"}));
    pid_t b = process_spawn(as_account(members[1], {peer, "post", "shift", "2000", "10"}));
    EXPECT_EQ(process_wait(a, 30000), 0) << service.err();
    EXPECT_EQ(process_wait(b, 30000), 0) << service.err();
    std::string err = service.err();
    EXPECT_EQ(count_of(err, "command 2 from uid " + std::to_string(uid_of(members[0]))), 10) << err;
    EXPECT_EQ(count_of(err, "command 2 from uid " + std::to_string(uid_of(members[1]))), 10) << err;
    // Each shift cuts the clock to its millisecond: up to 1 ms lost per shift.
    EXPECT_NEAR(clock_moved_ms(sandbox), 30000.0, 40.0);
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 3630000.0, 2000.0);
    std::string sample = peer_run(as_account(members[0], {peer, "post", "sample", "0", "1"}));
    EXPECT_EQ(count_of(sample, "applied by the service"), 1) << sample;
    EXPECT_EQ(chrony.samples(), 1);
    EXPECT_EQ(tree_of(sandbox.dir(), own), before) << "written outside the service's folder";
}

TEST_F(GroupAccounts, MemberLandsWhileANonMemberFloodsAndTheServiceStopsWithinASecond)
{
    ClockkeeperRun service(sandbox, "ck", {});  // as systemd starts it: SIGTERM is its stop
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    OtherProcess flood(as_nobody({peer, "flood"}, gid));
    ASSERT_TRUE(service.wait_for_err("no command! (uid 65534")) << "the flood's junk\n" << service.err();
    ASSERT_TRUE(service.wait_for_err("uid 65534 may not set the clock")) << service.err();
    std::string out = peer_run(as_account(members[0], {peer, "post", "shift", "1000", "5"}));
    EXPECT_EQ(count_of(out, "applied by the service"), 5) << out << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 5000.0, 20.0) << "the flood's sets landed";
    service.signal(SIGTERM);
    EXPECT_EQ(service.wait(1000), 0) << "not stopped within one second\n" << service.err();
}

TEST_F(HostileAccount, NothingAtTheNameStopsAStartAndNoOneElseCanPutAnythingThere)
{
    // A folder left open to all, in which the other account planted a link to
    // a file of root's at the event's name.
    std::string dir = sandbox.path("channel");
    std::string precious = sandbox.path("precious");
    std::ofstream(precious) << "keep";
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    ASSERT_EQ(nobody_sh("ln -s \"$1\" \"$0\"", {channel_event_path(), precious}), 0);

    ClockkeeperRun service(sandbox, "ck", {"debug"});
    ASSERT_TRUE(service.wait_for_err(kWorkerStart)) << service.err();
    EXPECT_EQ(stat_of(dir).st_mode, S_IFDIR | 0755u);
    EXPECT_EQ(stat_of(channel_event_path()).st_mode, S_IFSOCK | 0666u);
    EXPECT_EQ(stat_of(channel_event_path()).st_uid, 0u);
    EXPECT_EQ(read_file(precious), "keep") << "the link was followed";
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();

    // From now on the other account can neither add, remove nor replace a name.
    for (const char* script : {"mkdir \"$0/x\"", "rm -f \"$1\"", "mv \"$1\" \"$0/y\"", "ln -sf /etc/passwd \"$1\"",
                               ": > \"$0/z\""}) {
        EXPECT_NE(nobody_sh(script, {dir, channel_event_path()}), 0) << script;
    }
    EXPECT_EQ(post_hour_ahead(), PostOutcome::applied) << service.err();
    EXPECT_NEAR(clock_moved_ms(sandbox), 7200000.0, 2000.0);
}

TEST_F(HostileAccount, ForgedAcknowledgementFromAnotherAccountIsNotCounted)
{
    // Root's folder, and at the event's name a socket of the other account's
    // that answers every command with "applied".
    fs::create_directories(sandbox.path("channel"));
    std::string own = sandbox.path("nobody");
    fs::create_directory(own);
    ASSERT_EQ(chown(own.c_str(), kNobody, kNobody), 0);
    OtherProcess forger(as_nobody({peer, "answer", own + "/event"}));
    // Bound, and opened to all: the forger is done with the name.
    ASSERT_TRUE(wait_until([&] { return stat_of(own + "/event").st_mode == (S_IFSOCK | 0666u); }));
    fs::rename(own + "/event", channel_event_path());

    EXPECT_EQ(post_hour_ahead(500), PostOutcome::foreign_reply);
}

}  // namespace
