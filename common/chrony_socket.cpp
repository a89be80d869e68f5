// The paths of chrony's reference clock sockets for Satclock.
#include "common/chrony_socket.h"

#include "platform/clock.h"
#include "platform/env.h"

namespace {

constexpr char kDefaultSampleSocket[] = "/run/chrony.satclock.sock";
constexpr char kSocketEnding[] = ".sock";

}  // namespace

std::string chrony_sample_socket_path()
{
    std::string path = env_value("SATCLOCK_CHRONY_SOCKET");
    if (!path.empty())
        return path;
    // A sandbox clock's samples would make the machine's chronyd steer the
    // real clock by the sandbox's offset: they go only where named.
    return platform_clock_is_sandbox() ? std::string() : kDefaultSampleSocket;
}

std::string chrony_pulse_socket_path()
{
    std::string path = chrony_sample_socket_path();
    if (path.empty())
        return path;
    std::string ending = kSocketEnding;
    bool ends = path.size() > ending.size() && path.compare(path.size() - ending.size(), ending.size(), ending) == 0;
    return ends ? path.insert(path.size() - ending.size(), "-pps") : path + "-pps";
}
