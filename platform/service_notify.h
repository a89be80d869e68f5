// Status reports of a service to systemd (sd_notify).
#pragma once

// Send a notification such as "READY=1" or "STATUS=...". Returns 0 when sent
// or when the process does not run under systemd (no NOTIFY_SOCKET), else a
// negative errno value.
int platform_service_notify(const char* state);
