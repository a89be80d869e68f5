// Installing and removing clockkeeper as a systemd service, and the elevated rerun.
#pragma once

#include <string>

// The unit folder ($SATCLOCK_SYSTEMD_DIR, else /etc/systemd/system) and the unit file in it.
std::string service_unit_dir();
std::string service_unit_path();
// The unit file's text for the program at `program_path`.
std::string service_unit_text(const std::string& program_path, bool russian);

// True when the service is installed, now or earlier. A fresh installation
// is enabled and started; one found in place is left as it is.
bool install_service();
// True when the service is gone, now or earlier. A running service is stopped
// first, with a dot on standard output every 500 ms while it is stopping.
bool remove_service();

// Rerun this program elevated with `command_word` and wait for it, unless we
// are an administrator already. True when the copy ran to its end, with its
// exit status in *exit_code; false when nothing was run, or the elevation was
// declined (126) or refused (127).
bool run_elevated(const char* command_word, int* exit_code);
