// What became of the latest clock correction, made or refused, for the info
// page, the tray tooltip and the desktop notification. Written by the
// analysis thread only.
#pragma once

#include "common/smem.h"

#include <cstdint>

enum class CorrectionMethod {
    nmea,           // the sentence's time
    nmea_delay,     // the sentence's time with the receiver's output delay put back
    pps,            // the sentence's time, then the 1PPS edge
    nmea_no_pulse,  // 1PPS was asked for, but no pulse came: the sentence alone
};

// A correction the pre-step check held back (src/correction/prestep_check.h).
enum class CorrectionHold {
    none,
    date_refused,   // the receiver's date is before the day this program was built
    step_asked,     // a step over the cap waits for the user's answer
    step_declined,  // the user said no to the step
};

struct CorrectionResult {
    unsigned sequence = 0;         // counts every result; 0: none yet
    unsigned notice_sequence = 0;  // counts those worth a notification (see below)
    bool made = false;
    int64_t shift_ns = 0;          // made: how far the clock moved (+ forward)
    int64_t at_ns = 0;             // PC clock (UTC ns since 1970) when it was made or refused
    CorrectionMethod method = CorrectionMethod::nmea;
    PostOutcome refusal = PostOutcome::applied;  // not made: why
    CorrectionHold hold = CorrectionHold::none;  // not made: held back before posting (then refusal is not used)
    int64_t reported_day = 0;      // date_refused: the receiver's date, days since 1970
};

// A correction made, or refused for a reason. A refusal repeats every second
// while the request stands: it is worth a notice only when its reason differs
// from that of the result before.
void correction_result_made(int64_t shift_ns, CorrectionMethod method);
void correction_result_refused(PostOutcome why);
// Held back by the pre-step check: shift_ns the step it would have made.
void correction_result_held(CorrectionHold why, int64_t shift_ns, int64_t reported_day = 0);

CorrectionResult correction_result_now();
