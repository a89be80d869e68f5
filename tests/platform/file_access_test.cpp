// The users group's write access to a shared file: through an access list
// where the file system keeps them, else through the file's group (a ramfs in
// a mount namespace of this test's own), and never for every account.
#include "platform/file_access.h"
#include "tests/support/test_env.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "group:users:rw-" or "" when the file's access list has no entry for users.
std::string users_entry(const std::string& path)
{
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return {};
    char* text = acl_to_any_text(acl, nullptr, '\n', 0);
    std::string all = text ? text : "";
    acl_free(text);
    acl_free(acl);
    size_t at = all.find("group:users:");
    return at == std::string::npos ? "" : all.substr(at, all.find('\n', at) - at);
}

// A folder on a ramfs, which keeps no access lists, seen by this process only.
bool mount_ramfs(const std::string& folder)
{
    return unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("none", folder.c_str(), "ramfs", 0, nullptr) == 0;
}

TEST(FileAccess, TheUsersGroupWritesAndOthersNeverDo)
{
    struct group* users = getgrnam("users");
    if (geteuid() != 0 || !users)
        GTEST_SKIP() << "needs root and the group users";
    TestSandbox box;
    const struct {
        const char* what;
        bool ramfs;
        mode_t before;
        std::string entry;  // the access list's entry for users afterwards
    } cases[] = {
        {"a new file on a file system with access lists", false, 0644, "group:users:rw-"},
        {"a file an earlier version left writable by all", false, 0666, "group:users:rw-"},
        {"a new file on a file system without access lists", true, 0644, ""},
        {"writable by all, without access lists", true, 0666, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string folder = box.path("f" + std::to_string(++n));
        std::filesystem::create_directories(folder);
        if (c.ramfs && !mount_ramfs(folder))
            GTEST_SKIP() << "no ramfs in a mount namespace here";
        std::string file = folder + "/satclock.ini";
        std::ofstream(file) << "auto_run=\"FALSE\"\n";
        ASSERT_EQ(chmod(file.c_str(), c.before), 0);
        EXPECT_TRUE(file_grant_users_rw(file));
        struct stat st{};
        ASSERT_EQ(stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0664u) << std::oct << (st.st_mode & 07777);
        EXPECT_EQ(users_entry(file), c.entry);
        if (c.entry.empty()) {
            EXPECT_EQ(st.st_gid, users->gr_gid);
        }
        if (c.ramfs)
            umount2(folder.c_str(), MNT_DETACH);
    }
}

}  // namespace
