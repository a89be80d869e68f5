// The notification worker: one thread, fed through a queue, so that a slow
// or missing notification service never holds up the window.
#include "src/ui/notify.h"

#include "src/settings/settings.h"
#include "src/ui/status_line.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <libnotify/notify.h>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace {

// Never destroyed: the worker waits on them until the process is gone, and a
// condition variable destroyed under a waiter would hold up the exit.
std::mutex& queue_lock = *new std::mutex;
std::condition_variable& queue_changed = *new std::condition_variable;
std::deque<std::string>& queue = *new std::deque<std::string>;
bool worker_started = false;  // under queue_lock
unsigned last_notice = 0;     // GUI thread only

void show(const std::string& body)
{
    static bool initialised = notify_init("Satclock");
    if (!initialised)
        return;
    NotifyNotification* note = notify_notification_new("Satclock", body.c_str(), "satclock");
    GError* error = nullptr;
    if (!notify_notification_show(note, &error)) {
        std::printf("[notify] %s\n", error ? error->message : "not shown");
        g_clear_error(&error);
    }
    g_object_unref(note);
}

void work()
{
    for (;;) {
        std::string body;
        {
            std::unique_lock guard(queue_lock);
            queue_changed.wait(guard, [] { return !queue.empty(); });
            body = std::move(queue.front());
            queue.pop_front();
        }
        show(body);
    }
}

void post(std::string body)
{
    std::lock_guard guard(queue_lock);
    if (!worker_started) {
        try {
            std::thread(work).detach();
            worker_started = true;
        } catch (const std::system_error& e) {
            std::printf("[notify] no worker thread: %s\n", e.what());
            return;
        }
    }
    queue.push_back(std::move(body));
    queue_changed.notify_one();
}

}  // namespace

void correction_notice_poll(const CorrectionResult& result)
{
    if (result.notice_sequence == last_notice)
        return;
    last_notice = result.notice_sequence;
    if (app_settings.notify_corrections)
        post(correction_result_text(result));
}
