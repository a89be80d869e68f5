// The process list from /proc.
#include "common/process_list.h"

#include "platform/env.h"
#include "platform/files.h"

#include <cctype>
#include <fstream>
#include <string>

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
    std::string target = link_target(process_dir + "/exe");
    if (!target.empty())
        return base_name(target);
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
    for (const std::string& entry : folder_entries(root))
        if (all_digits(entry.c_str()) && program_key(executable_name(root + "/" + entry)) == wanted)
            return true;
    return false;
}

bool is_program_running() { return is_process_running("satclock"); }
