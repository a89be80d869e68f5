// Local datagram sockets (AF_UNIX, SOCK_DGRAM) with the senders' credentials.
//
// The kernel stamps every datagram with its sender's pid, uid and gid
// (SCM_CREDENTIALS), which an ordinary sender cannot forge; both ends here
// ask for them. Nothing here ever blocks: a full queue is EAGAIN.
#pragma once

#include <cstddef>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

// Where a datagram came from: the address to answer (none when the sender
// never bound one) and its credentials.
struct DatagramPeer {
    sockaddr_un address;
    socklen_t address_length;
    bool credentials;  // uid, gid and pid below are the kernel's, not the sender's word
    uid_t uid;
    gid_t gid;  // the sender's effective group
    pid_t pid;
};

// The receiving end: a socket bound at `path` (nothing may stand there yet)
// whose file gets `mode` whatever the umask, and the group `group` unless it
// is (gid_t)-1. The descriptor, or -1 with errno set.
int platform_datagram_bind(const std::string& path, mode_t mode, gid_t group = gid_t(-1));
// A sending end connected to the socket at `path`. It is bound first to an
// address of its own in the abstract namespace (chosen by the kernel, no
// file), so that the receiver can answer; being connected, it takes answers
// from that one socket only. The descriptor, or -1 with errno set
// (ENOENT or ECONNREFUSED: nobody is bound at `path`).
int platform_datagram_connect(const std::string& path);
void platform_datagram_close(int fd);
// The bytes of datagrams sent on fd that their receivers have not read yet
// (they count against the send buffer below); -1 with errno set on failure.
int platform_datagram_unread_bytes(int fd);
// Let `bytes` of sent datagrams wait unread in their receivers' queues
// before a send fails (beyond the system's cap where root may). 0 or an errno value.
int platform_datagram_send_buffer(int fd, int bytes);

// Send on a connected socket. 0, or an errno value (EAGAIN: the receiver's queue is full).
int platform_datagram_send(int fd, const void* bytes, size_t count);
// Answer the sender of a datagram. 0, or an errno value (EDESTADDRREQ when it
// has no address to answer).
int platform_datagram_send_to(int fd, const DatagramPeer& to, const void* bytes, size_t count);
// Send one datagram to the socket bound at `path` from a fresh unbound
// socket (the receiver never answers), without blocking. 0, or an errno value
// (ENOENT or ECONNREFUSED: nobody is bound there; EAGAIN: its queue is full).
int platform_datagram_send_path(const std::string& path, const void* bytes, size_t count);
// Take one datagram. Its length (the bytes beyond `size` are dropped), or -1
// with errno set (EAGAIN: none waiting). File descriptors passed along with
// it are closed at once.
ssize_t platform_datagram_receive(int fd, void* bytes, size_t size, DatagramPeer* from);
// Whether two datagrams came from the same address (both having one).
bool platform_datagram_same_address(const DatagramPeer& a, const DatagramPeer& b);
// Whether the sender's address is a name in the abstract namespace (as the
// kernel gives an autobound socket): no file a sender could swap for a link
// to someone else's socket, and gone with the sender's socket.
bool platform_datagram_abstract_sender(const DatagramPeer& peer);

// Results of platform_datagram_wait.
inline constexpr int kDatagramWaitFailed = -1;
inline constexpr int kDatagramWaitTimeout = 0;
inline constexpr int kDatagramWaitReadable = 1;
inline constexpr int kDatagramWaitStop = 2;
inline constexpr int kDatagramWaitRoom = 3;
// Wait at most timeout_ms (-1: for ever) for a datagram on fd, or for stop_fd
// (-1: none) to become readable; when both are, the stop wins. With
// `want_room`, also for room in the queue of the socket fd is connected to
// (a datagram waiting wins over room).
int platform_datagram_wait(int fd, int stop_fd, int timeout_ms, bool want_room = false);
