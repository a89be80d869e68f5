// The sending side of the command channel (satclock): it opens what the
// service made, writes a command into the block, signals the service and
// waits for the service's acknowledgement of that very command.
#pragma once

#include "common/smem_block.h"

#include <cstdint>
#include <sys/types.h>

// The sender's end of the command event: a socket connected to the service's.
struct CommandEvent {
    int fd;
    uid_t service_uid;  // owner of the channel's folder: the only account whose answers count
    bool signalled;     // the last signal is in the service's queue (not dropped as the queue was full)
};

// Connect to the service's command event; nullptr with errno set when the
// folder or the socket is missing or nobody is bound to it (ENOENT,
// ECONNREFUSED: no service runs).
CommandEvent* open_command_event();
void close_command_event(CommandEvent* event);
// Wake the service with one byte, without blocking. A full queue counts as
// signalled: the service is awake and takes the slot at its next wake.
// 0, or an errno value.
int signal_command_event(CommandEvent* event);

// Open the service's block: a regular file owned by the folder's owner.
// 1 open, -1 not (errno set).
int smem_create_memory();
// Store a command in the open block. 0 when no block is open or it could not
// be written whole, else 1.
int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft, uint32_t sequence = 0);

// Post one command: open the event and the block, write, signal (also when
// nothing could be written), close both. 1 when the block was written, 0
// otherwise. Nothing says whether the service took or applied it.
int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft);

// What became of a posting that waits for the service's acknowledgement.
enum class PostOutcome {
    applied,        // the service set the clock
    refused,        // the service refused the command (target out of range, unknown)
    set_failed,     // the service's clock set failed
    no_service,     // no service listens on the channel
    no_channel,     // the channel's block cannot be opened
    not_written,    // the block could not be written
    not_signalled,  // the service could not be woken
    foreign_reply,  // only answers from another account than the service's came (ignored)
    no_ack,         // no acknowledgement of this command within the wait
    unknown_command,  // the service does not know the command (a service of before)
    not_delivered,    // the service could not hand the sample to chrony
};

// Post as satclock does for each correction, and wait up to timeout_ms for
// the acknowledgement of this very command from the service's account. A
// command left unacknowledged is taken back from the slot when it is still there.
PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms);
// Whether the correction may count as done: the service applied it.
bool post_outcome_counts(PostOutcome outcome);
// A short English reason for the log.
const char* post_outcome_text(PostOutcome outcome);

// Whether a service listens on the channel: 1 yes, 0 no, -1 when it cannot be told.
int smem_peer_present();
