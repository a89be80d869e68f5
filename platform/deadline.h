// Deadlines on the monotonic clock for waits given in milliseconds.
#pragma once

#include "platform/clock.h"
#include "platform/time_units.h"

#include <climits>
#include <cstdint>

// The monotonic clock (platform_monotonic_ns) timeout_ms from now.
inline int64_t platform_deadline_after_ms(int timeout_ms)
{
    return platform_monotonic_ns() + int64_t(timeout_ms) * kNsPerMs;
}

// What is left until deadline_ns, in whole milliseconds rounded up (a wait of
// that long never ends before the deadline); 0 once it has passed.
inline int platform_ms_left(int64_t deadline_ns)
{
    int64_t left = (deadline_ns - platform_monotonic_ns() + kNsPerMs - 1) / kNsPerMs;
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : int(left);
}
