// Child processes: exit codes, signals, time-outs, a program that is not there.
#include "platform/process.h"

#include <csignal>
#include <gtest/gtest.h>

namespace {

TEST(Process, ExitStatusesComeBack)
{
    EXPECT_EQ(process_run({"sh", "-c", "exit 0"}), 0);
    EXPECT_EQ(process_run({"sh", "-c", "exit 126"}), 126);
    EXPECT_EQ(process_run({"sh", "-c", "kill -9 $$"}), 128 + SIGKILL);
}

TEST(Process, MissingProgramIs127)
{
    EXPECT_EQ(process_run({"/nonexistent/satclock-no-such-program"}), 127);
    EXPECT_EQ(process_run({}), 127);
}

TEST(Process, WaitTimesOutThenCollects)
{
    pid_t pid = process_spawn({"sleep", "5"}, true);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(process_wait(pid, 20), -2);
    kill(pid, SIGTERM);
    EXPECT_EQ(process_wait(pid, 2000), 128 + SIGTERM);
}

TEST(Process, CaptureKeepsStandardOutputOnly)
{
    std::string out = "stale";
    EXPECT_EQ(process_run_capture({"sh", "-c", "echo active; echo noise >&2; exit 3"}, &out), 3);
    EXPECT_EQ(out, "active\n");
    EXPECT_EQ(process_run_capture({"/nonexistent/satclock-no-such-program"}, &out), 127);
    EXPECT_EQ(out, "");
}

// A child that never ends, with a grandchild that holds the output pipe:
// both runs come back once the bound has passed, with what came before it.
TEST(Process, AChildPastItsBoundIsKilledWithItsGroup)
{
    const std::vector<std::string> hung = {"sh", "-c", "echo started; sleep 3600 & wait"};
    std::string out;
    EXPECT_EQ(process_run_capture(hung, &out, 100), 128 + SIGKILL);
    EXPECT_EQ(out, "started\n");
    EXPECT_EQ(process_run(hung, 100), 128 + SIGKILL);
}

TEST(Process, SelfPathIsAbsolute)
{
    std::string self = process_self_path();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self[0], '/');
    EXPECT_NE(self.find("process_tests"), std::string::npos);
}

}  // namespace
