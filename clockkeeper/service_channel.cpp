// Opening, checking and releasing the service's ends of the channel.
#include "clockkeeper/service_channel.h"

#include "clockkeeper/service.h"
#include "common/smem.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Guards the event below; the block has a lock of its own in smem.
std::mutex channel_lock;
NamedEvent* channel_event = nullptr;

bool open_block()
{
    if (smem_create_own_memory() != 1) {
        int error = errno;
        service_log("[main_clockkeeper_thread] smem_create_memory() err!!!");
        service_log("[main_clockkeeper_thread] block %s: %s", channel_share_name().c_str(), std::strerror(error));
        errno = error;
        return false;
    }
    // The event's semantics: a command posted while no service ran is gone.
    smem_clear_command();
    smem_set_keeper_mark(true);
    if (smem_holds() != 1)
        service_log("[main_clockkeeper_thread] the block is locked by another process; presence not shown yet");
    return true;
}

}  // namespace

bool service_channel_open()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    NamedEvent* event = open_own_command_event();
    if (!event) {
        int error = errno;
        service_log("[main_clockkeeper_thread] open_command_event: %s", std::strerror(error));
        errno = error;
        return false;
    }
    if (!open_block()) {
        int error = errno;
        close_command_event(event);
        errno = error;
        return false;
    }
    channel_event = event;
    return true;
}

NamedEvent* service_channel_event()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return channel_event;
}

void service_channel_check()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    if (channel_event && !platform_named_event_is_current(channel_event, channel_event_name())) {
        service_log("[main_clockkeeper_thread] command event removed or replaced; taking the name back");
        NamedEvent* fresh = open_own_command_event();
        if (fresh) {
            close_command_event(channel_event);
            channel_event = fresh;
        } else {
            service_log("[main_clockkeeper_thread] open_command_event: %s", std::strerror(errno));
        }
    }
    if (!smem_is_current()) {
        service_log("[main_clockkeeper_thread] block removed or replaced; taking the name back");
        open_block();
    }
    // Shrinking the block, or any writer, may have cleared the mark.
    smem_set_keeper_mark(true);
    if (smem_holds() != 1 && smem_hold_again() == 1)
        service_log("[main_clockkeeper_thread] presence lock on the block taken");
}

void service_channel_wake()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    signal_command_event(channel_event);
}

bool service_channel_holds() { return smem_holds() == 1; }

void service_channel_close()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    smem_set_keeper_mark(false);
    smem_close_memory();
    close_command_event(channel_event);
    channel_event = nullptr;
}
