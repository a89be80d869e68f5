// What a running Satclock sees, asked for by `satclock --status` from any
// account: every running copy answers on an abstract AF_UNIX stream socket
// "<prefix>satclock-status-<pid>" (abstract names carry no file permissions,
// so any account of the machine may connect, and none is left behind by a
// copy that was killed). A client finds the copies in /proc/net/unix and
// takes an answer only from the process whose pid the name carries.
// <prefix> is $SATCLOCK_CHANNEL_PREFIX, so tests meet only their own copies.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// The listening socket of this process (non-blocking), or -1 with errno set.
int status_socket_listen();
// A connection waiting on the listening socket, or -1 when none.
int status_socket_accept(int listen_fd);
// Sends the answer without waiting and closes the connection.
void status_socket_answer(int connection_fd, std::string_view answer);
void status_socket_close(int fd);

// The pids of the copies that listen now (this process's own left out).
std::vector<pid_t> status_socket_pids();
// The answer of the copy with that pid, read within timeout_ms; false when
// it did not answer, or another process answered in its name.
bool status_socket_fetch(pid_t pid, std::string* answer, int timeout_ms);
