// The real uninstaller, unattended, on an installation in a temporary root,
// checked from outside after it has ended.
#include "tests/uninstall/installed_tree.h"

#include "platform/process.h"
#include "tests/support/running_program.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class UnattendedRemoval : public ::testing::Test {
protected:
    void SetUp() override
    {
        point_seams_into(sandbox);
        tree = install_into(sandbox);
    }

    // Runs the installed uninstaller; its standard output in out, its error output in err.
    int run(const std::vector<std::string>& args = {"--unattended"})
    {
        std::vector<std::string> argv = {"sh", "-c", "exec \"$0\" \"$@\" 2>\"$ERRFILE\"", tree.uninstaller};
        argv.insert(argv.end(), args.begin(), args.end());
        setenv("ERRFILE", sandbox.path("err").c_str(), 1);
        int status = process_run_capture(argv, &out);
        err = read_file(sandbox.path("err"));
        return status;
    }

    // Whether an ordinary user (nobody) can be started here and reach the
    // installed uninstaller and the elevation stand-in.
    bool nobody_can_run()
    {
        if (geteuid() != 0)
            return false;
        fs::permissions(sandbox.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                           fs::perms::group_read | fs::perms::others_read);
        fs::permissions(sandbox.path("tmp"), fs::perms::all | fs::perms::sticky_bit);
        return process_run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "sh", "-c",
                            "test -x \"$0\" && test -r \"$1\"", tree.uninstaller,
                            source_dir() + "/tests/service/elevate-stub"}) == 0;
    }

    // Runs the uninstaller as an ordinary user (nobody) who keeps the
    // capabilities the accepting elevate-stub needs to become root, as
    // pkexec's setuid bit would.
    int run_as_nobody(const std::string& elevation)
    {
        setenv("SATCLOCK_ELEVATE", ("sh " + source_dir() + "/tests/service/elevate-stub " + elevation).c_str(), 1);
        std::vector<std::string> argv = {"sh",           "-c",
                                         "exec \"$0\" \"$@\" 2>\"$ERRFILE\"", "setpriv",
                                         "--reuid=65534", "--regid=65534",
                                         "--clear-groups", "--inh-caps=+setuid,+setgid",
                                         "--ambient-caps=+setuid,+setgid", tree.uninstaller,
                                         "--unattended"};
        setenv("ERRFILE", sandbox.path("err").c_str(), 1);
        int status = process_run_capture(argv, &out);
        err = read_file(sandbox.path("err"));
        unsetenv("SATCLOCK_ELEVATE");
        return status;
    }

    std::string last_line() const
    {
        std::string text = out.substr(0, out.find_last_not_of('\n') + 1);
        return text.substr(text.rfind('\n') + 1);
    }

    bool scripts_gone() { return files_under(sandbox.path("tmp")).empty(); }

    // Every file of the temporary machine.
    std::vector<std::string> machine_files()
    {
        std::vector<std::string> files;
        for (const char* folder : {"root", "appdata", "home", "config", "programs", "desktop", "bin", "systemd",
                                   "systemctl", "tmp"})
            for (const std::string& file : files_under(sandbox.path(folder)))
                files.push_back(std::string(folder) + "/" + file);
        return files;
    }

    TestSandbox sandbox;
    InstalledTree tree;
    std::string out, err;
};

TEST_F(UnattendedRemoval, LeavesNothingButTheDataFolderWithItsSettings)
{
    ASSERT_EQ(0, run()) << err;
    EXPECT_EQ("The program is removed completely!", last_line());
    EXPECT_EQ("", err);
    for (const std::string& path : tree.listed) {
        // The script's own work comes after the uninstaller's end.
        bool left_to_the_script = path == tree.install_dir || path == tree.uninstaller;
        if (path != tree.data_dir && !left_to_the_script) {
            EXPECT_FALSE(exists(path)) << path;
        }
    }
    for (const std::string& path : tree.autostart_entries)
        EXPECT_FALSE(exists(path)) << path;
    EXPECT_FALSE(exists(tree.uninstall_entry));
    EXPECT_FALSE(exists(tree.program_link));
    EXPECT_FALSE(exists(tree.unit_file));
    std::string calls = read_file(sandbox.path("systemctl/calls"));
    EXPECT_NE(std::string::npos, calls.find("stop --no-block clockkeeper_satclock.service")) << calls;
    EXPECT_NE(std::string::npos, calls.find("disable clockkeeper_satclock.service")) << calls;

    // After the uninstaller's end its script deletes it, the emptied folder and itself.
    EXPECT_TRUE(wait_until([&] { return !exists(tree.install_dir) && scripts_gone(); }));
    EXPECT_TRUE(fs::is_empty(sandbox.path("root/opt")));
    EXPECT_EQ(std::vector<std::string>{"satclock.ini"}, files_under(tree.data_dir));
}

TEST_F(UnattendedRemoval, AFolderHoldingTheUsersOwnFileStays)
{
    std::ofstream(tree.install_dir + "my notes.txt") << "mine\n";
    ASSERT_EQ(0, run()) << err;
    EXPECT_TRUE(wait_until([&] { return !exists(tree.uninstaller) && scripts_gone(); }));
    EXPECT_EQ(std::vector<std::string>{"my notes.txt"}, files_under(tree.install_dir));
}

// An installation someone other than root could have changed is not touched:
// its list is not read, its service program not run. A list line outside the
// places an installation writes is never removed, only reported.
TEST_F(UnattendedRemoval, ATamperedInstallationIsRefusedAndAForeignLineStays)
{
    const std::string service = tree.install_dir + "bin/clockkeeper";
    const struct {
        const char* tampering;
        std::vector<std::string> tamper, undo;
    } cases[] = {
        {"the list is an ordinary user's", {"chown", "65534", tree.list}, {"chown", "0", tree.list}},
        {"the install folder is open to its group", {"chmod", "775", tree.install_dir}, {"chmod", "755", tree.install_dir}},
        {"the service program is an ordinary user's", {"chown", "65534", service}, {"chown", "0", service}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(0, process_run(c.tamper)) << c.tampering;
        EXPECT_EQ(1, run()) << c.tampering;
        EXPECT_NE(std::string::npos, err.find("Nothing was removed: ")) << c.tampering << "\n" << err;
        EXPECT_TRUE(exists(tree.list) && exists(tree.unit_file)) << c.tampering;
        EXPECT_EQ(std::string::npos, read_file(sandbox.path("systemctl/calls")).find("stop")) << c.tampering;
        ASSERT_EQ(0, process_run(c.undo)) << c.tampering;
    }
    std::string foreign = sandbox.path("elsewhere/keep.txt");
    fs::create_directories(sandbox.path("elsewhere"));
    std::ofstream(foreign) << "not the installation's";
    std::ofstream(tree.list, std::ios::app) << foreign << "\n";
    EXPECT_EQ(1, run());
    EXPECT_EQ("The program is not removed completely!", last_line());
    EXPECT_EQ(foreign + "\n", err);
    EXPECT_TRUE(exists(foreign));
    EXPECT_FALSE(exists(tree.install_dir + "bin/satclock"));
    EXPECT_FALSE(exists(tree.unit_file));
}

TEST_F(UnattendedRemoval, ASecondRunFindsNoListAndChangesNothing)
{
    fs::remove(tree.list);
    std::vector<std::string> before = machine_files();
    EXPECT_EQ(1, run());
    EXPECT_EQ("The program is not removed completely!", last_line());
    EXPECT_EQ("Can not open file " + tree.list + "\n", err);
    EXPECT_EQ(before, machine_files());
}

TEST_F(UnattendedRemoval, ARunningSatclockStopsItBeforeAnythingIsRemoved)
{
    pretend_satclock_running(sandbox, true);
    EXPECT_EQ(1, run());
    EXPECT_NE(std::string::npos, err.find("There is a running copy of Satclock.\n")) << err;
    EXPECT_TRUE(exists(tree.list));
    EXPECT_TRUE(exists(tree.unit_file));
}

// An ordinary user's elevated copy runs with its command line and a fixed
// environment only, even when the elevation hands it the user's whole
// environment. A program named satclock runs, so the copy, looking at the
// machine's process list, stops before it touches anything; had it taken the
// planted process folder (empty) it would have gone on and run the planted
// systemctl.
TEST_F(UnattendedRemoval, PlantedTestSettingsNeverReachTheElevatedCopy)
{
    if (!nobody_can_run())
        GTEST_SKIP() << "cannot run the uninstaller as nobody here (root, setpriv or folder rights)";
    RunningProgram satclock(sandbox, "satclock");
    ASSERT_TRUE(satclock.started()) << "without it the copy would go on to a real removal";
    std::string planted = sandbox.path("tmp/planted-systemctl");
    std::ofstream(planted) << "#!/bin/sh\ntouch \"$0.ran\"\n";
    fs::permissions(planted, fs::perms::all);
    setenv("SATCLOCK_SYSTEMCTL", planted.c_str(), 1);
    setenv("XDG_CONFIG_HOME", sandbox.path("tmp").c_str(), 1);
    EXPECT_EQ(1, run_as_nobody("accept"));
    EXPECT_NE(std::string::npos, err.find("There is a running copy of Satclock.")) << err;
    EXPECT_FALSE(exists(planted + ".ran"));
    EXPECT_TRUE(exists(tree.list) && exists(tree.unit_file) && exists(tree.autostart_entries[0]));
}

TEST_F(UnattendedRemoval, WithTheElevationDeclinedWhatStayedIsReported)
{
    if (!nobody_can_run())
        GTEST_SKIP() << "cannot run the uninstaller as nobody here (root, setpriv or folder rights)";
    EXPECT_EQ(1, run_as_nobody("decline"));
    EXPECT_EQ("The program is not removed completely!", last_line());
    EXPECT_NE(std::string::npos, err.find(tree.install_dir + "bin/satclock\n")) << err;
    EXPECT_TRUE(exists(tree.install_dir + "bin/satclock"));
}

TEST_F(UnattendedRemoval, AnUnknownWordIsAUsageErrorAndHelpPrintsTheUsage)
{
    EXPECT_EQ(2, run({"--unattended", "--everything"}));
    EXPECT_NE(std::string::npos, err.find("Use: uninstall [--unattended]")) << err;
    EXPECT_EQ(0, run({"--help"}));
    EXPECT_TRUE(out.starts_with("Use: uninstall [--unattended]\n")) << out;
    EXPECT_TRUE(exists(tree.list));
}

}  // namespace
