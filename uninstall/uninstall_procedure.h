// Removing an installed Satclock: service, listed files and folders, every
// user's autostart entry, the registrations, and finally the uninstaller.
#pragma once

#include <string>
#include <vector>

// The time the service gets to stop before its program file is deleted.
inline constexpr int kServiceStopWaitMs = 2500;

struct UninstallReport {
    // The uninstall list that was read (or could not be opened).
    std::string list_path;
    // Why the installation was not touched at all: someone other than root
    // could change its folder, its list or its service program. Empty otherwise.
    std::string refusal;
    // Listed files that still exist after the removal passes, the uninstaller
    // itself (which its script deletes) excepted, and listed paths outside the
    // places an installation writes, which are never removed. Folders do not
    // count: the data folder keeps its settings files, and a folder may hold
    // the user's own.
    std::vector<std::string> remaining;
};

// The install folder of the uninstaller at program: its folder, with a
// trailing slash.
std::string install_folder_of(const std::string& program);

// Removes the installation whose uninstaller is program. False, with nothing
// touched, when the install folder, its uninstall list or its service program
// could be changed by someone other than root (report->refusal), or when the
// list cannot be opened. Otherwise the service is asked to remove itself, the
// list is read and deleted, the listed paths in the installation's places are
// removed (root's as root, a desktop entry as its user; the uninstaller stays,
// as if in use), the autostart entries and registrations go, the
// self-deleting script is started, and true is returned whatever stayed
// (see report->remaining).
bool run_uninstall(const std::string& program, UninstallReport* report);
