// The service's side of the command channel (clockkeeper): it makes the block
// and the socket afresh in its folder, takes the command once per wake and
// answers the senders whose signals woke it.
#pragma once

#include "common/smem_block.h"
#include "platform/datagram.h"

#include <cstdint>
#include <vector>

// Make the block afresh under its name, whatever stood there, and keep it
// open as this process's block. 1, or -1 with errno set.
int smem_create_own_memory();

struct TakenCommand {
    int32_t command;
    int64_t cur_ft;
    int64_t new_ft;
    uint32_t sequence;
};
// Take the command: 1 taken (the slot cleared), 0 when the slot is empty or no
// block is open, -1 when the block is too short to hold a command (someone
// shrank it) or cannot be read; *block_size then tells its size.
int smem_take_command(TakenCommand* taken, long long* block_size = nullptr);
// As smem_take_command: the command value as read (any value, not only 1 or
// 2), 0 for none; the times go to the outputs given (either may be null).
int32_t smem_read_command(int64_t* cur_ft, int64_t* new_ft);
// Grow a shrunken block back to its size. 1 done, 0 not.
int smem_grow_memory();

// Bind the command event's socket afresh under its name, whatever stood
// there, open to every account. The descriptor, or -1 with errno set.
int open_own_command_event();
void close_own_command_event(int fd);

// At most this many signals are taken per wake, so that the worker comes
// back to its stop between them however fast they arrive.
inline constexpr int kCommandSignalBound = 64;

// The signals taken in one wake.
struct CommandSignals {
    int count = 0;
    std::vector<DatagramPeer> senders;  // one per address that can be answered
    std::vector<uid_t> uids;            // each sender's account once
};
// Take up to kCommandSignalBound waiting signals. Their number (0 when none
// was waiting), or -1 with errno set when the socket failed.
int take_command_signals(int fd, CommandSignals* signals);
// Answer every sender of the wake with `ack`; a sender that cannot take it
// (gone, queue full) is passed over.
void answer_command_signals(int fd, const CommandSignals& signals, const Acknowledgement& ack);
