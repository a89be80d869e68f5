// Where chrony's SOCK reference clocks for Satclock listen: chronyd binds
// both sockets (its refclock lines name them), clockkeeper sends to them.
#pragma once

#include <string>

// The sentence samples' socket: SATCLOCK_CHRONY_SOCKET, else
// /run/chrony.satclock.sock; "" (nowhere) on a sandbox clock without
// SATCLOCK_CHRONY_SOCKET. Only the service's own environment (its unit)
// chooses where root sends; the desktop program reads it for the lines it shows.
std::string chrony_sample_socket_path();
// The 1PPS pulses' socket: the same name with "-pps" before its ".sock" ending
// (/run/chrony.satclock-pps.sock).
std::string chrony_pulse_socket_path();
