// Local stream sockets at a path in a folder (AF_UNIX, SOCK_STREAM): one end
// listens, the other connects, sends a short request and reads a short answer.
#pragma once

#include <string>
#include <string_view>

// A non-blocking listening socket at `path`; a socket file left there by an
// earlier holder is removed first (the caller holds what entitles it to the
// name). The descriptor, or -1 with errno set.
int local_socket_listen(const std::string& path);
// A connection waiting on the listening socket (non-blocking), or -1 when none.
int local_socket_accept(int listen_fd);
// A connection to the socket at `path`, or -1 with errno set.
int local_socket_connect(const std::string& path);
// The same, tried again every 50 ms while nothing listens at `path` yet (its
// holder may still be starting), for at most timeout_ms.
int local_socket_connect_within(const std::string& path, int timeout_ms);
// Reads what has come without waiting: the byte count, 0 at the end, -1 with
// errno set (EAGAIN: nothing yet).
long local_socket_read(int fd, char* bytes, unsigned long size);
// Sends bytes without waiting for the reader; false when they did not all go.
bool local_socket_send(int fd, std::string_view bytes);
// Sends the request, then reads the answer until the other end closes, for
// at most timeout_ms. False when nothing came.
bool local_socket_ask(int fd, std::string_view request, std::string* answer, int timeout_ms);
void local_socket_close(int fd);
// Closes the listening socket and removes its file.
void local_socket_remove(int listen_fd, const std::string& path);
