// The real uninstaller, unattended, on an installation in a temporary root,
// checked from outside after it has ended.
#include "tests/uninstall/installed_tree.h"

#include "platform/process.h"
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

TEST_F(UnattendedRemoval, AListedFileThatStaysIsReported)
{
    // A file no one may delete, root included.
    std::ofstream(tree.list, std::ios::app) << "/proc/version\n";
    EXPECT_EQ(1, run());
    EXPECT_EQ("The program is not removed completely!", last_line());
    EXPECT_EQ("/proc/version\n", err);
    EXPECT_FALSE(exists(tree.install_dir + "bin/satclock"));
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

TEST_F(UnattendedRemoval, AnOrdinaryUserHasTheRemovalDoneByTheElevatedCopy)
{
    if (!nobody_can_run())
        GTEST_SKIP() << "cannot run the uninstaller as nobody here (root, setpriv or folder rights)";
    ASSERT_EQ(0, run_as_nobody("accept")) << err;
    EXPECT_EQ("The program is removed completely!", last_line());
    EXPECT_FALSE(exists(tree.unit_file));
    EXPECT_FALSE(exists(tree.autostart_entries[1]));
    EXPECT_TRUE(wait_until([&] { return !exists(tree.install_dir); }));
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

TEST_F(UnattendedRemoval, AnUnknownWordIsAUsageError)
{
    EXPECT_EQ(2, run({"--unattended", "--everything"}));
    EXPECT_NE(std::string::npos, err.find("Use: uninstall [--unattended]")) << err;
    EXPECT_TRUE(exists(tree.list));
}

}  // namespace
