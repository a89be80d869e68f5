// The texts that say what stands in the way and what was done: the status
// line (cause and remedy), the PC clock's offset from GPS time and the result
// of the latest correction. The GPS info page and the tray tooltip read them.
#pragma once

#include "src/correction/calendar.h"  // day_text: the window writes days in the locale's "%x"
#include "src/correction/clock_offset.h"
#include "src/correction/correction_result.h"
#include "src/receiver/receiver_status.h"

#include <string>

// One line per cause the receiver's facts show now; "" when nothing is wrong.
std::string status_line_text();
// The line of one cause.
std::string receiver_issue_text(const ReceiverIssue& issue);

// "PC clock is 4.352 s behind GPS (±150 ms, sentence only)"; "" when not valid.
std::string clock_offset_text(const ClockOffset& offset);

// "Corrected by +4.352 s at 08:42:58 (1PPS)" or "Clock NOT set: the time
// service is not running (08:42:58)", the time on the local clock; "" before
// the first correction.
std::string correction_result_text(const CorrectionResult& result);

// "pulse 100 ms wide, leading edge used": the 1PPS pulse as measured.
std::string pps_pulse_text(int width_ms);

// A step of the clock as a person reads it: "+4.352 s", "-12 min 3 s",
// "+2 h 5 min", "+7168 d 3 h".
std::string step_size_text(int64_t step_ns);

// The tray tooltip's lines under "Satclock": the status line, the latest
// correction's result and the GNSS hint, each where there is one.
std::string tray_tooltip_lines();
