// An installed Satclock in a test's temporary root, with the machine around it
// (two user accounts, the service's unit, the registrations) all in the
// sandbox, and the environment that points the uninstaller there.
#pragma once

#include "tests/support/test_env.h"

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct InstalledTree {
    std::string install_dir;  // <sandbox>/root/opt/Satclock/
    std::string data_dir;     // <sandbox>/appdata/satclock/
    std::string uninstaller;  // install_dir + "uninstall"
    std::string list;         // install_dir + "uninstall.txt"
    std::string desktop_entry, menu_folder, uninstall_entry, program_link;
    std::string unit_file;
    // The two accounts' autostart entries; the second carries Hidden=true.
    std::vector<std::string> autostart_entries;
    // Every path of the uninstall list, absolute, in list order.
    std::vector<std::string> listed;
};

// Points every seam of the uninstaller into the sandbox: folders, the
// systemctl stub, the password database (two accounts), an empty process
// folder (no Satclock running), TMPDIR. Call before installing.
void point_seams_into(const TestSandbox& sandbox);

// Installs Satclock into the sandbox with the real installer, unattended: the
// desktop icon, the menu folder, the service, the uninstall entry and link,
// and both accounts' autostart entries (the second hidden). A failed
// installation fails the test.
InstalledTree install_into(const TestSandbox& sandbox);

// Hands a home of the sandbox's password file (home/<name>) and all in it to uid.
void give_home(const TestSandbox& sandbox, const std::string& name, uid_t uid);

// Makes a process named "satclock" appear running (or gone) to the uninstaller.
void pretend_satclock_running(const TestSandbox& sandbox, bool running);

bool exists(const std::string& path);
// Files left in a folder (recursively), relative to it, sorted.
std::vector<std::string> files_under(const std::string& folder);
