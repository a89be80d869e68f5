// The machine's own time daemons: a Linux desktop or server usually runs one
// (systemd-timesyncd on Debian and Ubuntu desktops, chrony on servers and
// many laptops, ntpd on older machines), and it acts on the same clock.
#pragma once

#include <string>

inline constexpr unsigned kTimesyncdRuns = 1;
inline constexpr unsigned kChronydRuns = 2;
inline constexpr unsigned kNtpdRuns = 4;

// The daemons whose units the answer of `systemctl is-active <units>` shows
// active (or activating, reloading), the units being systemd-timesyncd,
// chrony, chronyd, ntp, ntpsec and ntpd in this order; false when the answer
// holds no state word for every unit (no systemd to ask: the processes tell then).
bool time_daemons_from_unit_states(const std::string& answer, unsigned* daemons);

// The daemons running now: their units' states through systemctl
// (SATCLOCK_SYSTEMCTL in tests), else their processes by executable name.
unsigned time_daemons_running();
