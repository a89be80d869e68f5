// The paths of chrony's reference clock sockets for Satclock.
#include "common/chrony_socket.h"

#include <cstdlib>

namespace {

constexpr char kDefaultSampleSocket[] = "/run/chrony.satclock.sock";
constexpr char kSocketEnding[] = ".sock";

}  // namespace

std::string chrony_sample_socket_path()
{
    const char* path = std::getenv("SATCLOCK_CHRONY_SOCKET");
    return path && *path ? path : kDefaultSampleSocket;
}

std::string chrony_pulse_socket_path()
{
    std::string path = chrony_sample_socket_path();
    std::string ending = kSocketEnding;
    bool ends = path.size() > ending.size() && path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
    return ends ? path.insert(path.size() - ending.size(), "-pps") : path + "-pps";
}
