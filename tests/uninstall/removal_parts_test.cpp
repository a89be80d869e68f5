// Parts of the removal that a user would see go wrong on their own: the
// self-deleting script with awkward folder names, and the autostart entries
// of every account without following a link an account planted.
#include "tests/uninstall/installed_tree.h"

#include "platform/process.h"
#include "tests/support/test_env.h"
#include "uninstall/autorun_values.h"
#include "uninstall/self_delete.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(SelfDeleteScript, DeletesTheProgramThenItsEmptiedFolderThenItselfWhateverTheNames)
{
    TestSandbox sandbox;
    for (std::string name : {"Sat clock", "it's \"$HOME\" `id`", "a;b&c|d\\e"}) {
        std::string folder = sandbox.path(name);
        std::string program = folder + "/un install";
        fs::create_directories(folder);
        std::ofstream(program) << "program";
        std::string script = sandbox.path("tmp/delself");
        std::ofstream(script) << self_delete_script_text(program, script);
        // Standard input at its end: the uninstaller has ended.
        EXPECT_EQ(0, process_run({"sh", "-c", "exec sh \"$0\" </dev/null", script})) << name;
        EXPECT_FALSE(exists(folder)) << name;
        EXPECT_FALSE(exists(script)) << name;
    }
    EXPECT_TRUE(files_under(sandbox.dir()).empty());
}

TEST(SelfDeleteScript, EachRunWritesAFreshFileOnlyItsOwnerCanRead)
{
    TestSandbox sandbox;
    setenv("TMPDIR", sandbox.path("tmp").c_str(), 1);
    std::string program = sandbox.path("folder/uninstall");
    ASSERT_TRUE(write_self_delete_batch(program));
    ASSERT_TRUE(write_self_delete_batch(program));
    std::vector<std::string> scripts = files_under(sandbox.path("tmp"));
    ASSERT_EQ(2u, scripts.size());
    for (const std::string& script : scripts)
        EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
                  fs::status(sandbox.path("tmp/" + script)).permissions());
}

TEST(AutorunValues, EveryAccountsEntryGoesHiddenOrNotButNoPlantedLinkIsFollowed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "acts as each account: needs root";
    TestSandbox sandbox;
    point_seams_into(sandbox);
    setenv("XDG_CONFIG_HOME", sandbox.path("config").c_str(), 1);
    std::ofstream(sandbox.path("passwd"), std::ios::app)
        << "eve:x:1002:1002::" << sandbox.path("home/eve") << ":/bin/sh\n";
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"home/ann/.config/autostart/satclock.desktop", "[Desktop Entry]\nExec=satclock\n"},
        {"home/boris/.config/autostart/satclock.desktop", "[Desktop Entry]\nExec=satclock\nHidden=true\n"},
        {"config/autostart/satclock.desktop", "[Desktop Entry]\nExec=satclock\n"},
        {"elsewhere/satclock.desktop", "not an autostart entry"}};
    for (const auto& [path, text] : entries) {
        fs::create_directories(fs::path(sandbox.path(path)).parent_path());
        std::ofstream(sandbox.path(path)) << text;
    }
    fs::create_directories(sandbox.path("home/eve/.config"));
    fs::create_directory_symlink(sandbox.path("elsewhere"), sandbox.path("home/eve/.config/autostart"));
    const std::pair<const char*, uid_t> owners[] = {{"ann", 1000}, {"boris", 1001}, {"eve", 1002}};
    for (const auto& [name, uid] : owners)
        give_home(sandbox, name, uid);

    remove_autorun_values();
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(exists(sandbox.path(entries[i].first))) << entries[i].first;
    EXPECT_TRUE(exists(sandbox.path("elsewhere/satclock.desktop")));
}

}  // namespace
