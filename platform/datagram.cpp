// AF_UNIX datagram sockets through socket, bind, connect, sendmsg and recvmsg.
#include "platform/datagram.h"

#include "platform/unix_socket.h"

#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A socket that receives its senders' credentials, and the address of `path`.
int credentialed_socket(const std::string& path, sockaddr_un* address)
{
    if (unix_path_address(path, address) == 0)
        return -1;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0)
        return close_failed(fd);
    return fd;
}

// Credentials are kept; descriptors someone passed along are closed, so that
// a sender cannot fill our descriptor table.
void read_control(msghdr* message, DatagramPeer* from)
{
    from->credentials = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(message); c; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level != SOL_SOCKET)
            continue;
        if (c->cmsg_type == SCM_CREDENTIALS && c->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
            ucred cred{};
            std::memcpy(&cred, CMSG_DATA(c), sizeof cred);
            from->credentials = true;
            from->uid = cred.uid;
            from->gid = cred.gid;
            from->pid = cred.pid;
        } else if (c->cmsg_type == SCM_RIGHTS) {
            size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int passed = -1;
                std::memcpy(&passed, CMSG_DATA(c) + i * sizeof(int), sizeof passed);
                close(passed);
            }
        }
    }
}

}  // namespace

int platform_datagram_bind(const std::string& path, mode_t mode, gid_t group)
{
    sockaddr_un address;
    int fd = credentialed_socket(path, &address);
    if (fd < 0)
        return -1;
    // The socket file is made by bind in a folder only this account may
    // change: the name cannot have been swapped between bind and the two below.
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (group != gid_t(-1) && lchown(path.c_str(), uid_t(-1), group) != 0) || chmod(path.c_str(), mode) != 0)
        return close_failed(fd);
    return fd;
}

int platform_datagram_connect(const std::string& path)
{
    sockaddr_un address;
    int fd = credentialed_socket(path, &address);
    if (fd < 0)
        return -1;
    // An address of the family alone asks the kernel for a free abstract name.
    sa_family_t family = AF_UNIX;
    if (bind(fd, reinterpret_cast<sockaddr*>(&family), sizeof family) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return close_failed(fd);
    return fd;
}

int platform_datagram_unread_bytes(int fd)
{
    int bytes = 0;
    return ioctl(fd, SIOCOUTQ, &bytes) == 0 ? bytes : -1;
}

int platform_datagram_send_buffer(int fd, int bytes)
{
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) == 0)
        return 0;
    return setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes) == 0 ? 0 : errno;
}

void platform_datagram_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

int platform_datagram_send(int fd, const void* bytes, size_t count)
{
    for (;;) {
        if (send(fd, bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0)
            return 0;
        if (errno != EINTR)
            return errno == EWOULDBLOCK ? EAGAIN : errno;
    }
}

int platform_datagram_send_to(int fd, const DatagramPeer& to, const void* bytes, size_t count)
{
    if (to.address_length <= sizeof(sa_family_t))
        return EDESTADDRREQ;
    for (;;) {
        if (sendto(fd, bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to.address),
                   to.address_length) >= 0)
            return 0;
        if (errno != EINTR)
            return errno == EWOULDBLOCK ? EAGAIN : errno;
    }
}

int platform_datagram_send_path(const std::string& path, const void* bytes, size_t count)
{
    if (path.empty())
        return EDESTADDRREQ;
    sockaddr_un address;
    if (unix_path_address(path, &address) == 0)
        return ENAMETOOLONG;
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int error = 0;
    while (sendto(fd, bytes, count, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                  sizeof address) < 0) {
        if (errno != EINTR) {
            error = errno == EWOULDBLOCK ? EAGAIN : errno;
            break;
        }
    }
    close(fd);
    return error;
}

ssize_t platform_datagram_receive(int fd, void* bytes, size_t size, DatagramPeer* from)
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(16 * sizeof(int))];
    iovec data{bytes, size};
    msghdr message{};
    message.msg_name = &from->address;
    message.msg_namelen = sizeof from->address;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = 0;
    do {
        n = recvmsg(fd, &message, MSG_DONTWAIT | MSG_TRUNC | MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    from->address_length = message.msg_namelen;
    read_control(&message, from);
    return n;
}

bool platform_datagram_same_address(const DatagramPeer& a, const DatagramPeer& b)
{
    return a.address_length > sizeof(sa_family_t) && a.address_length == b.address_length &&
           std::memcmp(&a.address, &b.address, a.address_length) == 0;
}

bool platform_datagram_abstract_sender(const DatagramPeer& peer)
{
    return peer.address_length > sizeof(sa_family_t) && peer.address.sun_path[0] == '\0';
}

int platform_datagram_wait(int fd, int stop_fd, int timeout_ms, bool want_room)
{
    // The kernel wakes a poll for room as soon as the receiver takes a
    // datagram, as it wakes a blocked sender.
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {fd, short(POLLIN | (want_room ? POLLOUT : 0)), 0}};
    for (;;) {
        int n = poll(fds, 2, timeout_ms);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return kDatagramWaitFailed;
        if (n == 0)
            return kDatagramWaitTimeout;
        if (fds[0].revents & POLLIN)
            return kDatagramWaitStop;
        if (fds[1].revents & POLLIN)
            return kDatagramWaitReadable;
        if (fds[1].revents & POLLOUT)
            return kDatagramWaitRoom;
        errno = (fds[1].revents & POLLNVAL) ? EBADF : EIO;
        return kDatagramWaitFailed;
    }
}
