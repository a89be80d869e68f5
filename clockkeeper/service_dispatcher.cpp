// The service's control dispatcher: SIGTERM from systemd becomes the stop control.
#include "clockkeeper/service.h"
#include "clockkeeper/service_control.h"

#include "platform/stop_signal.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

// Deliver one stop, once the service accepts it: a SIGTERM that comes while
// the service is still starting waits for RUNNING instead of being lost.
void dispatch_controls(StopSignalWaiter& waiter, const std::atomic<bool>& ended)
{
    bool stop_delivered = false;
    for (;;) {
        int rc = waiter.wait();
        if (rc == 0 || ended.load())
            return;
        if (rc < 0)
            service_log("[dispatcher] waiting for SIGTERM failed: %s; stopping", std::strerror(errno));
        if (!stop_delivered) {
            if (!wait_stop_control_accepted())
                return;
            stop_delivered = true;
            service_control_handler(kServiceControlStop);
        }
        if (rc < 0)
            return;
    }
}

}  // namespace

bool run_service_dispatcher()
{
    // Block SIGTERM before any thread exists, so every thread inherits the mask.
    StopSignalWaiter waiter;
    if (int rc = waiter.open()) {
        service_log("[dispatcher] cannot take SIGTERM: %s", std::strerror(rc));
        return false;
    }
    std::atomic<bool> ended{false};
    std::thread service_thread;
    try {
        service_thread = std::thread([&] {
            service_main();
            ended.store(true);
            waiter.wake();
        });
    } catch (const std::system_error& e) {
        service_log("[dispatcher] cannot start service_main: %s", e.what());
        return false;
    }
    dispatch_controls(waiter, ended);
    service_thread.join();
    return true;
}
