// The service's threads: the supervisor that owns the worker, and their start and stop.
#include "clockkeeper/service.h"

#include "clockkeeper/service_channel.h"

#include <cerrno>

#include <system_error>
#include <thread>

ManualEvent service_stop_event;
ManualEvent worker_stop_event;

namespace {

std::thread supervisor_thread;  // service_supervisor_thread while it runs
std::thread worker_thread;      // main_clockkeeper_thread, owned by the supervisor
// The stop procedure has finished (supervisor and worker ended).
ManualEvent service_threads_ended;

}  // namespace

bool start_service_threads()
{
    // A service that reports running must be able to hear: the channel is
    // opened before the threads start, and a start without it fails.
    if (!service_channel_open())
        return false;
    service_stop_event.create();
    service_threads_ended.close();
    service_threads_ended.create();
    try {
        supervisor_thread = std::thread(service_supervisor_thread);
    } catch (const std::system_error& e) {
        service_log("[start_service_threads] cannot start service_supervisor_thread: %s", e.what());
        service_channel_close();
        errno = e.code().value();
        return false;
    }
    return true;
}

void stop_service_threads()
{
    service_stop_event.set();
    if (supervisor_thread.joinable())
        supervisor_thread.join();
    service_threads_ended.set();
    service_stop_event.close();
}

void wait_service_threads_ended() { service_threads_ended.wait(); }

void service_supervisor_thread()
{
    service_log("[service_supervisor_thread] start");
    worker_stop_event.create();
    try {
        worker_thread = std::thread(main_clockkeeper_thread);
    } catch (const std::system_error& e) {
        service_log("[service_supervisor_thread] cannot start main_clockkeeper_thread: %s", e.what());
    }
    service_stop_event.wait();
    // The worker waits in poll on the command socket and its stop descriptor:
    // the event is set first, so the worker finds it set when the descriptor wakes it.
    worker_stop_event.set();
    service_channel_wake();
    if (worker_thread.joinable())
        worker_thread.join();
    worker_stop_event.close();
    service_log("[service_supervisor_thread] stop");
}
