// Making, waiting on and releasing the service's ends of the channel.
#include "clockkeeper/service_channel.h"

#include "clockkeeper/service.h"
#include "platform/channel_folder.h"
#include "platform/wake_descriptor.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Guards the two below; the block has a lock of its own.
std::mutex channel_lock;
int channel_socket = -1;
WakeDescriptor worker_wake;

bool fail(const char* what, const std::string& path, int error)
{
    service_log("[main_clockkeeper_thread] %s %s: %s", what, path.c_str(), std::strerror(error));
    errno = error;
    return false;
}

bool open_locked()
{
    std::string dir = channel_dir();
    if (int error = platform_channel_folder_make(dir))
        return fail("channel folder", dir, error);
    if (smem_create_own_memory() != 1) {
        int error = errno;
        service_log("[main_clockkeeper_thread] smem_create_memory() err!!!");
        return fail("block", channel_share_path(), error);
    }
    channel_socket = open_own_command_event();
    if (channel_socket < 0)
        return fail("command event", channel_event_path(), errno);
    if (int error = worker_wake.open())
        return fail("stop descriptor beside", channel_event_path(), error);
    service_log("[main_clockkeeper_thread] channel open in %s", dir.c_str());
    return true;
}

void close_locked()
{
    smem_close_memory();
    close_own_command_event(channel_socket);
    channel_socket = -1;
    worker_wake.close();
}

}  // namespace

bool service_channel_open()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    close_locked();
    if (open_locked())
        return true;
    int error = errno;
    close_locked();
    errno = error;
    return false;
}

bool service_channel_is_open()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return channel_socket >= 0;
}

int service_channel_wait(int timeout_ms)
{
    int socket = -1;
    int stop = -1;
    {
        std::lock_guard<std::mutex> guard(channel_lock);
        socket = channel_socket;
        stop = worker_wake.fd();
    }
    // Only the worker closes the two, and it is the one waiting here.
    if (socket < 0) {
        errno = EBADF;
        return kDatagramWaitFailed;
    }
    return platform_datagram_wait(socket, stop, timeout_ms);
}

int service_channel_take_signals(CommandSignals* signals)
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return take_command_signals(channel_socket, signals);
}

void service_channel_answer(const CommandSignals& signals, const Acknowledgement& ack)
{
    std::lock_guard<std::mutex> guard(channel_lock);
    answer_command_signals(channel_socket, signals, ack);
}

void service_channel_wake()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    worker_wake.set();
}

void service_channel_close()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    close_locked();
}
