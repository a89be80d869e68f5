// Handing GPS time to chrony: the samples of commands 3 and 4 written to
// chrony's SOCK reference clock sockets, in the layout chrony documents for
// `refclock SOCK`. The clock itself is never set here.
#pragma once

#include <cstdint>
#include <ctime>
#include <sys/time.h>

inline constexpr int kChronySockMagic = 0x534f434b;  // "SOCK"

// chrony's sample, native layout and byte order (chronyd reads it as a struct).
struct ChronySockSample {
    timeval tv;     // the machine's clock at the event
    double offset;  // a sample: reference time minus tv, in s; a pulse: how far tv lies past the pulse's second
    int pulse;      // 1: only the offset within the second counts (chrony takes the second from a locked source)
    int leap;       // 0: no leap second announced
    int pad;
    int magic;
};
static_assert(sizeof(ChronySockSample) == 40, "chrony reads exactly 40 bytes on x86-64");

// The sample for a command's times (100-ns file times on the PC clock);
// false when either lies outside the settable span.
bool chrony_sample_from(int32_t command, int64_t pc_ft, int64_t gps_ft, ChronySockSample* sample);

// Send the sample of command 3 or 4 to its socket. The acknowledgement:
// kAckApplied when chrony's socket took it, kAckNotDelivered when not (logged
// at most once a minute, with the number of failures since), kAckRefused for
// times that make no sample.
int32_t deliver_chrony_sample(int32_t command, int64_t pc_ft, int64_t gps_ft);
