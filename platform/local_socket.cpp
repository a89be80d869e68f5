// Local stream sockets at a path in a folder.
#include "platform/local_socket.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool socket_address(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

int local_socket_listen(const std::string& path)
{
    sockaddr_un address;
    if (!socket_address(path, address))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int local_socket_accept(int listen_fd)
{
    return accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
}

int local_socket_connect(const std::string& path)
{
    sockaddr_un address;
    if (!socket_address(path, address))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
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
