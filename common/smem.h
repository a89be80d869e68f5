// The command channel from satclock to clockkeeper: one 256-byte shared block
// holding a 20-byte TimeCommand, and a named auto-reset event that wakes the
// service after each posting. After each command the service leaves its
// acknowledgement in the block, which a sender may wait for.
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

// The block, little-endian, no padding:
//   0  int32   command   0 empty or taken, 1 set time, 2 shift time
//   4  uint64  cur_ft    sender's UTC file time when it prepared the command, whole ms
//  12  uint64  new_ft    1: the UTC file time to set; 2: a signed shift in milliseconds
//  20  uint32  keeper    kAckKeeperMark while a service that acknowledges holds the block
//  24  uint32  sequence  the sender's number for its command (0: none)
//  32  uint32  ack_seq   the sequence of the last command the service took
//  36  int32   ack_result what became of it (kAck* below)
// A peer that knows only the first 20 bytes works as before: it never looks further.
inline constexpr size_t kKeeperOffset = 20;
inline constexpr size_t kSequenceOffset = 24;
inline constexpr size_t kAckOffset = 32;
inline constexpr size_t kAckedBlockSize = 40;
inline constexpr uint32_t kAckKeeperMark = 0x314b4353;  // "SCK1"

// Results of a command as the service acknowledges them.
inline constexpr int32_t kAckApplied = 1;         // the clock was set
inline constexpr int32_t kAckRefused = 2;         // target outside the settable span
inline constexpr int32_t kAckSetFailed = 3;       // the clock refused the set
inline constexpr int32_t kAckUnknownCommand = 4;  // not a command the service knows

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

// Open the block (or create it when no one has yet); the process keeps one
// descriptor, and a new call replaces it. 1 open, -1 not.
int smem_create_memory();
// The service's open: a block under the name that is not its own is replaced
// by one that is (see platform_shm_open_owned). 1 open, -1 not.
int smem_create_own_memory();
// Whether the open block is still the one under the name, and ours.
bool smem_is_current();
// Whether this process holds its presence lock on the block (another account
// may keep it from us); smem_hold_again tries once more. 1 held, 0 not.
int smem_holds();
int smem_hold_again();
// Whether another process has the block open, as the service's worker has
// from its start to its stop: 1 yes, 0 no, -1 when it cannot be told (also
// when this process has no block open).
int smem_peer_present();
// Close and forget the block. Returns 1.
int smem_close_memory();

// Open, or create, the command event; nullptr when neither works.
NamedEvent* open_command_event();
// The service's open (see platform_named_event_open_owned).
NamedEvent* open_own_command_event();
void close_command_event(NamedEvent* event);
// Wake the service (auto-reset: signals before its wait count once). 0 or errno.
int signal_command_event(NamedEvent* event);

// Store a command in the open block. 0 when no block is open or it could not
// be written whole, else 1.
int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft, uint32_t sequence = 0);

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
// Empty the slot (a command left from before the service started is stale).
int smem_clear_command();
// The service says whether it acknowledges (while it holds the block) and
// what became of the command numbered `sequence`.
int smem_set_keeper_mark(bool acknowledging);
int smem_write_ack(uint32_t sequence, int32_t result);

// Post one command: open the event and the block, write, signal (also when
// nothing could be written), close both. 1 when the block was written, 0
// otherwise. Nothing says whether the service took or applied it.
int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft);

// What became of a posting that waits for the service's acknowledgement.
enum class PostOutcome {
    applied,          // the service set the clock
    unacknowledged,   // written for a service that gives no acknowledgement (an older one)
    refused,          // the service refused the command (target out of range, unknown)
    set_failed,       // the service's clock set failed
    no_channel,       // the event or the block could not be opened
    no_service,       // no process holds the block: nobody would take the command
    not_written,      // the block could not be written
    not_signalled,    // the event could not be signalled
    no_ack,           // no acknowledgement of this command within the wait
};

// Post as satclock does for each correction, and wait up to timeout_ms for
// the acknowledgement of this very command. A command left unacknowledged is
// taken back from the slot when it is still there.
PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms);
// Whether the correction may count as done: applied, or handed to a service
// that does not acknowledge.
bool post_outcome_counts(PostOutcome outcome);
// A short English reason for the log.
const char* post_outcome_text(PostOutcome outcome);
