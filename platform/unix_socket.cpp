// AF_UNIX addresses and stream sockets.
#include "platform/unix_socket.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <unistd.h>

socklen_t unix_path_address(const std::string& path, sockaddr_un* address)
{
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) {
        errno = ENAMETOOLONG;
        return 0;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return socklen_t(sizeof *address);
}

socklen_t unix_abstract_address(const std::string& name, sockaddr_un* address)
{
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    if (name.size() + 1 > sizeof address->sun_path) {
        errno = ENAMETOOLONG;
        return 0;
    }
    std::memcpy(address->sun_path + 1, name.data(), name.size());
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

int close_failed(int fd)
{
    int error = errno;
    close(fd);
    errno = error;
    return -1;
}

int unix_stream_listen(const sockaddr_un& address, socklen_t length)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0)
        return close_failed(fd);
    return fd;
}

int unix_stream_connect(const sockaddr_un& address, socklen_t length)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0)
        return close_failed(fd);
    return fd;
}

int unix_stream_accept(int listen_fd) { return accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK); }
