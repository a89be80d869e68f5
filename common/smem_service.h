// The service's side of the command channel (clockkeeper): it binds the
// socket afresh in its folder, takes the command datagrams with their
// senders' credentials and answers each command's sender.
#pragma once

#include "common/smem_block.h"
#include "platform/datagram.h"

#include <sys/types.h>
#include <vector>

// Bind the command event's socket afresh under its name, whatever stood
// there: mode 0660 and group `group` when `grouped`, else 0666 (every account
// reaches it, and the service refuses those it does not know). The
// descriptor, or -1 with errno set.
int open_own_command_event(bool grouped, gid_t group);
void close_own_command_event(int fd);

// At most this many datagrams are taken per wake, so that the worker comes
// back to its stop between them however fast they arrive.
inline constexpr int kCommandDatagramBound = 64;

// One datagram taken: who sent it and, when it holds one, the command.
struct ReceivedCommand {
    DatagramPeer sender;
    bool is_command;  // at least the 20 bytes of a command
    TakenCommand command;
};
// Take up to kCommandDatagramBound waiting datagrams into *batch (emptied
// first). Their number (0 when none was waiting), or -1 with errno set when
// the socket failed.
int take_commands(int fd, std::vector<ReceivedCommand>* batch);
// Whether the answers sent so far and not yet read fill a good part of the
// socket's send buffer (senders that never read their answers hold them there).
bool answers_pile_up(int fd);
// Answer a command's sender with `ack`. Only an address in the abstract
// namespace is answered (a path could lead to another account's socket).
// 0, or an errno value (EDESTADDRREQ: no such address; EAGAIN: its queue is full).
int answer_command(int fd, const DatagramPeer& to, const Acknowledgement& ack);
