// The uninstall procedure, shared by the window and the unattended mode.
#include "uninstall/uninstall_procedure.h"

#include "common/listed_paths.h"
#include "common/registrations.h"
#include "platform/files.h"
#include "platform/hidden_process.h"
#include "platform/process.h"
#include "uninstall/autorun_values.h"
#include "uninstall/self_delete.h"

#include <glib.h>

namespace {

constexpr char kListName[] = "uninstall.txt";
constexpr char kServiceProgram[] = "bin/clockkeeper";

// The service program removes its unit, stopping the service first; what it
// prints goes nowhere, as from a hidden console.
pid_t start_service_removal(const std::string& install_dir)
{
    return process_spawn_hidden({install_dir + kServiceProgram, "remove"});
}

// Why the installation must not be touched: the uninstaller runs as root,
// reads the list and runs the service program, so none of them, nor the
// folders on the way, may be anyone else's to change.
std::string installation_refusal(const std::string& install_dir)
{
    for (const auto& [path, whole_file] : {std::pair{install_dir.substr(0, install_dir.size() - 1), false},
                                           std::pair{install_dir + kListName, true},
                                           std::pair{install_dir + kServiceProgram, true}}) {
        if (whole_file && !path_exists(path))
            continue;
        if (std::string why = path_only_root_can_change(path, whole_file); !why.empty())
            return why;
    }
    return {};
}

// The list without the lines that name the uninstaller itself: it is in use
// until it ends, and its script deletes it afterwards.
std::string without_program(const std::string& list, const std::string& base, const FileIdentity& self)
{
    std::string kept;
    for (const std::string& line : list_lines(list))
        if (line.empty() || !file_identity(listed_path(line, base), false).same_file(self))
            kept += line + "\n";
    return kept;
}

std::vector<std::string> remaining_files(const std::string& list, const std::string& base, const FileIdentity& self)
{
    std::vector<std::string> remaining;
    for (const std::string& line : list_lines(list)) {
        std::string path = listed_path(line, base);
        FileIdentity found = file_identity(path, false);
        if (!line.empty() && found.known && !found.folder && !found.same_file(self))
            remaining.push_back(path);
    }
    return remaining;
}

// Each listed path in its place: root's places as root, desktop entries as
// their users. Paths elsewhere stay.
void remove_in_places(const std::string& list, const std::string& install_dir)
{
    ListedPlaces places = installed_places(install_dir);
    SortedList sorted = sort_listed_paths(list, places);
    remove_listed_paths(sorted.root_lines.data(), sorted.root_lines.size(), install_dir);
    for (const std::string& path : sorted.desktop_paths)
        remove_desktop_entry(path, places);
}

}  // namespace

std::string install_folder_of(const std::string& program)
{
    size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string("./") : program.substr(0, slash + 1);
}

bool run_uninstall(const std::string& program, UninstallReport* report)
{
    const std::string install_dir = install_folder_of(program);
    report->list_path = install_dir + kListName;
    report->remaining.clear();
    report->refusal = installation_refusal(install_dir);
    std::string list;
    if (!report->refusal.empty() || file_read_whole(report->list_path, &list) != 0)
        return false;
    pid_t removal = start_service_removal(install_dir);
    g_usleep(gulong(kServiceStopWaitMs) * 1000);
    file_remove(report->list_path);

    const FileIdentity self = file_identity(program, true);
    remove_in_places(without_program(list, install_dir, self), install_dir);
    if (removal > 0)
        process_wait(removal, 0);
    remove_autorun_values();
    remove_registrations(install_dir);
    write_self_delete_batch(program);
    report->remaining = remaining_files(list, install_dir, self);
    return true;
}
