// The receiver's view for the tray, and its change listener.
#include "src/gps/receiver_view.h"

#include "src/gps/gps_fix.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<void (*)()> view_listener{nullptr};
std::mutex last_lock;
ReceiverView last_seen;

}  // namespace

ReceiverView receiver_view_now()
{
    int quality = gps_fix_copy().fix_quality;
    ReceiverView view;
    view.fix_state = quality > 0 ? 1 : quality < 0 ? -1 : 0;
    view.hint = gnss_hint_now();
    return view;
}

void receiver_view_check()
{
    ReceiverView now = receiver_view_now();
    {
        std::lock_guard hold(last_lock);
        if (now == last_seen)
            return;
        last_seen = now;
    }
    receiver_view_changed();
}

void receiver_view_changed()
{
    if (void (*listener)() = view_listener.load())
        listener();
}

void receiver_view_set_listener(void (*listener)()) { view_listener.store(listener); }
