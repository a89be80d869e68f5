// Where the instance marker lives, and links handed to xdg-open.
#include <gtest/gtest.h>

#include "src/ui/help.h"
#include "src/ui/instance.h"
#include "tests/support/test_env.h"
#include "tests/ui/ui_test_support.h"

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Restores an environment variable at the end of a test.
class EnvRestore {
public:
    explicit EnvRestore(const char* name) : name_(name)
    {
        const char* value = std::getenv(name);
        had_ = value != nullptr;
        old_ = value ? value : "";
    }
    ~EnvRestore()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(InstanceMarker, RuntimeFolderFirstElseAPrivateFolderInTemp)
{
    TestSandbox sandbox;
    EnvRestore runtime("XDG_RUNTIME_DIR"), tmp("TMPDIR");
    setenv("XDG_RUNTIME_DIR", sandbox.path("run").c_str(), 1);
    EXPECT_EQ(sandbox.path("run"), instance_dir());

    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", sandbox.dir().c_str(), 1);
    std::string expected = sandbox.path("satclock-" + std::to_string(getuid()));
    EXPECT_EQ(expected, instance_dir());
    struct stat info {};
    ASSERT_EQ(0, stat(expected.c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777);
}

TEST(InstanceMarker, TempFolderOpenToOthersIsRefused)
{
    TestSandbox sandbox;
    EnvRestore runtime("XDG_RUNTIME_DIR"), tmp("TMPDIR");
    unsetenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", sandbox.dir().c_str(), 1);
    std::string dir = sandbox.path("satclock-" + std::to_string(getuid()));
    ASSERT_EQ(0, mkdir(dir.c_str(), 0777));
    chmod(dir.c_str(), 0777);
    EXPECT_EQ("", instance_dir());
    ASSERT_EQ(0, rmdir(dir.c_str()));
    ASSERT_EQ(0, symlink(sandbox.dir().c_str(), dir.c_str()));
    EXPECT_EQ("", instance_dir()) << "a link planted in a shared temp folder";
}

TEST(Links, PathsTheDesktopCannotShowGoToXdgOpen)
{
    TestSandbox sandbox;
    EnvRestore path("PATH");
    std::string log = sandbox.path("xdg-open.log");
    std::string script = sandbox.path("bin/xdg-open");
    std::ofstream(script) << "#!/bin/sh\necho \"$@\" > '" << log << "'\n";
    chmod(script.c_str(), 0755);
    setenv("PATH", (sandbox.path("bin") + ":/usr/bin:/bin").c_str(), 1);
    open_url("/no/such/folder/manual.pdf");
    EXPECT_TRUE(pump_until([&] { return !read_file(log).empty(); }));
    EXPECT_EQ("/no/such/folder/manual.pdf\n", read_file(log));
}

}  // namespace
