// Local stream sockets at a path in a folder.
#include "platform/local_socket.h"

#include "platform/deadline.h"
#include "platform/files.h"
#include "platform/unix_socket.h"

#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t kAnswerLimit = 64;

}  // namespace

int local_socket_listen(const std::string& path)
{
    sockaddr_un address;
    socklen_t length = unix_path_address(path, &address);
    if (length == 0)
        return -1;
    unlink(path.c_str());
    return unix_stream_listen(address, length);
}

int local_socket_accept(int listen_fd) { return unix_stream_accept(listen_fd); }

int local_socket_connect(const std::string& path)
{
    sockaddr_un address;
    socklen_t length = unix_path_address(path, &address);
    return length == 0 ? -1 : unix_stream_connect(address, length);
}

int local_socket_connect_within(const std::string& path, int timeout_ms)
{
    const int64_t deadline = platform_deadline_after_ms(timeout_ms);
    const timespec pause{0, 50 * kNsPerMs};
    for (;;) {
        int fd = local_socket_connect(path);
        if (fd >= 0 || platform_ms_left(deadline) == 0)
            return fd;
        nanosleep(&pause, nullptr);
    }
}

long local_socket_read(int fd, char* bytes, unsigned long size)
{
    return read(fd, bytes, size);
}

bool local_socket_send(int fd, std::string_view bytes)
{
    return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

bool local_socket_ask(int fd, std::string_view request, std::string* answer, int timeout_ms)
{
    answer->clear();
    if (!local_socket_send(fd, request))
        return false;
    int64_t deadline = platform_deadline_after_ms(timeout_ms);
    file_read_to_end(fd, answer, deadline, kAnswerLimit);
    return !answer->empty();
}

void local_socket_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

void local_socket_remove(int listen_fd, const std::string& path)
{
    local_socket_close(listen_fd);
    unlink(path.c_str());
}
