// The real satsetup program in its unattended mode, checked from outside: the
// installation, an update over it, the usage error, a running Satclock, and
// an ordinary user's run elevated through the pkexec stand-in.
#include "tests/installer/installer_env.h"

#include "platform/process.h"

#include <csignal>
#include <dirent.h>
#include <filesystem>
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
        run.status = process_run_capture(command, &run.out);
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

    // The user changes a setting; an update over the installation keeps it.
    write_file(box.data_dir() + "satclock.ini", "# GPS info\r\ncom_port=\"7\"\r\nauto_run=\"FALSE\"\r\n");
    SetupRun update = satsetup({"--dir", box.path("inst/Satclock"), "--keep-settings", "--no-autorun"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# GPS info\r\ncom_port=\"7\"\r\nauto_run=\"FALSE\"\r\n");
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    for (const std::string& line : lines_of(read_file(box.install_dir() + "uninstall.txt")))
        EXPECT_TRUE(fs::exists(line.starts_with("/") ? line : box.install_dir() + line)) << line;

    // Without --keep-settings the default file replaces them.
    SetupRun again = satsetup({"--dir", box.path("inst/Satclock"), "--no-menu", "--no-desktop-icon"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(read_file(box.data_dir() + "satclock.ini").find("# Preferences\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
}

TEST_F(Unattended, UsageErrorsExitWith2)
{
    for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"}, {"--language", "de"}, {"--dir"}}) {
        SetupRun run = satsetup(args);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_NE(run.err.find("Usage: satsetup --unattended"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_empty(box.path("inst")));
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

TEST_F(Unattended, AFailedInstallationIsRolledBack)
{
    require_root();
    // A file where the Start-menu folder belongs: -12 after the package is in.
    fs::remove(box.path("programs"));
    write_file(box.path("programs"), "in the way");
    fs::create_directories(box.data_dir());
    write_file(box.data_dir() + "satclock.ini", "# mine\r\n");
    SetupRun run = satsetup({"--dir", box.path("inst/Satclock"), "--language", "en"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "The Start Menu folder cannot be created.\n");
    EXPECT_FALSE(fs::exists(box.path("inst/Satclock")));
    EXPECT_FALSE(fs::exists(box.unit_file()));
    EXPECT_TRUE(fs::is_empty(box.path("desktop")));
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# mine\r\n");
}

TEST_F(Unattended, AnInterruptStopsAndRollsBack)
{
    require_root();
    std::string out = box.path("satsetup.out");
    std::string err = box.path("satsetup.err");
    pid_t pid = process_spawn({"sh", "-c", "exec \"$0\" --unattended --dir \"$1\" --language en >\"$2\" 2>\"$3\"",
                               satsetup_path(), box.path("inst/Satclock"), out, err});
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 2000 && read_file(out).find("Creating shortcuts...") == std::string::npos; ++i)
        usleep(5 * 1000);
    kill(pid, SIGINT);
    EXPECT_EQ(process_wait(pid), 1);
    EXPECT_EQ(read_file(err), "The installation was interrupted.\n");
    EXPECT_FALSE(fs::exists(box.path("inst/Satclock")));
    EXPECT_FALSE(fs::exists(box.unit_file()));
}

// The pid of a process running this program file, or -1.
pid_t find_process(const std::string& program)
{
    DIR* dir = opendir("/proc");
    pid_t found = -1;
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        std::error_code error;
        fs::path exe = fs::read_symlink(std::string("/proc/") + entry->d_name + "/exe", error);
        if (!error && exe == program)
            found = std::atoi(entry->d_name);
    }
    if (dir)
        closedir(dir);
    return found;
}

// An ordinary user's run: the elevated copy installs as root and hands the
// program back; the first copy starts it with the user's rights.
TEST_F(Unattended, AnOrdinaryUserElevatesAndTheFirstCopyLaunches)
{
    require_root();
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "the launched program needs a display";
    fs::permissions(box.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(box.path("tmp"), fs::perms::all | fs::perms::sticky_bit);
    std::vector<std::string> nobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                       "--inh-caps=+setuid,+setgid", "--ambient-caps=+setuid,+setgid"};
    std::vector<std::string> probe = nobody;
    probe.insert(probe.end(), {"sh", "-c", "test -x \"$0\" && test -r \"$1\" && test -w \"$2\"", satsetup_path(),
                               tests_file("service/elevate-stub"), box.path("tmp")});
    if (process_run(probe) != 0)
        GTEST_SKIP() << "cannot run satsetup as nobody here (setpriv, capabilities or folder rights)";
    setenv("SATCLOCK_ELEVATE", ("sh " + tests_file("service/elevate-stub") + " accept").c_str(), 1);

    SetupRun run = satsetup({"--dir", box.path("inst/Satclock"), "--launch", "--no-autorun"}, nobody);
    ASSERT_EQ(run.status, 0) << run.err;
    struct stat st{};
    ASSERT_EQ(stat(box.install_dir().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << "installed by the elevated copy";
    for (const auto& entry : fs::directory_iterator(box.path("tmp")))
        EXPECT_FALSE(entry.path().filename().string().starts_with("hndov")) << "the hand-over file is deleted";
    // Satclock makes its private instance folder in the temp folder first thing
    // (without an X cookie it may end soon after): the user's own.
    std::string instance = box.path("tmp/satclock-65534");
    for (int i = 0; i < 300 && !fs::exists(instance); ++i)
        usleep(10 * 1000);
    ASSERT_EQ(stat(instance.c_str(), &st), 0) << "the first copy starts the installed program";
    EXPECT_EQ(st.st_uid, 65534u) << "with the user's own rights";
    pid_t launched = find_process(box.install_dir() + "bin/satclock");
    if (launched > 0)
        kill(launched, SIGKILL);
}

}  // namespace
