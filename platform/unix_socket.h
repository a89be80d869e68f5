// AF_UNIX addresses and stream sockets: what the socket files of platform/ share.
#pragma once

#include <string>
#include <sys/socket.h>
#include <sys/un.h>

// The address of a socket file at `path`: its length, or 0 with errno
// ENAMETOOLONG when the path is empty or does not fit.
socklen_t unix_path_address(const std::string& path, sockaddr_un* address);
// The name in the abstract namespace (a leading NUL, then the name without a
// terminator): its length, or 0 with errno ENAMETOOLONG when it does not fit.
socklen_t unix_abstract_address(const std::string& name, sockaddr_un* address);
// A non-blocking stream socket listening at the address, or -1 with errno set.
int unix_stream_listen(const sockaddr_un& address, socklen_t length);
// A stream socket connected to the address, or -1 with errno set.
int unix_stream_connect(const sockaddr_un& address, socklen_t length);
// A waiting connection (non-blocking), or -1 when none.
int unix_stream_accept(int listen_fd);
// Closes fd after a failure, errno kept. Returns -1.
int close_failed(int fd);
