// main_clockkeeper_thread: waits for commands on the channel, applies them
// and leaves its acknowledgement in the block.
#include "clockkeeper/service.h"

#include "clockkeeper/clock_commands.h"
#include "clockkeeper/service_channel.h"
#include "common/smem.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>

namespace {

constexpr int kDefaultWaitTimeoutMs = 60000;
constexpr int kRetryPauseMs = 1000;
// While another process keeps the presence lock from us, look again this often.
constexpr int kHoldRetryMs = 1000;
// A count that stays up after the bounded drain is a flood (a count written
// from outside, or a sender that signals without end): at most this many
// wakes a second then, so the flood costs next to nothing.
constexpr int kFloodPauseMs = 100;

enum class Wake { stop, command, timeout, failed };

// SATCLOCK_WAIT_TIMEOUT_MS shortens the idle wake-up (tests); 60 s otherwise.
int wait_timeout_ms()
{
    const char* text = std::getenv("SATCLOCK_WAIT_TIMEOUT_MS");
    if (!text || !*text)
        return kDefaultWaitTimeoutMs;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= 0 || value > kDefaultWaitTimeoutMs)
        return kDefaultWaitTimeoutMs;
    return int(value);
}

// The stop event is looked at before and after the wait on the command
// event, so when both are signalled the stop wins.
Wake wait_stop_or_command(NamedEvent* event, int timeout_ms, int* error)
{
    if (worker_stop_event.is_set())
        return Wake::stop;
    if (!event) {
        *error = EBADF;
        return Wake::failed;
    }
    int rc = platform_named_event_wait(event, timeout_ms);
    *error = errno;
    if (worker_stop_event.is_set())
        return Wake::stop;
    if (rc == 1)
        return Wake::command;
    return rc == 0 ? Wake::timeout : Wake::failed;
}

int32_t ack_of(int applied)
{
    if (applied > 0)
        return kAckApplied;
    return applied == 0 ? kAckRefused : kAckSetFailed;
}

// Takes the slot's command, applies it, acknowledges it. `quiet_empty`: a
// flood is on, and its empty wakes are not logged one by one.
void take_command(bool quiet_empty)
{
    TakenCommand taken{};
    long long size = 0;
    int rc = smem_take_command(&taken, &size);
    if (rc < 0) {
        // Any account may shrink the block; it is read through its descriptor,
        // so a short one is only a skipped command, and is grown back.
        service_log("[main_clockkeeper_thread] block is %lld bytes, too short for a command; skipped", size);
        smem_grow_memory();
        smem_set_keeper_mark(true);
        return;
    }
    if (rc == 0) {
        if (!quiet_empty)
            service_log("[main_clockkeeper_thread] no command!");
        return;
    }
    int32_t result = kAckUnknownCommand;
    switch (taken.command) {
    case kCommandSetTime:
        result = ack_of(apply_set_command(taken.cur_ft, taken.new_ft));
        break;
    case kCommandShiftTime:
        result = ack_of(apply_shift_command(taken.cur_ft, taken.new_ft));
        break;
    default:
        // Any account may write the block: a value we do not know is dropped.
        service_log("[main_clockkeeper_thread] unknown command %d ignored", taken.command);
        break;
    }
    if (taken.sequence != 0)
        smem_write_ack(taken.sequence, result);
}

// Counts the wakes of a flood and logs its start and end once each.
struct FloodWatch {
    long long wakes = 0;

    // True while the count stays up after the wake's drain.
    bool note(NamedEvent* event)
    {
        bool pending = platform_named_event_pending(event);
        if (pending && wakes++ == 0)
            service_log("[main_clockkeeper_thread] command event flooded; at most %d wakes a second", 1000 / kFloodPauseMs);
        if (!pending && wakes > 0) {
            service_log("[main_clockkeeper_thread] command event flood over after %lld wakes", wakes);
            wakes = 0;
        }
        return pending;
    }
};

void handle_command_wake(NamedEvent* event, FloodWatch& flood)
{
    bool flooded = flood.note(event);
    take_command(flooded);
    if (flooded)
        worker_stop_event.wait_for(kFloodPauseMs);
}

}  // namespace

void main_clockkeeper_thread()
{
    service_log("[main_clockkeeper_thread] start");
    // Started alone (tests), the worker opens the channel itself.
    if (!service_channel_event() && !service_channel_open())
        service_log("[main_clockkeeper_thread] the channel cannot be opened; commands cannot arrive");
    int timeout_ms = wait_timeout_ms();
    FloodWatch flood;
    for (;;) {
        int error = 0;
        NamedEvent* event = service_channel_event();
        int wait_ms = service_channel_holds() ? timeout_ms : std::min(timeout_ms, kHoldRetryMs);
        switch (wait_stop_or_command(event, wait_ms, &error)) {
        case Wake::stop:
            service_channel_close();
            service_log("[main_clockkeeper_thread] stop");
            return;
        case Wake::timeout:
            service_log("[main_clockkeeper_thread] timeout");
            break;
        case Wake::command:
            handle_command_wake(event, flood);
            break;
        case Wake::failed:
            // Retrying at once would spin a core for as long as the event is missing.
            service_log("[main_clockkeeper_thread] wait failed: %s; next try in 1 s", std::strerror(error));
            worker_stop_event.wait_for(kRetryPauseMs);
            break;
        }
        service_channel_check();
    }
}
