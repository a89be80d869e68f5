// The units of time the program counts in: nanoseconds, milliseconds, seconds,
// and the 100-ns ticks of a file time (counted from 1601-01-01 UTC).
#pragma once

#include <cstdint>

inline constexpr int64_t kMsPerSecond = 1000;
inline constexpr int64_t kNsPerMs = 1000000;
inline constexpr int64_t kNsPerSecond = 1000000000;
inline constexpr int64_t kSecondsPerDay = 86400;

inline constexpr int64_t kNsPerFileTimeTick = 100;
inline constexpr int64_t kFileTimeTicksPerMs = kNsPerMs / kNsPerFileTimeTick;
inline constexpr int64_t kFileTimeTicksPerSecond = kNsPerSecond / kNsPerFileTimeTick;
inline constexpr int64_t kFileTimeTicksPerDay = kSecondsPerDay * kFileTimeTicksPerSecond;
// 100-ns ticks from 1601-01-01 to 1970-01-01 (Windows file time of the Unix epoch).
inline constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;

// A file time cut down to a whole millisecond (signed division).
inline constexpr int64_t truncate_to_ms(int64_t file_time)
{
    return file_time / kFileTimeTicksPerMs * kFileTimeTicksPerMs;
}
