// Local stream sockets at a path in a folder.
#include "platform/local_socket.h"

#include "platform/unix_socket.h"

#include <poll.h>
#include <unistd.h>

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
    if (!local_socket_send(fd, request))
        return false;
    char bytes[8] = {};
    pollfd wait_for{fd, POLLIN, 0};
    if (poll(&wait_for, 1, timeout_ms) != 1)
        return false;
    ssize_t n = read(fd, bytes, sizeof bytes - 1);
    if (n <= 0)
        return false;
    answer->assign(bytes, size_t(n));
    return true;
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
