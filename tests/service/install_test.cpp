// clockkeeper's command words against the systemctl stub: install, remove,
// the usage line, and the elevated rerun as an ordinary user.
#include "tests/service/clockkeeper_run.h"
#include "tests/support/test_env.h"

#include "platform/process.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kUnit = "clockkeeper_satclock.service";

// An ordinary user (nobody); with `may_elevate` it keeps CAP_SETUID/SETGID as
// ambient capabilities, which is what the accepting elevate-stub uses to
// become root: a stand-in for pkexec's setuid bit.
std::vector<std::string> as_nobody(bool may_elevate)
{
    std::vector<std::string> prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    if (may_elevate) {
        prefix.push_back("--inh-caps=+setuid,+setgid");
        prefix.push_back("--ambient-caps=+setuid,+setgid");
    }
    return prefix;
}

class ServiceCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(state_dir());
        setenv("SATCLOCK_SYSTEMCTL_STATE", state_dir().c_str(), 1);
        setenv("SATCLOCK_SYSTEMCTL", (service_test_file("systemctl-stub")).c_str(), 1);
        unsetenv("SYSTEMCTL_STUB_STOP_POLLS");
        unsetenv("SYSTEMCTL_STUB_STOP");
        unsetenv("SYSTEMCTL_STUB_FAIL");
        // Run for an ordinary user, clockkeeper would drop every seam.
        unsetenv("PKEXEC_UID");
        unsetenv("SUDO_UID");
        unsetenv("LANGUAGE");
        unsetenv("LC_ALL");
        setenv("LANG", "C.UTF-8", 1);
        // The service runs as root at every boot, so it is installed only from
        // a folder no one but root may change: a copy in the sandbox (under
        // the sticky temp folder) rather than the build tree, wherever that lies.
        chmod(sandbox.dir().c_str(), 0755);
        fs::create_directory(sandbox.path("opt"));
        fs::copy_file(clockkeeper_path(), program());
    }

    std::string program() const { return sandbox.path("opt/clockkeeper"); }

    std::string state_dir() const { return sandbox.path("systemctl"); }
    std::string unit_file() const { return sandbox.path("systemd") + "/" + kUnit; }
    std::string calls() const { return read_file(state_dir() + "/calls"); }
    std::string unit_state() const { return read_file(state_dir() + "/" + kUnit + ".state"); }

    void require_root()
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the installing process must be an administrator";
    }
    // The unprivileged runs need root to drop to nobody, and a nobody that can
    // reach the program and the stubs.
    void require_nobody(bool may_elevate)
    {
        require_root();
        std::vector<std::string> probe = as_nobody(may_elevate);
        probe.insert(probe.end(), {"sh", "-c", "test -x \"$0\" && test -r \"$1\"", program(),
                                   service_test_file("elevate-stub")});
        if (process_run(probe) != 0)
            GTEST_SKIP() << "cannot run the program as nobody here (setpriv, capabilities or folder rights)";
    }
    void elevate_with(const std::string& mode)
    {
        setenv("SATCLOCK_ELEVATE", ("sh " + service_test_file("elevate-stub") + " " + mode).c_str(), 1);
    }

    TestSandbox sandbox;
};

TEST_F(ServiceCommands, InstallWritesEnablesAndStartsTheUnit)
{
    require_root();
    ClockkeeperRun run(sandbox, "install", {"install"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_NE(run.err().find("Service has been installed\n"), std::string::npos) << run.err();
    EXPECT_NE(run.err().find("Service status 1\n"), std::string::npos) << run.err();
    std::string unit = read_file(unit_file());
    EXPECT_NE(unit.find("ExecStart=" + program() + "\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos) << unit;
    EXPECT_EQ(calls(), "daemon-reload\nenable " + kUnit + "\nis-active " + kUnit + "\nstart " + kUnit + "\n");
    EXPECT_EQ(unit_state(), "active\n");
    struct stat st {};
    ASSERT_EQ(stat(unit_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(ServiceCommands, InstallTwiceSucceedsAndLeavesTheServiceAlone)
{
    require_root();
    ClockkeeperRun first(sandbox, "first", {"install"}, {}, program());
    ASSERT_EQ(first.wait(), 1) << first.err();
    std::string unit = read_file(unit_file());
    ClockkeeperRun second(sandbox, "second", {"install", "ignored", "words"}, {}, program());
    EXPECT_EQ(second.wait(), 1) << second.err();
    EXPECT_NE(second.err().find("Service has been installed earlier\n"), std::string::npos) << second.err();
    EXPECT_EQ(count_of(calls(), "start "), 1) << calls();
    EXPECT_EQ(read_file(unit_file()), unit);
}

// Others could replace what runs as root at every boot, or a line end would
// add a line of its own to the unit: refused, no unit written.
TEST_F(ServiceCommands, InstallRefusesAProgramOthersCouldReplaceOrAPathThatBreaksTheUnit)
{
    require_root();
    std::string open_folder = sandbox.path("open");
    fs::create_directory(open_folder);
    chmod(open_folder.c_str(), 0777);
    std::string writable_program = sandbox.path("opt/clockkeeper-writable");
    std::string line_end_folder = sandbox.path("opt/a\nExecStartPre=false");
    fs::create_directory(line_end_folder);
    const struct {
        std::string program;
        mode_t mode;
        const char* reason;
    } cases[] = {
        {open_folder + "/clockkeeper", 0755, "is not owned by root, or others may write it"},
        {writable_program, 0757, "is not a file owned by root and writable by root alone"},
        {line_end_folder + "/clockkeeper", 0755, "holds a control character"},
    };
    for (const auto& c : cases) {
        fs::copy_file(clockkeeper_path(), c.program);
        chmod(c.program.c_str(), c.mode);
        ClockkeeperRun run(sandbox, "unsafe", {"install"}, {}, c.program);
        EXPECT_EQ(run.wait(), 0) << run.err();
        EXPECT_NE(run.err().find("install_service: refused: "), std::string::npos) << run.err();
        EXPECT_NE(run.err().find(c.reason), std::string::npos) << run.err();
        EXPECT_FALSE(fs::exists(unit_file()));
    }
    // A sticky folder open to all is safe: no one else may replace root's
    // entries. Blanks, '$' and '%' go into ExecStart quoted and escaped.
    std::string sticky = sandbox.path("open/My $HOME 100%");
    fs::create_directory(sticky);
    chmod(open_folder.c_str(), 01777);
    fs::copy_file(clockkeeper_path(), sticky + "/clockkeeper");
    ClockkeeperRun quoted(sandbox, "sticky", {"install"}, {}, sticky + "/clockkeeper");
    EXPECT_EQ(quoted.wait(), 1) << quoted.err();
    EXPECT_NE(read_file(unit_file()).find("\nExecStart=\"" + open_folder + "/My $$HOME 100%%/clockkeeper\"\n"),
              std::string::npos)
        << read_file(unit_file());
}

TEST_F(ServiceCommands, InstallOverAUnitOfAnotherProgramRepointsItAndAFailedStartIsLogged)
{
    require_root();
    std::string old_text = "[Service]\nType=notify\nExecStart=/nowhere/clockkeeper\n";
    { std::ofstream(unit_file()) << old_text; }
    setenv("SYSTEMCTL_STUB_FAIL", "restart", 1);
    ClockkeeperRun run(sandbox, "install", {"install"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_NE(run.err().find("Service unit runs /nowhere/clockkeeper; rewriting it for " + program()),
              std::string::npos) << run.err();
    EXPECT_NE(run.err().find("Service start failed"), std::string::npos) << run.err();
    EXPECT_NE(read_file(unit_file()).find("ExecStart=" + program() + "\n"), std::string::npos);
    EXPECT_EQ(calls(), "daemon-reload\nenable " + kUnit + "\nrestart " + kUnit + "\n");
}

TEST_F(ServiceCommands, FailedRegistrationLeavesNoUnitBehind)
{
    require_root();
    setenv("SYSTEMCTL_STUB_FAIL", "enable", 1);
    ClockkeeperRun run(sandbox, "install", {"install"}, {}, program());
    EXPECT_EQ(run.wait(), 0) << run.err();
    EXPECT_NE(run.err().find("Can not CreateService\n"), std::string::npos) << run.err();
    EXPECT_FALSE(fs::exists(unit_file()));
    unsetenv("SYSTEMCTL_STUB_FAIL");
    ClockkeeperRun again(sandbox, "again", {"install"}, {}, program());
    EXPECT_EQ(again.wait(), 1) << again.err();
    EXPECT_NE(again.err().find("Service has been installed\n"), std::string::npos) << again.err();
}

TEST_F(ServiceCommands, RemoveWhenAbsentSucceeds)
{
    require_root();
    ClockkeeperRun run(sandbox, "remove", {"remove"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_NE(run.err().find("Service has been deleted earlier\n"), std::string::npos) << run.err();
}

TEST_F(ServiceCommands, RemoveWhileRunningWritesADotPerStoppingAnswer)
{
    require_root();
    ClockkeeperRun install(sandbox, "install", {"install"}, {}, program());
    ASSERT_EQ(install.wait(), 1) << install.err();
    setenv("SYSTEMCTL_STUB_STOP_POLLS", "3", 1);
    ClockkeeperRun run(sandbox, "remove", {"remove"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "...\n");
    std::string err = run.err();
    EXPECT_NE(err.find("stopping...\nstopped\nservice has been removed\n"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(unit_file()));
    EXPECT_NE(calls().find("stop --no-block " + kUnit + "\n"), std::string::npos) << calls();
    EXPECT_NE(calls().find("disable " + kUnit + "\n"), std::string::npos) << calls();
}

TEST_F(ServiceCommands, RemoveDeletesAServiceThatWouldNotStop)
{
    require_root();
    ClockkeeperRun install(sandbox, "install", {"install"}, {}, program());
    ASSERT_EQ(install.wait(), 1) << install.err();
    setenv("SYSTEMCTL_STUB_STOP", "refuse", 1);
    ClockkeeperRun run(sandbox, "remove", {"remove"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "\n");
    EXPECT_NE(run.err().find("failed to stop\n"), std::string::npos) << run.err();
    EXPECT_FALSE(fs::exists(unit_file()));
}

TEST_F(ServiceCommands, RemoveOfAStoppedServiceSendsNoStop)
{
    require_root();
    ClockkeeperRun install(sandbox, "install", {"install"}, {}, program());
    ASSERT_EQ(install.wait(), 1) << install.err();
    fs::remove(state_dir() + "/" + kUnit + ".state");
    ClockkeeperRun run(sandbox, "remove", {"remove"}, {}, program());
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_EQ(calls().find("stop "), std::string::npos) << calls();
    EXPECT_FALSE(fs::exists(unit_file()));
}

TEST_F(ServiceCommands, OnlyTheExactLowerCaseWordsAreCommands)
{
    for (const char* word : {"Install", "REMOVE", "Debug", "installx", ""}) {
        ClockkeeperRun run(sandbox, "usage", {word}, {}, program());
        EXPECT_EQ(run.wait(), 0) << word;
        EXPECT_EQ(run.err(), "Use: clockkeeper install|remove|debug\n"
                             "Exit code: 1 when the work is done, 0 when it failed or the word is unknown.\n")
            << word;
        EXPECT_EQ(run.out(), "") << word;
    }
    EXPECT_FALSE(fs::exists(unit_file()));
}

TEST_F(ServiceCommands, DeclinedOrRefusedElevationFallsBackAndFails)
{
    require_nobody(false);
    for (const char* mode : {"decline", "refuse"}) {
        elevate_with(mode);
        ClockkeeperRun install(sandbox, std::string("install-") + mode, {"install"}, as_nobody(false), program());
        EXPECT_EQ(install.wait(), 0) << mode << "\n" << install.err();
        EXPECT_EQ(install.out(), "") << mode;
        EXPECT_NE(install.err().find("install_service: OpenSCManager false!\n"), std::string::npos) << install.err();
        ClockkeeperRun remove(sandbox, std::string("remove-") + mode, {"remove"}, as_nobody(false), program());
        EXPECT_EQ(remove.wait(), 0) << mode << "\n" << remove.err();
        EXPECT_NE(remove.err().find("Can not OpenSCManager"), std::string::npos) << remove.err();
    }
    EXPECT_FALSE(fs::exists(unit_file()));
}

// The first copy asks pkexec to run the program itself with its command word
// and nothing else, then reports the copy's result as its own.
TEST_F(ServiceCommands, TheElevatedCommandIsTheProgramAndItsWordAndTheCopysResultIsReported)
{
    require_nobody(false);
    std::string log = sandbox.path("tmp/elevation.log");
    fs::create_directories(sandbox.path("tmp"));
    chmod(sandbox.path("tmp").c_str(), 01777);
    setenv("SATCLOCK_ELEVATE", ("sh " + source_dir() + "/tests/uninstall/elevation-recorder").c_str(), 1);
    setenv("ELEVATION_RECORDER_LOG", log.c_str(), 1);
    const struct {
        const char* word;
        int copy_exit;
        const char* out;
    } cases[] = {
        {"install", 1, "install by admin ok"},
        {"install", 0, "install by admin false"},
        {"remove", 1, "remove by admin ok"},
    };
    for (const auto& c : cases) {
        fs::remove(log);
        setenv("ELEVATION_RECORDER_EXIT", std::to_string(c.copy_exit).c_str(), 1);
        ClockkeeperRun run(sandbox, c.word, {c.word}, as_nobody(false), program());
        EXPECT_EQ(run.wait(), c.copy_exit) << c.out << "\n" << run.err();
        EXPECT_EQ(run.out(), c.out);
        EXPECT_EQ(read_file(log), program() + " " + c.word + "\n");
    }
    EXPECT_FALSE(fs::exists(unit_file()));
}

}  // namespace
