// What the window reads of the receiver and tells it, through this layer:
// the fix, the link's state, the refused-receiver hint, the decoder's GNSS
// mode and the polarity and width of the pulse. The records are the link's own.
#pragma once

#include "src/gps/gnss_hint.h"
#include "src/gps/gps_fix.h"
#include "src/gps/link_status.h"

// A copy of the latest fix, taken under its lock.
GpsFix receiver_fix();
// What the reader is doing, with the reason of its last failure.
LinkStatus receiver_link();
// The refused-receiver hint to show now; why is none when there is none.
GnssHint receiver_gnss_hint();

// The decoder takes GNSS talkers, whole-second times and one-digit
// satellite counts from its next line on (setting "accept_gnss_talkers").
void receiver_accept_gnss(bool accept);
// The pulse turns the chosen line off instead of on (setting "pps_inverted").
void receiver_invert_pulse(bool inverted);
// The last whole pulse on the chosen line (pps_use_cts), in milliseconds
// rounded; 0 when none is known.
int receiver_pulse_width_ms();
