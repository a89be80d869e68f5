// Whether chrony uses the kernel's 1PPS time stamps: its sources as
// `chronyc -c -n sources` lists them. A kernel PPS line ("refclock PPS
// /dev/ppsN lock GPS") shows as a reference clock named PPS<n> (chrony's
// default refid: the driver and the line's number); Satclock's own pulse
// line is named PPS.
#pragma once

#include <string>

enum class KernelPpsUse {
    unknown,       // no chronyc, no answer, or no kernel PPS line
    selected,      // chrony steers by it ('*') or combines it ('+')
    not_selected,  // listed, not used: its state tells why
};

struct KernelPpsState {
    KernelPpsUse use = KernelPpsUse::unknown;
    std::string name;  // "PPS1"
    char state = ' ';  // chrony's state letter: '*', '+', '-', '?', 'x', '~'
    bool operator==(const KernelPpsState&) const = default;
};

// From the text of `chronyc -c -n sources`.
KernelPpsState kernel_pps_use_in(const std::string& csv);

// Asks chronyc ($SATCLOCK_CHRONYC, else chronyc on the PATH) when a kernel
// 1PPS device exists; unknown otherwise. It may take chronyc's time-out
// (about 3 s) when chronyd does not answer: the probe thread calls it.
KernelPpsState kernel_pps_use_now();

// The probe thread's latest answer, kept for the status line; true when it
// differs from the one before.
bool kernel_pps_note(const KernelPpsState& state);
KernelPpsState kernel_pps_last();
