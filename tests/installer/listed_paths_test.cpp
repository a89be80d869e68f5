// Removal passes over an uninstall list in a temporary folder.
#include "common/listed_paths.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class ListedPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = sandbox.path("inst") + "/";
        fs::create_directories(base + "share/help");
        touch(base + "bin.txt");
        touch(base + "share/help/a.html");
        touch(base + "share/b.po");
    }
    static void touch(const std::string& path) { std::ofstream(path) << "x"; }
    int remove(const std::string& list) { return remove_listed_paths(list.data(), list.size(), base); }

    TestSandbox sandbox;
    std::string base;
};

TEST_F(ListedPaths, FilesThenFoldersDeepestFirstGoInOnePass)
{
    EXPECT_EQ(remove("bin.txt\nshare/help/a.html\nshare/b.po\nshare/help\nshare\n"), 1);
    EXPECT_TRUE(fs::is_empty(base));
}

TEST_F(ListedPaths, AFolderListedBeforeItsFilesGoesInTheSecondPass)
{
    EXPECT_EQ(remove("share/help\nshare\nshare/help/a.html\nshare/b.po\nbin.txt\n"), 2);
    EXPECT_TRUE(fs::is_empty(base));
}

TEST_F(ListedPaths, CrLfLinesAbsolutePathsAndMissingPathsCount)
{
    std::string outside = sandbox.path("desktop/Satclock.desktop");
    touch(outside);
    EXPECT_EQ(remove("bin.txt\r\n" + outside + "\r\nnot-there\r\n"), 1);
    EXPECT_FALSE(fs::exists(base + "bin.txt"));
    EXPECT_FALSE(fs::exists(outside));
}

TEST_F(ListedPaths, ALastLineWithoutLfIsIgnored)
{
    remove("bin.txt\nshare/b.po");
    EXPECT_FALSE(fs::exists(base + "bin.txt"));
    EXPECT_TRUE(fs::exists(base + "share/b.po"));
}

TEST_F(ListedPaths, SevenPassesAtMostWhenSomethingStays)
{
    // A folder that keeps a file the list does not name never goes.
    EXPECT_EQ(remove("share/help/a.html\nshare\n"), kRemovalPasses);
    EXPECT_TRUE(fs::exists(base + "share/b.po"));
    EXPECT_FALSE(fs::exists(base + "share/help/a.html"));
}

TEST_F(ListedPaths, ALinkIsDeletedNotFollowed)
{
    fs::create_directory_symlink(base + "share", base + "link");
    EXPECT_EQ(remove("link\n"), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(base + "link")));
    EXPECT_TRUE(fs::exists(base + "share/b.po"));
}

}  // namespace
