// Finding a running program by its executable's name.
#include "common/process_list.h"
#include "tests/support/test_env.h"

#include "platform/process.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class ProcessList : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("SATCLOCK_PROC_DIR"); }
    TestSandbox sandbox;
};

TEST_F(ProcessList, ARealProcessIsFoundByItsFileNameInAnyCase)
{
    std::string program = sandbox.path("SatClockTestProbe");
    fs::copy_file("/bin/sleep", program);
    pid_t pid = process_spawn({program, "30"});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(is_process_running("satclocktestprobe.EXE"));
    EXPECT_TRUE(is_process_running("SATCLOCKTESTPROBE"));
    // Replaced while running: the kernel marks the link "(deleted)".
    fs::remove(program);
    EXPECT_TRUE(is_process_running("satclocktestprobe"));
    kill(pid, SIGKILL);
    process_wait(pid);
    EXPECT_FALSE(is_process_running("satclocktestprobe"));
}

TEST_F(ProcessList, TheDesktopProgramIsLookedForInTheProcessFolder)
{
    std::string proc = sandbox.path("proc");
    fs::create_directories(proc + "/12/");
    fs::create_directories(proc + "/self/");
    fs::create_symlink("/usr/bin/bash", proc + "/12/exe");
    fs::create_symlink("/opt/Satclock/bin/satclock", proc + "/self/exe");
    setenv("SATCLOCK_PROC_DIR", proc.c_str(), 1);
    EXPECT_FALSE(is_program_running()) << "only numbered entries are processes";
    fs::create_directories(proc + "/4711/");
    fs::create_symlink("/opt/Satclock/bin/satclock", proc + "/4711/exe");
    EXPECT_TRUE(is_program_running());
}

}  // namespace
