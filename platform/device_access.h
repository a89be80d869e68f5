// Who may use a device file and who holds it: the group that owns it and the
// processes that have it open (from their /proc fd links).
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The name of the group owning path (links followed), "" when unknown.
std::string device_group_name(const std::string& path);

// Whether the calling process's account is a member of the group now. A user
// added since logging in is not, until the next login.
bool process_in_group(const std::string& group);

struct DeviceHolder {
    pid_t pid;
    std::string name;  // the command name (/proc/<pid>/comm)
};

// Processes other than this one with path (links followed) open: first the
// one holding its flock (from /proc/locks, which every account may read),
// then the others by pid; those whose fds this account may not read are not
// seen. $SATCLOCK_PROC_DIR replaces /proc.
std::vector<DeviceHolder> device_holders(const std::string& path);
