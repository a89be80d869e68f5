// Named shell folders: seams, system defaults, the invoking user's XDG desktop.
#include "common/shell_folder.h"

#include "tests/support/test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

// Sets or clears environment variables for one test and puts them back after.
class EnvGuard {
public:
    ~EnvGuard()
    {
        for (const auto& [name, old] : saved_) {
            if (old.first)
                setenv(name.c_str(), old.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void set(const std::string& name, const char* value)
    {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = {old != nullptr, old ? old : ""};
        }
        if (value)
            setenv(name.c_str(), value, 1);
        else
            unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::pair<bool, std::string>> saved_;
};

std::pair<int, std::string> folder(const char* name, size_t size = 4096)
{
    std::string buffer(size, '?');
    int found = get_shell_folder(buffer.data(), size, name);
    return {found, buffer.c_str()};
}

class ShellFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        env_.set("PKEXEC_UID", nullptr);
        env_.set("SUDO_UID", nullptr);
        env_.set("HOME", sandbox_.path("home").c_str());
        std::filesystem::create_directory(sandbox_.path("home"));
    }
    void user_dirs(const std::string& lines)
    {
        std::ofstream(sandbox_.path("config/user-dirs.dirs")) << lines;
    }

    TestSandbox sandbox_;
    EnvGuard env_;
};

TEST_F(ShellFolder, SeamsNameTheCommonFolders)
{
    EXPECT_EQ(folder("Common AppData"), std::make_pair(1, sandbox_.path("appdata")));
    EXPECT_EQ(folder("Common Programs"), std::make_pair(1, sandbox_.path("programs")));
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, sandbox_.path("desktop")));
}

TEST_F(ShellFolder, SystemFoldersWithoutSeams)
{
    env_.set("SATCLOCK_COMMON_APPDATA", nullptr);
    env_.set("SATCLOCK_COMMON_PROGRAMS", "");
    EXPECT_EQ(folder("Common AppData"), std::make_pair(1, std::string("/var/lib")));
    EXPECT_EQ(folder("Common Programs"), std::make_pair(1, std::string("/usr/share/applications")));
}

TEST_F(ShellFolder, CommonDesktopIsTheUsersXdgDesktop)
{
    env_.set("SATCLOCK_COMMON_DESKTOP", nullptr);
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, sandbox_.path("home/Desktop")));
    user_dirs("# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
              "XDG_DESKTOP_DIR=\"$HOME/Schreib\\\"tisch\"\n");
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, sandbox_.path("home/Schreib\"tisch")));
    EXPECT_EQ(folder("Desktop"), std::make_pair(1, sandbox_.path("home/Schreib\"tisch")));
    EXPECT_EQ(folder("Personal"), std::make_pair(1, sandbox_.path("home/Dokumente")));
    user_dirs("XDG_DESKTOP_DIR=\"/srv/desk\"\n");
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, std::string("/srv/desk")));
    user_dirs("XDG_DESKTOP_DIR=\"relative/desk\"\n");
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, sandbox_.path("home/Desktop")));
}

// Run through pkexec or sudo, the installer puts links on the desktop of the user who
// started it, not root's.
TEST_F(ShellFolder, CommonDesktopOfTheInvokingUser)
{
    env_.set("SATCLOCK_COMMON_DESKTOP", nullptr);
    uid_t other = getuid() == 65534 ? 0 : 65534;
    std::string other_id = std::to_string(other);
    env_.set("SUDO_UID", other_id.c_str());
    auto [found, path] = folder("Common Desktop");
    EXPECT_EQ(found, 1);
    EXPECT_NE(path, sandbox_.path("home/Desktop"));
    EXPECT_EQ(path.substr(path.size() - 8), "/Desktop");

    env_.set("PKEXEC_UID", std::to_string(getuid()).c_str());  // the caller himself
    env_.set("SUDO_UID", nullptr);
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(1, sandbox_.path("home/Desktop")));

    env_.set("PKEXEC_UID", "4000000000");  // no such user
    EXPECT_EQ(folder("Common Desktop"), std::make_pair(0, std::string("/")));
}

TEST_F(ShellFolder, UserFolders)
{
    env_.set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(folder("AppData"), std::make_pair(1, sandbox_.path("config")));
    EXPECT_EQ(folder("Startup"), std::make_pair(1, sandbox_.path("config/autostart")));
    EXPECT_EQ(folder("Local AppData"), std::make_pair(1, sandbox_.path("home/.local/share")));
    EXPECT_EQ(folder("Programs"), std::make_pair(1, sandbox_.path("home/.local/share/applications")));
}

TEST_F(ShellFolder, UnknownNamesAndShortBuffersGiveTheRoot)
{
    EXPECT_EQ(folder("common appdata"), std::make_pair(0, std::string("/")));
    EXPECT_EQ(folder("Fonts"), std::make_pair(0, std::string("/")));
    EXPECT_EQ(folder(nullptr), std::make_pair(0, std::string("/")));
    EXPECT_EQ(folder("Common AppData", sandbox_.path("appdata").size()), std::make_pair(0, std::string("/")));
    EXPECT_EQ(folder("Common AppData", sandbox_.path("appdata").size() + 1), std::make_pair(1, sandbox_.path("appdata")));
}

}  // namespace
