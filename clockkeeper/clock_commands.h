// The two clock commands of the channel, applied to the PC clock: set (1) and shift (2).
#pragma once

#include "platform/time_units.h"

#include <cstdint>

// The span the clock is ever set to: 1970-01-01 up to the end of 2100 (UTC file times).
inline constexpr int64_t kSettableFirstFt = kFileTimeUnixEpoch;
inline constexpr int64_t kSettableEndFt = 157784544000000000LL;

// True when a file time (or an exact wider sum) lies in the settable span.
template <typename FileTime>
constexpr bool settable(FileTime ft)
{
    return ft >= kSettableFirstFt && ft < kSettableEndFt;
}

// The time a set command asks for at the service's truncated reading `now`:
// new_ft moved on by now - cur_ft, the delay of the channel. False when the
// result lies outside the settable span, a sum that wraps included.
bool set_command_target(int64_t now, int64_t cur_ft, int64_t new_ft, int64_t* target);
// The same for a shift of new_ft milliseconds from the raw reading `raw`.
bool shift_command_target(int64_t raw, int64_t cur_ft, int64_t new_ft, int64_t* target);

// Read the clock, compute the target, set the clock at real-time priority and
// log. 1 when the clock was set, -1 when the clock refused the set, 0 when the
// target was refused and the clock left as it was. *target gets the target when given.
// The line of a refusal is left out when log_refusal is false (the caller counts them).
int apply_set_command(int64_t cur_ft, int64_t new_ft, int64_t* target = nullptr, bool log_refusal = true);
int apply_shift_command(int64_t cur_ft, int64_t new_ft, int64_t* target = nullptr, bool log_refusal = true);
