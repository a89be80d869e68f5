// The PC's UTC clock: read, set, and the real-time priority around a set.
//
// With SATCLOCK_CLOCK_FILE set, every reading and setting goes to a sandbox
// clock instead of the machine's: real time plus an offset kept in that file
// (one line, the offset in nanoseconds as a signed decimal; a missing file is
// offset 0). Setting the sandbox clock rewrites the offset atomically, so
// several processes naming the same file share one clock.
#pragma once

#include "platform/time_units.h"

#include <cstdint>

// UTC nanoseconds since 1970, sandbox offset applied.
int64_t platform_clock_read_ns();
// UTC as a file time: 100-ns ticks since 1601.
int64_t platform_clock_read_ft();

// Set the clock. Returns 0, or an errno value (EPERM without the right,
// EINVAL for a time before 1970, EIO when the sandbox file cannot be written).
int platform_clock_set_ns(int64_t utc_ns);
int platform_clock_set_ft(int64_t file_time);

// The machine's own clock (CLOCK_REALTIME, what other programs such as a
// time daemon read) at the moment the PC clock reads pc_ns: the same value
// except in the sandbox, where the PC clock runs by its offset apart.
int64_t platform_clock_machine_ns(int64_t pc_ns);
// The machine's own clock now, sandbox or not: the clock that stamps file times.
int64_t platform_clock_machine_now_ns();

// True when SATCLOCK_CLOCK_FILE names a sandbox clock.
bool platform_clock_is_sandbox();

// Test seam: with deny set, this process plays an ordinary user's and every
// set of the sandbox clock is refused with EPERM, as the real clock refuses
// a process without the right. Child processes are not affected.
void platform_clock_sandbox_deny_set(bool deny);

// SCHED_FIFO for the calling thread around a clock set; after it, the
// scheduling the thread had before (SCHED_OTHER for an ordinary thread).
// Failure to raise (no right) is not an error: the set goes on at normal priority.
void platform_realtime_priority_enter();
void platform_realtime_priority_leave();

// A monotonic clock for measuring intervals, in nanoseconds.
int64_t platform_monotonic_ns();

inline int64_t file_time_from_unix_ns(int64_t ns) { return ns / kNsPerFileTimeTick + kFileTimeUnixEpoch; }
inline int64_t unix_ns_from_file_time(int64_t ft) { return (ft - kFileTimeUnixEpoch) * kNsPerFileTimeTick; }
