// Set and shift commands: delay compensation, range checks, the clock set.
#include "clockkeeper/clock_commands.h"

#include "clockkeeper/service.h"
#include "platform/clock.h"

#include <cstring>
#include <utility>

namespace {

// The command comes from another account's process. A file time with its top bit set is
// no time at all (the calendar conversion refuses it), and the targets are
// exact 128-bit sums, so nothing overflows here and a sum that would wrap in
// 64 bits lands outside the settable span instead of inside it.
using Wide = __int128;

bool settable_target(Wide exact, int64_t* target)
{
    if (!settable(exact))
        return false;
    *target = static_cast<int64_t>(exact);
    return true;
}

// now - cur_ft modulo 2^64, as the log line shows it.
int64_t wrapped_delay(int64_t now, int64_t cur_ft)
{
    return static_cast<int64_t>(static_cast<uint64_t>(now) - static_cast<uint64_t>(cur_ft));
}

// The calendar time the clock takes has whole milliseconds: the rest is cut.
// 1 set, -1 the clock refused it. Called at real-time priority (RealtimeSection).
int set_clock(int64_t target)
{
    int rc = platform_clock_set_ft(truncate_to_ms(target));
    if (rc != 0)
        service_log("[main_clockkeeper_thread] clock set failed: %s", std::strerror(rc));
    return rc == 0 ? 1 : -1;
}

// From the clock reading a target is computed from to the set: the clock runs
// on meanwhile, and a thread taken off the processor there would lose time.
class RealtimeSection {
public:
    RealtimeSection() { platform_realtime_priority_enter(); }
    ~RealtimeSection() { leave(); }
    RealtimeSection(const RealtimeSection&) = delete;
    RealtimeSection& operator=(const RealtimeSection&) = delete;
    void leave()
    {
        if (std::exchange(inside_, false))
            platform_realtime_priority_leave();
    }

private:
    bool inside_ = true;
};

}  // namespace

bool set_command_target(int64_t now, int64_t cur_ft, int64_t new_ft, int64_t* target)
{
    if (cur_ft < 0 || new_ft < 0)
        return false;
    Wide exact = Wide(new_ft) + (Wide(now) - Wide(cur_ft));
    return settable_target(exact, target);
}

bool shift_command_target(int64_t raw, int64_t cur_ft, int64_t new_ft, int64_t* target)
{
    if (cur_ft < 0)
        return false;
    // A shift is relative to the clock it finds: the reading taken here already
    // holds the time spent in the channel, so adding now - cur_ft as well would
    // push the clock on by that delay a second time.
    Wide exact = Wide(new_ft) * kFileTimeTicksPerMs + raw;
    return settable_target(exact, target);
}

int apply_set_command(int64_t cur_ft, int64_t new_ft, int64_t* target_out, bool log_refusal)
{
    RealtimeSection realtime;
    int64_t now = truncate_to_ms(platform_clock_read_ft());
    int64_t target = 0;
    bool valid = set_command_target(now, cur_ft, new_ft, &target);
    int set = valid ? set_clock(target) : 0;
    realtime.leave();
    if (!valid) {
        if (log_refusal)
            service_log("[main_clockkeeper_thread] set time refused, target out of range: cur=%lld new=%lld now=%lld",
                        (long long)cur_ft, (long long)new_ft, (long long)now);
        return 0;
    }
    service_log("[main_clockkeeper_thread] set time curh=%lld curc=%lld new=%lld dt=%lld",
                (long long)(now / kFileTimeTicksPerMs), (long long)(cur_ft / kFileTimeTicksPerMs),
                (long long)(target / kFileTimeTicksPerMs),
                (long long)(wrapped_delay(now, cur_ft) / kFileTimeTicksPerMs));
    if (target_out)
        *target_out = target;
    return set;
}

int apply_shift_command(int64_t cur_ft, int64_t new_ft, int64_t* target_out, bool log_refusal)
{
    RealtimeSection realtime;
    int64_t raw = platform_clock_read_ft();
    int64_t target = 0;
    bool valid = shift_command_target(raw, cur_ft, new_ft, &target);
    int set = valid ? set_clock(target) : 0;
    realtime.leave();
    if (!valid) {
        if (log_refusal)
            service_log("[main_clockkeeper_thread] shift time refused, target out of range: cur=%lld shift=%lld now=%lld",
                        (long long)cur_ft, (long long)new_ft, (long long)raw);
        return 0;
    }
    service_log("[main_clockkeeper_thread] shift time dt=%lld", (long long)target);
    if (target_out)
        *target_out = target;
    return set;
}
