// main_clockkeeper_thread: waits for signals on the channel, applies the
// command it finds and answers the senders with its acknowledgement.
#include "clockkeeper/service.h"

#include "clockkeeper/chrony_refclock.h"
#include "clockkeeper/clock_commands.h"
#include "clockkeeper/service_channel.h"
#include "platform/clock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kDefaultWaitTimeoutMs = 60000;
constexpr int kRetryPauseMs = 1000;
// More signals than this in one second without a command is a flood: its
// empty wakes are then counted instead of logged one by one.
constexpr int kFloodSignalsPerSecond = 100;
constexpr int64_t kSecondNs = 1000000000;

enum class Wake { stop, signal, timeout, failed };

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

// The stop event is looked at before the wait, and the wait puts the stop
// descriptor first: when both are there, the stop wins.
Wake wait_stop_or_signal(int timeout_ms, int* error)
{
    if (worker_stop_event.is_set())
        return Wake::stop;
    int rc = service_channel_wait(timeout_ms);
    *error = errno;
    if (rc == kDatagramWaitStop || worker_stop_event.is_set())
        return Wake::stop;
    if (rc == kDatagramWaitReadable)
        return Wake::signal;
    return rc == kDatagramWaitTimeout ? Wake::timeout : Wake::failed;
}

int32_t ack_of(int applied)
{
    if (applied > 0)
        return kAckApplied;
    return applied == 0 ? kAckRefused : kAckSetFailed;
}

std::string uid_list(const CommandSignals& signals)
{
    if (signals.uids.empty())
        return "unknown";
    std::string text;
    for (uid_t uid : signals.uids) {
        if (!text.empty())
            text += ',';
        text += std::to_string(uid);
    }
    return text;
}

int32_t apply(const TakenCommand& taken)
{
    switch (taken.command) {
    case kCommandSetTime: return ack_of(apply_set_command(taken.cur_ft, taken.new_ft));
    case kCommandShiftTime: return ack_of(apply_shift_command(taken.cur_ft, taken.new_ft));
    case kCommandChronySample:
    case kCommandChronyPulse: return deliver_chrony_sample(taken.command, taken.cur_ft, taken.new_ft);
    default:
        // Any account may write the block: a value we do not know is dropped.
        service_log("[main_clockkeeper_thread] unknown command %d ignored", taken.command);
        return kAckUnknownCommand;
    }
}

// Counts the signals of each second; past kFloodSignalsPerSecond the empty
// wakes go unlogged, and the flood's start and end are logged once each.
class FloodWatch {
public:
    // Whether the wake's empty slot is to be logged.
    bool note(int signals)
    {
        int64_t now = platform_monotonic_ns();
        if (now - second_start_ >= kSecondNs) {
            if (flooded_ && in_second_ <= kFloodSignalsPerSecond) {
                service_log("[main_clockkeeper_thread] command socket flood over after %lld signals", total_);
                flooded_ = false;
                total_ = 0;
            }
            second_start_ = now;
            in_second_ = 0;
        }
        in_second_ += signals;
        if (flooded_)
            total_ += signals;
        if (!flooded_ && in_second_ > kFloodSignalsPerSecond) {
            service_log("[main_clockkeeper_thread] command socket flooded: over %d signals a second; "
                        "empty ones are no longer logged", kFloodSignalsPerSecond);
            flooded_ = true;
            total_ = in_second_;
        }
        return !flooded_;
    }

private:
    int64_t second_start_ = 0;
    long long in_second_ = 0;
    long long total_ = 0;
    bool flooded_ = false;
};

// The signals that came before this wake count once: the slot is taken once,
// and every sender of the wake gets the acknowledgement of the last command
// taken, which is its own unless another command came after it.
void handle_signals(FloodWatch& flood, Acknowledgement& last_ack)
{
    CommandSignals signals;
    if (service_channel_take_signals(&signals) < 0)
        service_log("[main_clockkeeper_thread] command socket: %s", std::strerror(errno));
    bool log_empty = flood.note(signals.count);
    TakenCommand taken{};
    long long size = 0;
    int rc = smem_take_command(&taken, &size);
    if (rc < 0) {
        // Any account may shrink the block; it is read through its descriptor,
        // so a short one is only a skipped command, and is grown back.
        service_log("[main_clockkeeper_thread] block is %lld bytes, too short for a command; skipped", size);
        smem_grow_memory();
    } else if (rc == 0 && log_empty) {
        service_log("[main_clockkeeper_thread] no command!");
    } else if (rc == 1) {
        // chrony's samples come every second: only their failures are logged.
        if (taken.command != kCommandChronySample && taken.command != kCommandChronyPulse)
            service_log("[main_clockkeeper_thread] command %d signalled by uid %s", taken.command,
                        uid_list(signals).c_str());
        last_ack = Acknowledgement{taken.sequence, apply(taken)};
    }
    if (last_ack.sequence != 0)
        service_channel_answer(signals, last_ack);
}

}  // namespace

void main_clockkeeper_thread()
{
    service_log("[main_clockkeeper_thread] start");
    // Started alone (tests), the worker opens the channel itself.
    if (!service_channel_is_open() && !service_channel_open())
        service_log("[main_clockkeeper_thread] the channel cannot be opened; commands cannot arrive");
    int timeout_ms = wait_timeout_ms();
    FloodWatch flood;
    Acknowledgement last_ack{0, 0};
    for (;;) {
        int error = 0;
        switch (wait_stop_or_signal(timeout_ms, &error)) {
        case Wake::stop:
            service_channel_close();
            service_log("[main_clockkeeper_thread] stop");
            return;
        case Wake::timeout:
            service_log("[main_clockkeeper_thread] timeout");
            flood.note(0);  // a flood that ended with no wake since is logged over here
            break;
        case Wake::signal:
            handle_signals(flood, last_ack);
            break;
        case Wake::failed:
            // Retrying at once would spin a core for as long as the socket is missing.
            service_log("[main_clockkeeper_thread] wait failed: %s; next try in 1 s", std::strerror(error));
            worker_stop_event.wait_for(kRetryPauseMs);
            break;
        }
    }
}
