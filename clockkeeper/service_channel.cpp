// Making, waiting on and releasing the service's ends of the channel.
#include "clockkeeper/service_channel.h"

#include "clockkeeper/service.h"
#include "platform/channel_folder.h"
#include "platform/user_accounts.h"
#include "platform/wake_descriptor.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Guards the five below.
std::mutex channel_lock;
int channel_socket = -1;
WakeDescriptor worker_wake;
bool channel_grouped = false;  // the group was found: the socket is 0660 and in it
gid_t channel_gid = 0;

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
    std::string group = channel_group_name();
    channel_grouped = group_id_of(group, &channel_gid);
    if (!channel_grouped)
        service_log("[main_clockkeeper_thread] group %s not found: only root and the service's account may "
                    "set the clock", group.c_str());
    channel_socket = open_own_command_event(channel_grouped, channel_gid);
    if (channel_socket < 0) {
        int error = errno;
        // The designed line of a channel that cannot be had.
        service_log("[main_clockkeeper_thread] smem_create_memory() err!!!");
        return fail("command event", channel_event_path(), error);
    }
    if (int error = worker_wake.open())
        return fail("stop descriptor beside", channel_event_path(), error);
    service_log("[main_clockkeeper_thread] channel open in %s", dir.c_str());
    return true;
}

void close_locked()
{
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

bool service_channel_group(gid_t* group)
{
    std::lock_guard<std::mutex> guard(channel_lock);
    *group = channel_gid;
    return channel_grouped;
}

int service_channel_take(std::vector<ReceivedCommand>* batch)
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return take_commands(channel_socket, batch);
}

int service_channel_answer(const DatagramPeer& to, const Acknowledgement& ack)
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return answer_command(channel_socket, to, ack);
}

bool service_channel_answers_pile_up()
{
    std::lock_guard<std::mutex> guard(channel_lock);
    return answers_pile_up(channel_socket);
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
