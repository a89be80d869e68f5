// The notification worker: one thread, fed through a queue, so that a slow
// or missing notification service never holds up the window.
#include "src/ui/notify.h"

#include "platform/work_queue.h"
#include "src/settings/settings.h"
#include "src/ui/status_line.h"

#include <cstdio>
#include <libnotify/notify.h>
#include <string>

namespace {

WorkQueue& worker = *new WorkQueue;  // never destroyed: a notification may be on its way at the exit
unsigned last_notice = 0;            // GUI thread only

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

void post(std::string body)
{
    std::string error = worker.start();
    if (!error.empty()) {
        std::printf("[notify] no worker thread: %s\n", error.c_str());
        return;
    }
    worker.post([body = std::move(body)] { show(body); });
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
