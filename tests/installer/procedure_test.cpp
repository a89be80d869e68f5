// The installation procedure in-process: a whole installation into a
// temporary root, the rollback, the finish actions and the single steps.
#include "tests/installer/installer_env.h"

#include "common/install_text.h"
#include "common/polkit_policy.h"
#include "satsetup/install_state.h"
#include "satsetup/install_steps.h"
#include "satsetup/installation.h"
#include "satsetup/payload.h"
#include "satsetup/settings_backup.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kEarlierSettings = "# mine\r\ncom_port=\"7\"\r\nauto_run=\"FALSE\"\r\n";

class Procedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        select_text_catalogue(false);
        reset_install_cancel();
        install_result = kNoRun;
        settings_backed_up = false;
        install_dir_existed = data_dir_existed = true;
        service_install_started = registry_entries_written = false;
        handover_file.clear();
        create_desktop_icon = create_menu_folder = true;
        form_install_paths(box.install_dir());
    }
    void require_root()
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "installs the service: needs root";
    }
    int install()
    {
        return run_installation([this](const char* text) {
            std::lock_guard<std::mutex> hold(status_lock);
            statuses.push_back(text);
        });
    }
    std::vector<std::string> package_lines() const
    {
        std::span<const unsigned char> list = find_payload_resource(kUninstallList);
        return lines_of(std::string(list.begin(), list.end()));
    }

    InstallerSandbox box;
    std::mutex status_lock;
    std::vector<std::string> statuses;
};

TEST_F(Procedure, InstallsIntoATemporaryRoot)
{
    require_root();
    ASSERT_EQ(install(), kInstalled);
    EXPECT_EQ(statuses, (std::vector<std::string>{"Unpacking files...", "Creating shortcuts...",
                                                  "Removing temporality files..."}));
    for (const std::string& line : package_lines())
        EXPECT_TRUE(fs::exists(box.install_dir() + line)) << line;
    for (const char* temporary : {"7za", "data.7z"})
        EXPECT_FALSE(fs::exists(box.install_dir() + temporary)) << temporary;
    EXPECT_FALSE(fs::exists(box.data_dir() + "settings.7z"));
    // The group's entry where the file system keeps access lists, else the
    // group's own write bit (mode 0664): never writable by every account.
    std::string entry = users_acl_entry(box.data_dir() + "satclock.ini");
    if (entry.empty())
        EXPECT_EQ(fs::status(box.data_dir() + "satclock.ini").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write |
                      fs::perms::others_read);
    else
        EXPECT_EQ(entry, "group:users:rw-");
    EXPECT_EQ(fs::status(box.data_dir() + "satclock.ini").permissions() & fs::perms::others_write, fs::perms::none);
    EXPECT_NE(read_file(box.data_dir() + "satclock.ini").find("# Preferences\r\nauto_run=\"FALSE\"\r\n"),
              std::string::npos);

    std::vector<std::string> list = lines_of(read_file(box.install_dir() + "uninstall.txt"));
    std::string menu = box.path("programs/Satclock");
    std::vector<std::string> appended(list.end() - 8, list.end());
    EXPECT_EQ(appended, (std::vector<std::string>{"uninstall.txt", box.install_dir(), box.data_dir(),
                                                  box.path("desktop/Satclock.desktop"), menu,
                                                  menu + "/Satclock.desktop", menu + "/Satclock Help.desktop",
                                                  menu + "/Satclock Home Page.desktop"}));
    EXPECT_EQ(list.size(), package_lines().size() + 8);
    for (const std::string& line : appended)
        EXPECT_TRUE(line == "uninstall.txt" || fs::exists(line)) << line;

    EXPECT_NE(read_file(box.path("programs/satclock-uninstall.desktop"))
                  .find("X-Satclock-UninstallString=" + box.install_dir() + "uninstall\n"),
              std::string::npos);
    EXPECT_EQ(fs::read_symlink(box.path("bin/satclock")), box.install_dir() + "bin/satclock");
    std::string policy = read_file(box.path("polkit/org.example.satclock.wizard.policy"));
    for (const char* program : {"uninstall", "bin/clockkeeper"})
        EXPECT_TRUE(polkit_policy_names_program(policy, box.install_dir() + program)) << program << "\n" << policy;
    EXPECT_NE(read_file(box.unit_file()).find("ExecStart=" + box.install_dir() + "bin/clockkeeper"),
              std::string::npos);
    EXPECT_EQ(box.stub_state("clockkeeper_satclock.service.state"), "active\n");
}

TEST_F(Procedure, RollbackWithoutAListRemovesWhatThePackageLeft)
{
    fs::create_directories(box.install_dir() + "bin");
    write_file(box.install_dir() + "bin/satclock", "half");
    write_file(box.install_dir() + "mine.txt", "kept");
    rollback_installation();
    EXPECT_FALSE(fs::exists(box.install_dir() + "bin"));
    EXPECT_FALSE(fs::exists(box.install_dir() + "uninstall.txt"));
    EXPECT_TRUE(fs::exists(box.install_dir() + "mine.txt"));
}

TEST_F(Procedure, BackupRestoreAndDrop)
{
    fs::create_directories(box.data_dir());
    EXPECT_FALSE(backup_settings(box.data_dir()));
    write_file(box.data_dir() + "satclock.ini", kEarlierSettings);
    EXPECT_TRUE(backup_settings(box.data_dir()));
    write_file(box.data_dir() + "satclock.ini", "default");
    EXPECT_TRUE(restore_settings(box.data_dir()));
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), kEarlierSettings);
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    EXPECT_FALSE(restore_settings(box.data_dir()));
    backup_settings(box.data_dir());
    drop_settings_backups(box.data_dir());
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), kEarlierSettings);
}

struct PatchCase {
    const char* name;
    std::string before;
    std::string after;
};

TEST_F(Procedure, PatchAutorunLine)
{
    const PatchCase cases[] = {
        {"FALSE to TRUE plus a blank", "# P\r\nauto_run=\"FALSE\"\r\nx=\"1\"\r\n",
         "# P\r\nauto_run=\"TRUE\" \r\nx=\"1\"\r\n"},
        {"the CR replaced", "# P\nauto_run=\"TRUE\"\r\nx=\"1\"\r\n", "# P\nauto_run=\"TRUE\" \nx=\"1\"\r\n"},
        {"action_run first", "# P\naction_run=\"FALSE\"\nauto_run=\"FALSE\"\n",
         "# P\naction_run=\"TRUE\" \nauto_run=\"FALSE\"\n"},
        {"only the first auto_run", "# P\nauto_run=\"FALSE\"\nauto_run=\"FALSE\"\n",
         "# P\nauto_run=\"TRUE\" \nauto_run=\"FALSE\"\n"},
        {"a key on the first line never matched", "auto_run=\"FALSE\"\r\nx=\"1\"\r\n",
         "auto_run=\"FALSE\"\r\nx=\"1\"\r\n"},
        {"a key matched only at the line's start", "# P\nmy_auto_run=\"FALSE\"\r\n",
         "# P\nmy_auto_run=\"FALSE\"\r\n"},
    };
    for (const PatchCase& c : cases) {
        std::string file = box.path("patch.ini");
        write_file(file, c.before);
        patch_autorun_line(file);
        EXPECT_EQ(read_file(file), c.after) << c.name;
    }
    patch_autorun_line(box.path("missing.ini"));
    EXPECT_FALSE(fs::exists(box.path("missing.ini")));
}

TEST_F(Procedure, TrailingSlashAndFolderPaths)
{
    EXPECT_EQ(add_trailing_slash(""), "");
    EXPECT_EQ(add_trailing_slash("/opt/Tools/Clock"), "/opt/Tools/Clock/");
    EXPECT_EQ(add_trailing_slash("/opt/Tools/Clock/"), "/opt/Tools/Clock/");
    EXPECT_EQ(add_trailing_slash("D:\\Tools\\"), "D:\\Tools\\");
    EXPECT_TRUE(make_dir_path(box.path("a/b/c")));
    EXPECT_TRUE(fs::is_directory(box.path("a/b/c")));
    write_file(box.path("file"), "x");
    EXPECT_FALSE(make_dir_path(box.path("file/sub")));
}

// Finish: each box ticked or not, on a finished installation of a stand-in program.
class Finish : public Procedure {
protected:
    void SetUp() override
    {
        Procedure::SetUp();
        install_result = kInstalled;
        fs::create_directories(box.install_dir() + "bin");
        fs::create_directories(box.data_dir());
        std::string program = box.install_dir() + "bin/satclock";
        write_file(program, "#!/bin/sh\ntouch \"$0.started\"\n");
        fs::permissions(program, fs::perms::owner_all);
        write_file(box.data_dir() + "satclock.ini", kEarlierSettings);
        settings_backed_up = backup_settings(box.data_dir());
        write_file(box.data_dir() + "satclock.ini", "# default\r\nauto_run=\"FALSE\"\r\n");
    }
    std::string started() const { return box.install_dir() + "bin/satclock.started"; }
    std::string autostart() const { return box.path("config/autostart/satclock.desktop"); }
};

TEST_F(Finish, NothingTickedDropsTheBackupsOnly)
{
    apply_finish_options(box.path("inst/Satclock"), {});
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# default\r\nauto_run=\"FALSE\"\r\n");
    EXPECT_FALSE(fs::exists(box.data_dir() + "satclock.ini.bak"));
    EXPECT_FALSE(fs::exists(autostart()));
    EXPECT_FALSE(fs::exists(started())) << "returned before any start";
}

TEST_F(Finish, EveryBoxTicked)
{
    apply_finish_options(box.path("inst/Satclock"), {true, true, true});
    // The earlier settings come back first, then receive the autostart mark.
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), "# mine\r\ncom_port=\"7\"\r\nauto_run=\"TRUE\" \r\n");
    EXPECT_NE(read_file(autostart()).find("Exec=" + box.install_dir() + "bin/satclock\n"), std::string::npos);
    EXPECT_TRUE(wait_until([&] { return fs::exists(started()); }));
}

TEST_F(Finish, AnElevatedCopyHandsTheProgramBack)
{
    handover_file = box.path("tmp/hndov123456");
    write_file(handover_file, "");
    apply_finish_options(box.path("inst/Satclock"), {false, false, true});
    EXPECT_EQ(read_file(handover_file), box.install_dir() + "bin/satclock");
    usleep(200 * 1000);
    EXPECT_FALSE(fs::exists(started()));
}

// What the path names is checked before it is opened for writing: a link is
// never followed, a FIFO's reader never sees a writer come and go (opening it
// already acts, as opening a serial line raises DTR), and a file of another
// account stays as it is.
TEST_F(Finish, AHandOverPathThatIsNoFileOfTheUsersIsNeverOpenedForWriting)
{
    enum Kind { link, fifo, other_account };
    for (Kind kind : {link, fifo, other_account}) {
        SCOPED_TRACE(kind);
        handover_file = box.path("tmp/hndov" + std::to_string(kind));
        write_file(box.path("victim"), "precious");
        if (kind == link)
            fs::create_symlink(box.path("victim"), handover_file);
        else if (kind == fifo)
            ASSERT_EQ(mkfifo(handover_file.c_str(), 0600), 0);
        else
            write_file(handover_file, "precious");
        ASSERT_EQ(lchown(handover_file.c_str(), kind == other_account ? 65534 : getuid(), gid_t(-1)), 0);
        int reader = kind == fifo ? open(handover_file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        apply_finish_options(box.path("inst/Satclock"), {false, false, true});
        if (kind == fifo) {
            // A reader sees POLLHUP once a writer has opened and closed the FIFO.
            pollfd seen{reader, POLLIN, 0};
            EXPECT_EQ(poll(&seen, 1, 0), 0) << "revents " << seen.revents;
            close(reader);
        }
        EXPECT_EQ(read_file(kind == fifo ? box.path("victim") : handover_file), "precious");
    }
}

// Nothing is started at login, or now, for a program that is not installed.
TEST_F(Finish, AfterAFailureTheEarlierSettingsComeBackAndNothingIsStarted)
{
    install_result = kUnpackFailed;
    recover_settings_after_failure();
    apply_finish_options(box.path("inst/Satclock"), {false, true, true});
    EXPECT_EQ(read_file(box.data_dir() + "satclock.ini"), kEarlierSettings);
    EXPECT_FALSE(fs::exists(autostart()));
    EXPECT_FALSE(fs::exists(started())) << "returned before any start";
}

}  // namespace
