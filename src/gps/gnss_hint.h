// The hint for a receiver that talks in a way only the GNSS mode accepts: when
// for kGnssHintAfterNs its GGA or RMC lines (good checksums) have been turned
// away only for their talker, time format or satellite count, and none was
// taken, the user is told which box to tick. Fed by the decoding thread, read
// by the user interface.
#pragma once

#include "src/gps/nmea.h"

#include <cstdint>
#include <string_view>

// Refusals must have gone on this long before the hint shows.
inline constexpr int64_t kGnssHintAfterNs = 5000000000LL;
// A pause in the refusals this long starts the count afresh and hides the hint
// (as the receiver counts as silent after 2 s without data).
inline constexpr int64_t kGnssHintGapNs = 2000000000LL;

struct GnssHint {
    GnssRefusal why = GnssRefusal::none;  // none: no hint to show
    char talker[3] = {};                  // the refused lines' talker, e.g. "GN"
};

// A line of the receiver was refused for why (not none) at now_ns (monotonic).
void gnss_hint_refused(GnssRefusal why, std::string_view line, int64_t now_ns);
// A GGA or RMC was taken: the hint goes.
void gnss_hint_accepted();
// Forget everything (receiver restarted or silent).
void gnss_hint_clear();

// The hint to show at now_ns (monotonic); why is none when there is none.
GnssHint gnss_hint_at(int64_t now_ns);
GnssHint gnss_hint_now();
