// The uninstall procedure, shared by the window and the unattended mode.
#include "uninstall/uninstall_procedure.h"

#include "common/listed_paths.h"
#include "common/registrations.h"
#include "platform/hidden_process.h"
#include "platform/process.h"
#include "uninstall/autorun_values.h"
#include "uninstall/self_delete.h"

#include <fstream>
#include <glib.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kListName[] = "uninstall.txt";
constexpr char kServiceProgram[] = "bin/clockkeeper";

// The service program removes its unit, stopping the service first; what it
// prints goes nowhere, as from a hidden console.
pid_t start_service_removal(const std::string& install_dir)
{
    return process_spawn_hidden({install_dir + kServiceProgram, "remove"});
}

// The LF-ended lines, without their line ends: what the removal passes take.
std::vector<std::string> list_lines(const std::string& list)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = list.find('\n'); end != std::string::npos; end = list.find('\n', start)) {
        std::string line = list.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Identity of the uninstaller's own file, to know it in the list by any of its names.
struct FileId {
    bool known = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

FileId file_id(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return {};
    return {true, st.st_dev, st.st_ino};
}

bool is_file(const struct stat& st, const FileId& id)
{
    return id.known && st.st_dev == id.dev && st.st_ino == id.ino;
}

// The list without the lines that name the uninstaller itself: it is in use
// until it ends, and its script deletes it afterwards.
std::string without_program(const std::string& list, const std::string& base, const FileId& self)
{
    std::string kept;
    for (const std::string& line : list_lines(list)) {
        struct stat st {};
        if (!line.empty() && lstat(listed_path(line, base).c_str(), &st) == 0 && is_file(st, self))
            continue;
        kept += line + "\n";
    }
    return kept;
}

std::vector<std::string> remaining_files(const std::string& list, const std::string& base, const FileId& self)
{
    std::vector<std::string> remaining;
    for (const std::string& line : list_lines(list)) {
        if (line.empty())
            continue;
        std::string path = listed_path(line, base);
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode) || is_file(st, self))
            continue;
        remaining.push_back(path);
    }
    return remaining;
}

// The uninstall registration and the program's link on the command path.
void remove_registrations()
{
    unlink(uninstall_entry_path().c_str());
    // Only the link the installer made: a program of that name put there otherwise stays.
    std::string link = program_link_path();
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        unlink(link.c_str());
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
    std::ifstream file(report->list_path, std::ios::binary);
    if (!file)
        return false;
    pid_t removal = start_service_removal(install_dir);
    g_usleep(gulong(kServiceStopWaitMs) * 1000);
    std::string list((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    unlink(report->list_path.c_str());

    const FileId self = file_id(program);
    std::string removable = without_program(list, install_dir, self);
    remove_listed_paths(removable.data(), removable.size(), install_dir);
    if (removal > 0)
        process_wait(removal, 0);
    remove_autorun_values();
    remove_registrations();
    write_self_delete_batch(program);
    report->remaining = remaining_files(list, install_dir, self);
    return true;
}
