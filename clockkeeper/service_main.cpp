// service_main, the control handler and the status reports to systemd.
#include "clockkeeper/service.h"
#include "clockkeeper/service_control.h"

#include "platform/service_notify.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>

ServiceStatus service_status = {kServiceWin32OwnProcess, 0, 0, 0, 0, 0, 0};
std::atomic<uint32_t> status_checkpoint{1};
std::atomic<int> service_main_error{0};

namespace {

// Guards service_status and service_main_ended: the handler runs on the
// dispatcher's thread while service_main runs on its own.
std::mutex status_lock;
std::condition_variable status_changed;
bool service_main_ended = false;

const char* state_name(uint32_t state)
{
    switch (state) {
    case kServiceStopped: return "STOPPED";
    case kServiceStartPending: return "START_PENDING";
    case kServiceStopPending: return "STOP_PENDING";
    case kServiceRunning: return "RUNNING";
    default: return "UNKNOWN";
    }
}

// systemd's counterparts: STATUS= while starting, READY=1 when running,
// STOPPING=1 when a stop begins; a stop that failed carries ERRNO=.
void notify_text(const ServiceStatus& status, char* text, size_t size)
{
    switch (status.current_state) {
    case kServiceStartPending:
        std::snprintf(text, size, "STATUS=Starting (checkpoint %u)", status.checkpoint);
        break;
    case kServiceRunning:
        std::snprintf(text, size, "READY=1\nSTATUS=Running");
        break;
    case kServiceStopPending:
        std::snprintf(text, size, "STOPPING=1\nSTATUS=Stopping (checkpoint %u)", status.checkpoint);
        break;
    default:
        if (status.win32_exit_code != 0)
            std::snprintf(text, size, "STATUS=Stopped\nERRNO=%u", status.win32_exit_code);
        else
            std::snprintf(text, size, "STATUS=Stopped");
        break;
    }
}

void set_status(uint32_t state, uint32_t controls, uint32_t exit_code, uint32_t checkpoint, uint32_t wait_hint)
{
    std::lock_guard<std::mutex> guard(status_lock);
    service_status.current_state = state;
    service_status.controls_accepted = controls;
    service_status.win32_exit_code = exit_code;
    service_status.checkpoint = checkpoint;
    service_status.wait_hint = wait_hint;
}

uint32_t take_checkpoint() { return status_checkpoint.fetch_add(1); }

void mark_service_main_ended()
{
    std::lock_guard<std::mutex> guard(status_lock);
    service_main_ended = true;
    status_changed.notify_all();
}

}  // namespace

ServiceStatus service_status_snapshot()
{
    std::lock_guard<std::mutex> guard(status_lock);
    return service_status;
}

int report_service_status()
{
    ServiceStatus status;
    {
        std::lock_guard<std::mutex> guard(status_lock);
        status = service_status;
        status_changed.notify_all();
    }
    char text[128];
    notify_text(status, text, sizeof text);
    int rc = platform_service_notify(text);
    service_log("[service_status] %s controls=%u exit=%u checkpoint=%u wait_hint=%u",
                state_name(status.current_state), status.controls_accepted, status.win32_exit_code,
                status.checkpoint, status.wait_hint);
    if (rc < 0)
        service_log("[service_status] sd_notify failed: %s", std::strerror(-rc));
    return rc < 0 ? -rc : 0;
}

bool wait_stop_control_accepted()
{
    std::unique_lock<std::mutex> guard(status_lock);
    status_changed.wait(guard, [] {
        return service_main_ended || service_status.current_state == kServiceStopped ||
               (service_status.current_state != kServiceStartPending && service_status.current_state != 0 &&
                (service_status.controls_accepted & kServiceAcceptStop));
    });
    return !service_main_ended && service_status.current_state != kServiceStopped;
}

void service_main()
{
    // Registering the handler: the dispatcher hands SIGTERM to it as soon as
    // the reported status accepts a stop, so nothing can fail here.
    int error = 0;
    bool threads_started = false;
    set_status(kServiceStartPending, 0, 0, take_checkpoint(), 1000);
    error = report_service_status();
    if (error == 0) {
        threads_started = start_service_threads();
        if (!threads_started) {
            error = errno ? errno : EIO;
            service_log("[service_main] the channel cannot be opened: start failed");
        }
    }
    if (error == 0) {
        set_status(kServiceRunning, kServiceAcceptStop, 0, 0, 0);
        error = report_service_status();
    }
    if (error == 0) {
        service_stop_event.wait();
        // Report STOPPED only once the worker and the supervisor have ended,
        // not as soon as the stop began.
        wait_service_threads_ended();
    } else if (threads_started) {
        // A failed report must not leave the worker running in a process about to end.
        stop_service_threads();
    }
    set_status(kServiceStopped, kServiceAcceptStop, uint32_t(error), 0, 0);
    report_service_status();
    service_main_error = error;
    mark_service_main_ended();
}

void service_control_handler(uint32_t control)
{
    {
        std::lock_guard<std::mutex> guard(status_lock);
        service_status.win32_exit_code = 0;
        service_status.wait_hint = 0;
        if (control == kServiceControlStop) {
            service_status.checkpoint = take_checkpoint();
            service_status.controls_accepted = kServiceAcceptStop;
            service_status.current_state = kServiceStopPending;
        } else {
            uint32_t state = service_status.current_state;
            service_status.controls_accepted = state == kServiceStartPending ? 0 : kServiceAcceptStop;
            service_status.checkpoint = (state == kServiceRunning || state == kServiceStopped) ? 0 : take_checkpoint();
        }
    }
    report_service_status();
    if (control == kServiceControlStop)
        stop_service_threads();
}
