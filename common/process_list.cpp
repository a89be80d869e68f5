// The process list from /proc.
#include "common/process_list.h"

#include "platform/env.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string proc_dir()
{
    std::string dir = env_value("SATCLOCK_PROC_DIR");
    return dir.empty() ? "/proc" : dir;
}

// Lower case, without a ".exe" ending.
std::string program_key(std::string_view name)
{
    std::string key;
    for (char c : name)
        key += char(std::tolower(static_cast<unsigned char>(c)));
    if (key.size() > 4 && key.ends_with(".exe"))
        key.resize(key.size() - 4);
    return key;
}

std::string base_name(std::string path)
{
    // The kernel marks the link of a program whose file was replaced or deleted.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's base name of one process; empty when it is gone or is a
// kernel thread.
std::string executable_name(const std::string& process_dir)
{
    char target[PATH_MAX];
    ssize_t n = readlink((process_dir + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0)
        return base_name(std::string(target, size_t(n)));
    std::ifstream comm(process_dir + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool all_digits(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text)
        if (!std::isdigit(static_cast<unsigned char>(*text)))
            return false;
    return true;
}

}  // namespace

bool is_process_running(std::string_view name)
{
    std::string wanted = program_key(name);
    std::string root = proc_dir();
    DIR* dir = opendir(root.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (dirent* entry = readdir(dir)) {
        if (!all_digits(entry->d_name))
            continue;
        if (program_key(executable_name(root + "/" + entry->d_name)) == wanted) {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

bool is_program_running() { return is_process_running("satclock"); }
