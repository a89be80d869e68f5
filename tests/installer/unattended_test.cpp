// The real satsetup program in its unattended mode, checked from outside: the
// installation, an update over it and one that takes it over, the usage error
// and --help, refused destinations, a running Satclock, and an ordinary
// user's elevated copy that planted settings never reach.
#include "tests/installer/installer_env.h"

#include "platform/process.h"
#include "tests/support/running_program.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string satsetup_path() { return build_dir() + "/bin/satsetup"; }

struct SetupRun {
    int status;
    std::string out;
    std::string err;
};

class Unattended : public ::testing::Test {
protected:
    SetupRun satsetup(std::vector<std::string> args, const std::vector<std::string>& prefix = {})
    {
        args.insert(args.begin(), {satsetup_path(), "--unattended"});
        args.insert(args.begin(), prefix.begin(), prefix.end());
        std::string err = box.path("satsetup.err");
        std::vector<std::string> command = {"sh", "-c", "\"$@\" 2>\"$0\"", err};
        command.insert(command.end(), args.begin(), args.end());
        SetupRun run;
        run.status = process_run_capture(command, &run.out, kTestChildBoundMs);
        run.err = read_file(err);
        return run;
    }
    void require_root()
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "installs into root's folders and the service: needs root";
    }
    // Every desktop entry the installation wrote, by the list and beside it.
    std::vector<std::string> desktop_entries()
    {
        std::vector<std::string> entries = {box.path("programs/satclock-uninstall.desktop"),
                                            box.path("config/autostart/satclock.desktop")};
        for (const std::string& line : lines_of(read_file(box.install_dir() + "uninstall.txt")))
            if (line.ends_with(".desktop"))
                entries.push_back(line.starts_with("/") ? line : box.install_dir() + line);
        return entries;
    }

    InstallerSandbox box;
};

TEST_F(Unattended, InstallsThenUpdatesKeepingTheSettings)
{
    require_root();
    SetupRun first = satsetup({"--dir", box.path("inst/Satclock"), "--language", "en"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("Copying new files...\n"), std::string::npos);
    EXPECT_NE(first.out.find("Removing temporality files...\n"), std::string::npos);

    std::vector<std::string> list = lines_of(read_file(box.install_dir() + "uninstall.txt"));
    ASSERT_GT(list.size(), 20u);
    for (const std::string& line : list)
        EXPECT_TRUE(fs::exists(line.starts_with("/") ? line : box.install_dir() + line)) << line;
    std::vector<std::string> entries = desktop_entries();
    EXPECT_EQ(entries.size(), 7u);  // uninstall, autostart, home-page link, desktop, three in the menu
    for (const std::string& entry : entries) {
        std::string out;
        EXPECT_EQ(process_run_capture({"desktop-file-validate", entry}, &out), 0) << entry << "\n" << out;
        EXPECT_EQ(out, "") << entry;
    }
    EXPECT_TRUE(fs::exists(box.unit_file()));
    EXPECT_EQ(box.stub_state("clockkeeper_satclock.service.state"), "active\n");
    EXPECT_NE(read_file(box.data_dir() + "satclock.ini").find("auto_run=\"TRUE\" \r\n"), std::string::npos);

    // The user's settings (an older file, without the later keys) survive an
    // update, and gain the defaults of the keys they lack.
    const std::string mine = "# GPS info\r\nschedule_value=\"4\"\r\ncom_port=\"33\"\r\nbaudrate=\"9600\"\r\n"
                             "auto_run=\"FALSE\"\r\n";
    write_file(box.data_dir() + "satclock.ini", mine);
    SetupRun update = satsetup({"--dir", box.path("inst/Satclock"), "--no-autorun"});
    ASSERT_EQ(update.status, 0) << update.err;
    std::string kept = read_file(box.data_dir() + "satclock.ini");
    EXPECT_TRUE(kept.starts_with(mine)) << kept;
    EXPECT_NE(kept.find("\r\nauto_update=\"TRUE\"\r\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("\r\nscreen_no_show=\"FALSE\"\r\n"), std::string::npos) << kept;
    EXPECT_EQ(kept.find("com_port=\"1\""), std::string::npos) << kept;
    EXPECT_EQ(kept.find("# Preferences"), std::string::npos) << "only settings lines are added: " << kept;
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    for (const std::string& line : lines_of(read_file(box.install_dir() + "uninstall.txt")))
        EXPECT_TRUE(fs::exists(line.starts_with("/") ? line : box.install_dir() + line)) << line;

    EXPECT_NE(update.out.find("Satclock is already installed in " + box.install_dir() + ": this installation "
                                                                                    "updates it.\n"),
              std::string::npos)
        << update.out;

    // With --reset-settings the default file replaces them. A second
    // folder takes over the first one's registrations, and says so. The
    // account named by --allow-user joins the channel's group, made when missing.
    std::string group = "scig" + std::to_string(getpid()), user = "sciu" + std::to_string(getpid());
    ASSERT_EQ(process_run({"useradd", "-M", "-N", "-s", "/usr/sbin/nologin", user}), 0);
    setenv("SATCLOCK_GROUP", group.c_str(), 1);
    SetupRun again = satsetup({"--dir", box.path("inst/Other"), "--no-menu", "--no-desktop-icon", "--reset-settings",
                               "--allow-user", user});
    std::string groups;
    process_run_capture({"id", "-nG", user}, &groups);
    unsetenv("SATCLOCK_GROUP");
    process_run({"userdel", user});
    process_run({"groupdel", group});
    EXPECT_NE(groups.find(group), std::string::npos) << groups << again.out;
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(read_file(box.data_dir() + "satclock.ini").find("# Preferences\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    EXPECT_NE(again.out.find("An earlier installation of Satclock in " + box.install_dir() + " was found."),
              std::string::npos)
        << again.out;
    EXPECT_NE(read_file(box.unit_file()).find("ExecStart=" + box.path("inst/Other/bin/clockkeeper")),
              std::string::npos);
}

TEST_F(Unattended, UsageErrorsExitWith2AndHelpWith0)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"}, {"--language", "de"}, {"--dir"},
                                          {"--allow-user", "no-such-account-here"}}) {
        SetupRun run = satsetup(args);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_TRUE(run.err.find("satsetup --unattended [--dir DIR]") != std::string::npos ||
                    run.err.find("no such account") != std::string::npos)
            << run.err;
    }
    std::string out;
    EXPECT_EQ(process_run_capture({satsetup_path(), "--help"}, &out), 0);
    EXPECT_TRUE(out.starts_with("Usage: satsetup ")) << out;
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
}

// Root runs the service from the destination at every boot, and root's
// uninstaller later reads the list there: a destination someone else could
// change, or one that would break the unit's and the list's lines, is refused
// before anything is written.
TEST_F(Unattended, ADestinationOthersCouldChangeIsRefusedBeforeAnythingIsWritten)
{
    require_root();
    fs::create_directories(box.path("users"));
    ASSERT_EQ(process_run({"chown", "65534", box.path("users")}), 0);
    fs::create_directories(box.path("group"));
    fs::permissions(box.path("group"), fs::perms::owner_all | fs::perms::group_all | fs::perms::others_exec);
    const struct {
        std::string dir;
        const char* reason;
    } cases[] = {
        {"inst/Satclock", "the destination must be an absolute path"},
        {box.path("users/Satclock"), "is not owned by root, or others may write it"},
        {box.path("group/Satclock"), "is not owned by root, or others may write it"},
        {box.path("inst/Sat\nclock"), "control character"},
    };
    for (const auto& c : cases) {
        SetupRun run = satsetup({"--dir", c.dir, "--language", "en"});
        EXPECT_EQ(run.status, 1) << c.dir;
        EXPECT_TRUE(run.err.starts_with("The destination folder is refused.\n")) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
    EXPECT_TRUE(fs::is_empty(box.path("users")));
    EXPECT_TRUE(fs::is_empty(box.path("appdata")));
    EXPECT_FALSE(fs::exists(box.unit_file()));
}

TEST_F(Unattended, ARunningSatclockFailsTheInstallation)
{
    require_root();
    fs::create_directories(box.path("proc/4242"));
    fs::create_symlink("/opt/Satclock/bin/satclock", box.path("proc/4242/exe"));
    SetupRun run = satsetup({"--dir", box.path("inst/Satclock"), "--language", "ru"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Обнаружена запущенная программа Satclock,\nзакройте Satclock и нажмите OK\n");
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
}

// A step that fails after the package is in: the whole installation is rolled
// back, the earlier settings come back, and the reason is on standard error.
TEST_F(Unattended, AFailedInstallationIsRolledBack)
{
    require_root();
    fs::create_directories(box.data_dir());
    const struct {
        const char* failure;
        std::function<void()> cause, undo;
        std::string err;
    } cases[] = {
        {"a file where the Start-menu folder belongs",
         [&] {
             fs::remove(box.path("programs"));
             write_file(box.path("programs"), "in the way");
         },
         [&] {
             fs::remove(box.path("programs"));
             fs::create_directory(box.path("programs"));
         },
         "The Start Menu folder cannot be created.\n" + box.path("programs/Satclock") + ": Not a directory\n"},
        {"the service manager refusing the unit", [] { setenv("SYSTEMCTL_STUB_FAIL", "enable", 1); },
         [] { unsetenv("SYSTEMCTL_STUB_FAIL"); }, "The time service could not be installed.\nCan not CreateService\n"},
    };
    for (const auto& c : cases) {
        write_file(box.data_dir() + "satclock.ini", "# mine\r\n");
        c.cause();
        SetupRun run = satsetup({"--dir", box.path("inst/Satclock"), "--language", "en"});
        c.undo();
        EXPECT_EQ(run.status, 1) << c.failure;
        EXPECT_EQ(run.err, c.err) << c.failure;
        EXPECT_FALSE(fs::exists(box.path("inst/Satclock"))) << c.failure;
        EXPECT_FALSE(fs::exists(box.unit_file())) << c.failure;
        EXPECT_TRUE(fs::is_empty(box.path("desktop"))) << c.failure;
        EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# mine\r\n") << c.failure;
    }
}

TEST_F(Unattended, AnInterruptStopsAndRollsBack)
{
    require_root();
    std::string out = box.path("satsetup.out");
    std::string err = box.path("satsetup.err");
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" --unattended --dir \"$1\" --language en >\"$2\" 2>\"$3\"",
                               satsetup_path(), box.path("inst/Satclock"), out, err});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(wait_until([&] { return read_file(out).find("Creating shortcuts...") != std::string::npos; }));
    kill(pid, SIGINT);
    EXPECT_EQ(process_wait(pid), 1);
    EXPECT_EQ(read_file(err), "The installation was interrupted.\n");
    EXPECT_FALSE(fs::exists(box.path("inst/Satclock")));
    EXPECT_FALSE(fs::exists(box.unit_file()));
}

// An ordinary user's elevated copy runs with its command line and a fixed
// environment only, even when the elevation hands it the user's whole
// environment. A program named satclock runs, so the copy, looking at the
// machine's process list, stops before it writes anything; had it taken the
// planted process folder (empty) it would have gone on into the planted
// folders and run the planted systemctl.
TEST_F(Unattended, PlantedTestSettingsNeverReachTheElevatedCopy)
{
    require_root();
    fs::permissions(box.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(box.path("tmp"), fs::perms::all | fs::perms::sticky_bit);
    std::vector<std::string> nobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                       "--inh-caps=+setuid,+setgid", "--ambient-caps=+setuid,+setgid"};
    std::vector<std::string> probe = nobody;
    probe.insert(probe.end(), {"sh", "-c", "test -x \"$0\" && test -r \"$1\" && test -w \"$2\"", satsetup_path(),
                               tests_file("service/elevate-stub"), box.path("tmp")});
    if (process_run(probe) != 0)
        GTEST_SKIP() << "cannot run satsetup as nobody here (setpriv, capabilities or folder rights)";
    RunningProgram satclock(box, "satclock");
    ASSERT_TRUE(satclock.started()) << "without it the copy would go on to a real installation";
    std::string planted = box.path("tmp/planted-systemctl");
    write_file(planted, "#!/bin/sh\ntouch \"$0.ran\"\n");
    fs::permissions(planted, fs::perms::all);
    setenv("SATCLOCK_SYSTEMCTL", planted.c_str(), 1);
    setenv("XDG_CONFIG_HOME", box.path("tmp").c_str(), 1);
    // pkexec's stand-in records what it is asked to run, then runs it as root.
    std::string log = box.path("tmp/elevation.log");
    std::string elevate = box.path("tmp/elevate");
    write_file(elevate, "#!/bin/sh\necho \"$@\" >>'" + log + "'\nexec sh '" + tests_file("service/elevate-stub") +
                            "' accept \"$@\"\n");
    fs::permissions(elevate, fs::perms::all);
    setenv("SATCLOCK_ELEVATE", elevate.c_str(), 1);

    SetupRun run = satsetup({"--dir", box.path("inst/Satclock")}, nobody);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Setup has detected that Satclock is currently running."), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(planted + ".ran"));
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
    EXPECT_TRUE(fs::is_empty(box.path("appdata")));
    std::string command = read_file(log);
    EXPECT_TRUE(command.starts_with(satsetup_path() + " ")) << command;
    for (const char* planted_word : {"SATCLOCK_", "TMPDIR", "XDG_"})
        EXPECT_EQ(command.find(planted_word), std::string::npos) << command;
}

}  // namespace
