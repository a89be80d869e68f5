// The command channel's folder and the names in it.
//
// The channel's two names live in a folder that only the service's account
// may change (/run/satclock, made by systemd for the unit). Whatever stands
// at a name in it was put there by that account, so the service may remove
// it; no other account can plant, remove or replace a name there.
#pragma once

#include <string>
#include <sys/types.h>

// Make the folder (mode 0755) when it is missing, and make sure it is a real
// folder (not a link) of this process's effective user that no one else may
// write: group or other write access is taken away. 0, or an errno value
// (EPERM: another account owns it; ENOTDIR: not a folder).
int platform_channel_folder_make(const std::string& path);
// The owner of the folder at `path`, which must be a folder, not a link.
// 0, or an errno value.
int platform_channel_folder_owner(const std::string& path, uid_t* owner);
// Remove whatever stands at `path`: a file, a socket, a link (never what it
// points at) or a whole folder. 0 when nothing is left there, else an errno value.
int platform_channel_name_clear(const std::string& path);
