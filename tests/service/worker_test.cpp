// The worker, the control handler and the dispatcher in-process, on the real
// channel and the sandbox clock.
#include "clockkeeper/service.h"
#include "clockkeeper/service_channel.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "tests/service/clockkeeper_run.h"
#include "tests/support/post_command.h"
#include "tests/support/test_env.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <pthread.h>

namespace {

class InProcessService : public ::testing::Test {
protected:
    TestSandbox sandbox;
};

TEST_F(InProcessService, StopWinsOverAPendingCommand)
{
    // The channel as the service opens it before its worker starts.
    ASSERT_TRUE(service_channel_open());
    int64_t now = platform_clock_read_ft() / 10000 * 10000;
    ASSERT_EQ(post_time_command(kCommandSetTime, now, now + 36000000000LL), 1);
    worker_stop_event.create();
    worker_stop_event.set();

    main_clockkeeper_thread();

    worker_stop_event.close();
    EXPECT_FALSE(sandbox.clock_was_set()) << "the pending set was applied";
}

TEST_F(InProcessService, ThreadsStartAndStopAndReleaseTheirEvents)
{
    // The channel's folder is made when missing, open to read, ours to change.
    std::filesystem::remove_all(sandbox.path("channel"));
    ASSERT_TRUE(start_service_threads());
    EXPECT_EQ(std::filesystem::status(sandbox.path("channel")).permissions(), std::filesystem::perms(0755));
    EXPECT_TRUE(service_stop_event.exists());
    EXPECT_FALSE(service_stop_event.is_set());
    stop_service_threads();
    EXPECT_FALSE(service_stop_event.exists());
    EXPECT_FALSE(worker_stop_event.exists());
    // A second start gets fresh, unsignalled events.
    ASSERT_TRUE(start_service_threads());
    EXPECT_FALSE(service_stop_event.is_set());
    stop_service_threads();
}

TEST(ControlHandler, InterrogationReportsTheStatusAsItStands)
{
    struct Case {
        uint32_t state;
        uint32_t controls;
        bool checkpoint_from_counter;
    } cases[] = {
        {kServiceStartPending, 0, true},
        {kServiceRunning, kServiceAcceptStop, false},
        {kServiceStopPending, kServiceAcceptStop, true},
        {kServiceStopped, kServiceAcceptStop, false},
    };
    service_log_set_quiet(true);
    for (const Case& c : cases) {
        service_status.current_state = c.state;
        service_status.win32_exit_code = 5;
        service_status.wait_hint = 1000;
        uint32_t next = status_checkpoint.load();
        service_control_handler(kServiceControlInterrogate);
        ServiceStatus status = service_status_snapshot();
        EXPECT_EQ(status.current_state, c.state);
        EXPECT_EQ(status.controls_accepted, c.controls) << c.state;
        EXPECT_EQ(status.win32_exit_code, 0u);
        EXPECT_EQ(status.wait_hint, 0u);
        EXPECT_EQ(status.checkpoint, c.checkpoint_from_counter ? next : 0u) << c.state;
        EXPECT_EQ(status_checkpoint.load(), c.checkpoint_from_counter ? next + 1 : next) << c.state;
    }
    service_log_set_quiet(false);
}

// A SIGTERM that is already pending when the service starts must be held
// back until the service runs, then stop it: not be lost, not kill it.
TEST_F(InProcessService, StopSignalBeforeTheServiceRunsIsDeliveredOnce)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &set, nullptr), 0);
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);

    ASSERT_TRUE(run_service_dispatcher());

    ServiceStatus status = service_status_snapshot();
    EXPECT_EQ(status.current_state, kServiceStopped);
    EXPECT_EQ(status.win32_exit_code, 0u);
    EXPECT_FALSE(service_stop_event.exists());
}

}  // namespace
