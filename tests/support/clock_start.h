// The moment the test sandbox clocks start at: SATCLOCK_TEST_CLOCK_START, an
// ISO 8601 UTC time ("2028-02-29T23:59:55Z", fraction of a second allowed).
// Unset, a sandbox clock starts at the machine's time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Nanoseconds since 1970 of an ISO 8601 UTC time, or nothing when the text
// is not one (a date that does not exist, a zone other than Z).
std::optional<int64_t> parse_utc_time(const std::string& text);

// Writes into the clock file the offset that makes it read the start moment
// now; does nothing without SATCLOCK_TEST_CLOCK_START. Throws when the
// variable holds no UTC time or the file cannot be written.
// Returns the offset written, 0 when none was.
int64_t start_sandbox_clock(const std::string& clock_file);
