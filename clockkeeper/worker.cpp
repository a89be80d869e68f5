// main_clockkeeper_thread: waits for commands on the channel and applies them.
#include "clockkeeper/service.h"

#include "clockkeeper/clock_commands.h"
#include "common/smem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDefaultWaitTimeoutMs = 60000;
constexpr int kRetryPauseMs = 1000;

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

void take_command()
{
    int64_t cur_ft = 0;
    int64_t new_ft = 0;
    int32_t command = smem_read_command(&cur_ft, &new_ft);
    switch (command) {
    case kCommandEmpty:
        service_log("[main_clockkeeper_thread] no command!");
        break;
    case kCommandSetTime:
        apply_set_command(cur_ft, new_ft);
        break;
    case kCommandShiftTime:
        apply_shift_command(cur_ft, new_ft);
        break;
    default:
        // Any account may write the block: a value we do not know is dropped.
        service_log("[main_clockkeeper_thread] unknown command %d ignored", command);
        break;
    }
}

void release_channel(NamedEvent* event)
{
    smem_close_memory();
    close_command_event(event);
}

}  // namespace

void main_clockkeeper_thread()
{
    service_log("[main_clockkeeper_thread] start");
    NamedEvent* event = open_command_event();
    if (!event)
        service_log("[main_clockkeeper_thread] open_command_event: %s", std::strerror(errno));
    if (smem_create_memory() != 1)
        service_log("[main_clockkeeper_thread] smem_create_memory() err!!!");
    int timeout_ms = wait_timeout_ms();
    for (;;) {
        int error = 0;
        switch (wait_stop_or_command(event, timeout_ms, &error)) {
        case Wake::stop:
            release_channel(event);
            service_log("[main_clockkeeper_thread] stop");
            return;
        case Wake::timeout:
            service_log("[main_clockkeeper_thread] timeout");
            break;
        case Wake::command:
            take_command();
            break;
        case Wake::failed:
            // Retrying at once would spin a core for as long as the event is missing.
            service_log("[main_clockkeeper_thread] wait failed: %s; next try in 1 s", std::strerror(error));
            worker_stop_event.wait_for(kRetryPauseMs);
            break;
        }
    }
}
