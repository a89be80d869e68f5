// The command channel from satclock to clockkeeper: one 256-byte shared block
// holding a 20-byte TimeCommand, and a named auto-reset event that wakes the
// service after each posting. One way, no reply.
#pragma once

#include "platform/named_event.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Values of TimeCommand::command.
inline constexpr int32_t kCommandEmpty = 0;
inline constexpr int32_t kCommandSetTime = 1;
inline constexpr int32_t kCommandShiftTime = 2;

inline constexpr size_t kSharedBlockSize = 256;
inline constexpr size_t kTimeCommandSize = 20;

// The block at offset 0, little-endian, no padding:
//   0  int32   command  0 empty or taken, 1 set time, 2 shift time
//   4  uint64  cur_ft   sender's UTC file time when it prepared the command, whole ms
//  12  uint64  new_ft   1: the UTC file time to set; 2: a signed shift in milliseconds
// Bytes 20 to 255 are never read or written.
struct TimeCommand {
    int32_t command;
    int64_t cur_ft;
    int64_t new_ft;
};

void time_command_encode(const TimeCommand& command, unsigned char out[kTimeCommandSize]);
TimeCommand time_command_decode(const unsigned char in[kTimeCommandSize]);

// "/<SATCLOCK_CHANNEL_PREFIX>setclockkeeper_share" and "..._event".
std::string channel_share_name();
std::string channel_event_name();

// Map the block (open it, or create it when no one has yet); the process keeps
// one mapping, and a new call replaces it. 1 mapped, -1 not.
int smem_create_memory();
// Whether another process has the block mapped, as the service's worker has
// from its start to its stop: 1 yes, 0 no, -1 when it cannot be told (also
// when this process has no mapping).
int smem_peer_present();
// Unmap and forget the block. Returns 1.
int smem_close_memory();

// Open, or create, the command event; nullptr when neither works.
NamedEvent* open_command_event();
void close_command_event(NamedEvent* event);
// Wake the service (auto-reset: signals before its wait count once). 0 or errno.
int signal_command_event(NamedEvent* event);

// Store a command in the mapped block. 0 when no block is mapped, else 1.
int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft);
// Take the command: 0 when no block is mapped or the slot is empty; else copy
// the times to the outputs given (either may be null), clear the slot and
// return the command value as it was read (any value, not only 1 or 2).
int32_t smem_read_command(int64_t* cur_ft, int64_t* new_ft);

// Post one command the way satclock does for each correction: open the event
// and the block, write, signal (also when nothing could be written), close
// both. 1 when the block was written, 0 otherwise. Nothing says whether the
// service took or applied it.
int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft);
