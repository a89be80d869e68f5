// Giving GPS time to chrony instead of setting the clock: every second with a
// fix, the analysis thread sends the second's readings to the time service,
// which hands them to chrony's SOCK reference clocks. chrony then steers the
// clock smoothly and can serve the time to a whole network.
#pragma once

#include "src/correction/clock_offset.h"

#include <atomic>
#include <string>

// 1: feed chrony instead of setting the clock (setting "chrony_feed"). Set by
// the GUI, read by the analysis thread.
extern std::atomic<int> chrony_feed;

enum class ChronyFeedState {
    off,            // the setting is off
    waiting,        // on, no sample sent within the last 3 s (no fix)
    delivering,     // chrony's socket took the latest sample, within the last 3 s
    not_delivered,  // the service could not hand it to chrony (chronyd stopped, no refclock line)
    old_service,    // the service does not know the samples: corrections go on as designed
    no_service,     // the service did not take the sample
    not_permitted,  // this account may not feed chrony: not in the channel's group
};

ChronyFeedState chrony_feed_state();

// The analysis thread, once a second with a fix: sends the sentence sample and,
// when a pulse began the second, the pulse sample. Nothing while the setting is off.
void chrony_feed_send(const ClockSamples& samples);

// Whether clock corrections are left to chrony: the setting is on and the
// service knows the samples. A service of before makes the program set the
// clock as designed (asked again once a minute, in case it was updated).
bool chrony_feed_takes_time();

// What chrony's lines say about the receiver.
struct ChronyLineFacts {
    std::string sample_socket;
    std::string pulse_socket;
    bool delay_learned = false;
    int delay_ms = 0;
    int spread_ms = 0;
    bool pps = false;  // 1PPS is in use: the pulse line, locked to the sentence line
    std::string kernel_pps;  // the first of the kernel's 1PPS devices (/dev/pps0), "" none
};
ChronyLineFacts chrony_line_facts_now();
// The first of the kernel's 1PPS devices, "" none: /dev as looked at within
// the last few seconds.
std::string chrony_kernel_pps_device();

// The lines to add to chrony's configuration (LF-separated, a comment line
// on the receiver delay first): the sentence line with the measured
// precision, and the pulse line locked to it when 1PPS is in use. Where the
// kernel has a 1PPS device, chrony reads its time stamps itself (better than
// any a program takes): its PPS line, locked to the sentence line that
// numbers the seconds, takes the place of Satclock's pulse line.
std::string chrony_refclock_lines(const ChronyLineFacts& facts);
