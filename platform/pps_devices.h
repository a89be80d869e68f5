// The kernel's 1PPS devices (/dev/pps0, /dev/pps1, ...): made by the
// pps-gpio overlay of a Raspberry Pi or by the PPS line discipline on a
// serial port (ldattach 18). chrony can read their time stamps itself.
#pragma once

#include <string>
#include <vector>

// Their paths, in number order; $SATCLOCK_DEV_DIR replaces /dev.
std::vector<std::string> kernel_pps_devices();
