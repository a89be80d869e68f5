// Device ownership and holders.
#include "platform/device_access.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <cstdio>
#include <grp.h>
#include <sstream>
#include <sys/sysmacros.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string proc_dir()
{
    const char* dir = std::getenv("SATCLOCK_PROC_DIR");
    return (dir && *dir) ? dir : "/proc";
}

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

bool all_digits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool process_has_open(const std::string& fd_folder, const struct stat& device)
{
    for (const std::string& fd : entries(fd_folder)) {
        struct stat target {};
        if (stat((fd_folder + "/" + fd).c_str(), &target) == 0 && same_file(target, device))
            return true;
    }
    return false;
}

std::string command_name(const std::string& pid_folder)
{
    std::ifstream comm(pid_folder + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// "1: FLOCK  ADVISORY  WRITE 812 00:19:4 0 EOF": the holder's pid, then the
// file as major:minor (hex) of its file system and inode (decimal).
pid_t flock_holder_of(const std::string& locks_path, const struct stat& device)
{
    char file[64];
    std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(device.st_dev), minor(device.st_dev),
                  static_cast<unsigned long long>(device.st_ino));
    std::ifstream locks(locks_path);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" && where == file &&
            all_digits(pid))
            return static_cast<pid_t>(std::atol(pid.c_str()));
    }
    return 0;
}

// The lock's taker may have ended and left the lock to a process it shares
// the open file with (`flock` run by a shell): such a lock names nobody. A
// process whose fds this account may not read counts when it is alive.
pid_t lock_holder(const struct stat& device)
{
    pid_t pid = flock_holder_of(proc_dir() + "/locks", device);
    if (pid <= 0 || pid == getpid())
        return 0;
    std::string folder = proc_dir() + "/" + std::to_string(pid);
    if (command_name(folder).empty())
        return 0;
    bool fds_readable = !entries(folder + "/fd").empty();
    return !fds_readable || process_has_open(folder + "/fd", device) ? pid : 0;
}

}  // namespace

std::string device_group_name(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return "";
    group entry {};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return "";
    return found->gr_name;
}

bool process_in_group(const std::string& name)
{
    group entry {};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    if (getegid() == found->gr_gid)
        return true;
    gid_t groups[NGROUPS_MAX];
    int count = getgroups(NGROUPS_MAX, groups);
    return std::find(groups, groups + std::max(count, 0), found->gr_gid) != groups + std::max(count, 0);
}

std::vector<DeviceHolder> device_holders(const std::string& path)
{
    std::vector<DeviceHolder> holders;
    struct stat device {};
    if (stat(path.c_str(), &device) != 0)
        return holders;
    // Whoever holds the port's lock comes first: it is the one that keeps
    // others out, and /proc/locks shows it to every account.
    pid_t locker = lock_holder(device);
    if (locker > 0)
        holders.push_back({locker, command_name(proc_dir() + "/" + std::to_string(locker))});
    const std::string self = std::to_string(getpid());
    for (const std::string& pid : entries(proc_dir())) {
        if (!all_digits(pid) || pid == self)
            continue;
        std::string folder = proc_dir() + "/" + pid;
        if (std::atol(pid.c_str()) != locker && process_has_open(folder + "/fd", device))
            holders.push_back({static_cast<pid_t>(std::atol(pid.c_str())), command_name(folder)});
    }
    std::sort(holders.begin() + (locker > 0 ? 1 : 0), holders.end(),
              [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return holders;
}
