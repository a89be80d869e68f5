// What the installer writes in the folders of the user who started it (the
// start-at-login entry, the desktop icon), attacked by that user from real
// processes of a second account (nobody): links in place of the folders, the
// desktop folder steered out of the home, a folder swapped for a link while
// installations run. The entries are made by the user, never by root, and
// nothing of root's is written to or handed over.
#include "tests/installer/installer_env.h"

#include "platform/process.h"
#include "satsetup/install_entries.h"
#include "satsetup/install_state.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uid_t kUser = 65534;

class UserFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "acts as a second account: needs root";
        fs::permissions(box.dir(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        home = box.path("home/nobody");
        fresh_home();
        write_file(box.path("passwd"), "nobody:x:65534:65534::" + home + ":/usr/sbin/nologin\n");
        setenv("SATCLOCK_PASSWD_FILE", box.path("passwd").c_str(), 1);
        setenv("PKEXEC_UID", std::to_string(kUser).c_str(), 1);
        unsetenv("SATCLOCK_COMMON_DESKTOP");
        fs::create_directories(root_folder());
        write_file(root_folder() + "/precious", "root's");
        form_install_paths(box.install_dir());
    }
    void TearDown() override
    {
        unsetenv("PKEXEC_UID");
        unsetenv("SATCLOCK_PASSWD_FILE");
    }
    void fresh_home()
    {
        fs::remove_all(home);
        fs::create_directories(home);
        ASSERT_EQ(chown(home.c_str(), kUser, kUser), 0);
    }
    // A shell command as the user; $H is the home, $R root's folder.
    int as_user(const std::string& command)
    {
        return process_run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env", "H=" + home,
                            "R=" + root_folder(), "sh", "-c", command},
                           kTestChildBoundMs);
    }
    std::string root_folder() const { return box.path("root-only"); }
    // Root's folder holds its one file, still root's.
    void expect_root_folder_untouched()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_folder()))
            names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"precious"});
        struct stat st {};
        ASSERT_EQ(lstat((root_folder() + "/precious").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(read_file(root_folder() + "/precious"), "root's");
    }
    // Everything in the home is the user's.
    void expect_home_all_users()
    {
        for (const auto& entry : fs::recursive_directory_iterator(home)) {
            struct stat st {};
            ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, kUser) << entry.path();
        }
    }

    InstallerSandbox box;
    std::string home;
};

TEST_F(UserFolders, EachAttackFailsWithItsReason)
{
    enum Entry { autostart, desktop_icon };
    // The user's own setting, taken as written ($HOME stays for the lookup).
    auto desktop_dir = [](const std::string& value) {
        return "mkdir $H/.config && echo 'XDG_DESKTOP_DIR=\"" + value + "\"' >$H/.config/user-dirs.dirs";
    };
    const struct {
        const char* attack;
        std::string commands;
        Entry entry;
        const char* outcome;  // the entry written, relative to the home, or why it was refused
    } cases[] = {
        {"none", "true", autostart, ".config/autostart/satclock.desktop"},
        {"none", "true", desktop_icon, "Desktop/Satclock.desktop"},
        {"none, the desktop is the home", desktop_dir("$HOME"), desktop_icon, "Satclock.desktop"},
        {"the autostart folder a link to root's folder", "mkdir $H/.config && ln -s $R $H/.config/autostart",
         autostart, "/.config/autostart is a link: refused"},
        {".config a link to root's folder", "ln -s $R $H/.config", autostart, "/.config is a link: refused"},
        {"XDG_DESKTOP_DIR naming root's folder", desktop_dir(root_folder()), desktop_icon,
         "lies outside the home folder"},
        {"XDG_DESKTOP_DIR climbing out of the home", desktop_dir("$HOME/../../root-only"), desktop_icon,
         "are not followed"},
        {"the desktop folder a link to root's folder", "ln -s $R $H/Desktop", desktop_icon,
         "/Desktop is a link: refused"},
    };
    for (const auto& c : cases) {
        fresh_home();
        ASSERT_EQ(as_user(c.commands), 0) << c.attack;
        std::string refusal = c.entry == autostart ? set_autorun_value(box.install_dir() + "bin/satclock")
                                                   : create_desktop_icon_entry("Satclock");
        if (std::string(c.outcome).ends_with(".desktop")) {
            EXPECT_EQ(refusal, "") << c.attack;
            EXPECT_TRUE(fs::exists(home + "/" + c.outcome)) << c.attack;
        } else {
            EXPECT_NE(refusal.find(c.outcome), std::string::npos) << c.attack << ": " << refusal;
        }
        expect_root_folder_untouched();
        expect_home_all_users();
    }
}

// The user swaps the folders for links to root's folder as fast as it can
// while twenty installations write their entries: an entry is written or
// refused, but never lands in root's folder, and nothing of root's becomes
// the user's.
TEST_F(UserFolders, AFolderSwappedForALinkNeverHandsOverRootsFiles)
{
    fs::copy_file(build_dir() + "/tests/swap_loop", box.path("swap_loop"));
    ASSERT_EQ(as_user("mkdir -p $H/.config/autostart $H/Desktop && ln -s $R $H/.config/decoy && ln -s $R $H/decoy"),
              0);
    std::vector<pid_t> swappers;
    for (const auto& [folder, link] : {std::pair{"/.config/autostart", "/.config/decoy"}, {"/Desktop", "/decoy"}})
        swappers.push_back(process_spawn({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                          box.path("swap_loop"), home + folder, home + link}));
    int written = 0;
    for (int install = 0; install < 20; ++install) {
        written += set_autorun_value(box.install_dir() + "bin/satclock").empty();
        written += create_desktop_icon_entry("Satclock").empty();
    }
    for (pid_t swapper : swappers) {
        ASSERT_GT(swapper, 0);
        kill(swapper, SIGKILL);
        process_wait(swapper);
    }
    RecordProperty("entries_written", written);
    expect_root_folder_untouched();
    expect_home_all_users();
}

}  // namespace
