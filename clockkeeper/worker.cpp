// main_clockkeeper_thread: waits for command datagrams on the channel, judges
// each by its sender's credentials, applies it and answers its sender.
#include "clockkeeper/service.h"

#include "clockkeeper/chrony_refclock.h"
#include "clockkeeper/clock_commands.h"
#include "clockkeeper/command_policy.h"
#include "clockkeeper/service_channel.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/time_units.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kDefaultWaitTimeoutMs = 60000;
constexpr int kRetryPauseMs = 1000;
constexpr int64_t kMinuteNs = 60 * kNsPerSecond;
// An account's commands acted on in one wake; more are answered "busy", so
// that one account's flood cannot keep another's commands waiting.
constexpr int kCommandsPerUidPerWake = 8;
// satclock sends two samples a second (the sentence and the pulse).
constexpr int kChronySamplesPerUidPerSecond = 4;
// An answer nobody reads stays charged to the service's socket for as long as
// its receiver lives, and a full socket answers no one. While unread answers
// pile up, a sending socket whose commands are not done ("not permitted",
// "busy") gets this many answers a second, and an account whose commands are
// done this many (satclock posts about twice a second).
constexpr int kRefusalAnswersPerSocketPerSecond = 4;
constexpr int kAnswersPerUidPerSecond = 64;

enum class Wake { stop, signal, timeout, failed };

// SATCLOCK_WAIT_TIMEOUT_MS shortens the idle wake-up (tests); 60 s otherwise.
int wait_timeout_ms()
{
    std::string text = env_value("SATCLOCK_WAIT_TIMEOUT_MS");
    if (text.empty())
        return kDefaultWaitTimeoutMs;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
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

bool chrony_command(int32_t command) { return command == kCommandChronySample || command == kCommandChronyPulse; }

// What the worker keeps from wake to wake: who may post, each account's
// share, and the per-account tallies of the lines it does not write one by one.
struct WorkerPolicy {
    CommandAccess access;
    UidShare wake_share{kCommandsPerUidPerWake};
    UidShare chrony_share{kChronySamplesPerUidPerSecond};
    AddressShare refusal_answer_share{kRefusalAnswersPerSocketPerSecond};
    UidShare answer_share{kAnswersPerUidPerSecond};
    int64_t second_ns = 0;  // monotonic: the start of the second the two per-second shares count
    UidLineLimit not_permitted_lines{kMinuteNs};
    UidLineLimit refused_lines{kNsPerSecond};
    UidLineLimit unknown_lines{kNsPerSecond};
    UidLineLimit empty_lines{kNsPerSecond};
    UidLineLimit busy_lines{kNsPerSecond};
    std::string group;
};

int32_t apply(const TakenCommand& taken, uid_t uid, WorkerPolicy& policy, int64_t now_ns)
{
    long long count = 0;
    switch (taken.command) {
    case kCommandSetTime:
    case kCommandShiftTime: {
        service_log("[main_clockkeeper_thread] command %d from uid %u", taken.command, unsigned(uid));
        // The refusal's own line is written when one of this account is due.
        bool log = policy.refused_lines.due(uid, now_ns);
        int applied = taken.command == kCommandSetTime ? apply_set_command(taken.cur_ft, taken.new_ft, nullptr, log)
                                                       : apply_shift_command(taken.cur_ft, taken.new_ft, nullptr, log);
        if (applied == 0 && policy.refused_lines.note(uid, now_ns, &count) && count > 1)
            service_log("[main_clockkeeper_thread] uid %u: %lld commands refused since the last line", unsigned(uid),
                        count);
        return ack_of(applied);
    }
    case kCommandChronySample:
    case kCommandChronyPulse:
        return deliver_chrony_sample(taken.command, taken.cur_ft, taken.new_ft);
    default:
        if (policy.unknown_lines.note(uid, now_ns, &count))
            service_log("[main_clockkeeper_thread] unknown command %d ignored (uid %u, %lld since the last line)",
                        taken.command, unsigned(uid), count);
        return kAckUnknownCommand;
    }
}

// The account has had its share: of this wake, or of chrony's samples this second.
bool over_share(const TakenCommand& taken, uid_t uid, WorkerPolicy& policy, int64_t now_ns)
{
    bool over = !policy.wake_share.take(uid) || (chrony_command(taken.command) && !policy.chrony_share.take(uid));
    long long count = 0;
    if (over && policy.busy_lines.note(uid, now_ns, &count))
        service_log("[main_clockkeeper_thread] uid %u sent more than its share: %lld commands not done since the "
                    "last line", unsigned(uid), count);
    return over;
}

int32_t judge(const ReceivedCommand& received, WorkerPolicy& policy, int64_t now_ns)
{
    const DatagramPeer& sender = received.sender;
    long long count = 0;
    if (!policy.access.permitted(sender, now_ns)) {
        if (policy.not_permitted_lines.note(sender.uid, now_ns, &count))
            service_log("[main_clockkeeper_thread] uid %u may not set the clock (not in group %s): %lld commands "
                        "refused since the last line", unsigned(sender.uid), policy.group.c_str(), count);
        return kAckNotPermitted;
    }
    if (over_share(received.command, sender.uid, policy, now_ns))
        return kAckBusy;
    return apply(received.command, sender.uid, policy, now_ns);
}

bool answer_due(WorkerPolicy& policy, const DatagramPeer& sender, int32_t result)
{
    if (result == kAckNotPermitted || result == kAckBusy)
        return policy.refusal_answer_share.take(address_key(sender));
    return policy.answer_share.take(sender.uid);
}

void new_wake(WorkerPolicy& policy, int64_t now_ns)
{
    policy.wake_share.new_period();
    if (now_ns - policy.second_ns >= kNsPerSecond) {
        policy.chrony_share.new_period();
        policy.answer_share.new_period();
        policy.refusal_answer_share.new_period();
        policy.second_ns = now_ns;
    }
}

// Each command datagram of the wake is judged and answered on its own; one
// that is no command gets no answer (it has no sequence to answer with). The
// shares and tallies count by the time of the wake.
void handle_commands(WorkerPolicy& policy)
{
    std::vector<ReceivedCommand> batch;
    if (service_channel_take(&batch) < 0)
        service_log("[main_clockkeeper_thread] command socket: %s", std::strerror(errno));
    int64_t now_ns = platform_monotonic_ns();
    new_wake(policy, now_ns);
    bool pile_up = service_channel_answers_pile_up();
    for (const ReceivedCommand& received : batch) {
        if (worker_stop_event.is_set())
            return;  // the stop wins over what is still waiting
        long long count = 0;
        if (!received.is_command) {
            if (policy.empty_lines.note(received.sender.uid, now_ns, &count))
                service_log("[main_clockkeeper_thread] no command! (uid %u, %lld since the last line)",
                            unsigned(received.sender.uid), count);
            continue;
        }
        int32_t result = judge(received, policy, now_ns);
        if (!pile_up || answer_due(policy, received.sender, result))
            service_channel_answer(received.sender, Acknowledgement{received.command.sequence, result});
    }
}

void reset_policy(WorkerPolicy& policy)
{
    gid_t group = 0;
    bool grouped = service_channel_group(&group);
    policy.access.reset(grouped, group);
    policy.group = channel_group_name();
}

}  // namespace

void main_clockkeeper_thread()
{
    service_log("[main_clockkeeper_thread] start");
    // Started alone (tests), the worker opens the channel itself.
    if (!service_channel_is_open() && !service_channel_open())
        service_log("[main_clockkeeper_thread] the channel cannot be opened; commands cannot arrive");
    int timeout_ms = wait_timeout_ms();
    WorkerPolicy policy;
    reset_policy(policy);
    for (;;) {
        int error = 0;
        switch (wait_stop_or_signal(timeout_ms, &error)) {
        case Wake::stop:
            service_channel_close();
            service_log("[main_clockkeeper_thread] stop");
            return;
        case Wake::timeout:
            service_log("[main_clockkeeper_thread] timeout");
            break;
        case Wake::signal:
            handle_commands(policy);
            break;
        case Wake::failed:
            // Retrying at once would spin a core for as long as the socket is missing.
            service_log("[main_clockkeeper_thread] wait failed: %s; next try in 1 s", std::strerror(error));
            worker_stop_event.wait_for(kRetryPauseMs);
            break;
        }
    }
}
