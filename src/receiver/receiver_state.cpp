// The window's reads of the receiver and its switches, handed to the link.
#include "src/receiver/receiver_state.h"

#include "platform/time_units.h"
#include "src/correction/analiz.h"
#include "src/gps/serial.h"

GpsFix receiver_fix() { return gps_fix_copy(); }

LinkStatus receiver_link() { return link_status_now(); }

GnssHint receiver_gnss_hint() { return gnss_hint_now(); }

void receiver_accept_gnss(bool accept) { accept_gnss_talkers.store(accept ? 1 : 0); }

void receiver_invert_pulse(bool inverted) { pps_inverted.store(inverted ? 1 : 0); }

int receiver_pulse_width_ms()
{
    PpsPulse pulse;
    if (com_pps_pulse(0, pps_use_cts.load(), &pulse) != 1)
        return 0;
    return int((pulse.width_ns + kNsPerMs / 2) / kNsPerMs);
}
