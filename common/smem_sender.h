// The sending side of the command channel (satclock): it sends each command
// whole in one datagram to the service's socket and waits for the service's
// acknowledgement of that very command.
#pragma once

#include "common/smem_block.h"

#include <cstdint>
#include <sys/types.h>

// The sender's end of the command event: a socket bound to an address the
// kernel chooses in the abstract namespace and connected to the service's.
struct CommandEvent {
    int fd;
    uid_t service_uid;  // owner of the channel's folder: the only account whose answers count
};

// Connect to the service's command event; nullptr with errno set when the
// folder or the socket is missing or nobody is bound to it (ENOENT,
// ECONNREFUSED: no service runs), or when this account may not write to it
// (EACCES: not a member of the channel's group).
CommandEvent* open_command_event();
void close_command_event(CommandEvent* event);

// Send one command, without blocking. 0, or an errno value (EAGAIN: the
// service's queue is full; the command was not sent).
int smem_write_command(CommandEvent* event, const TakenCommand& command);

// A fresh sequence number for a command, never 0.
uint32_t new_command_sequence();

// What became of a posting that waits for the service's acknowledgement.
enum class PostOutcome {
    applied,          // the service set the clock, or handed the sample to chrony
    refused,          // the service refused the command (target out of range)
    set_failed,       // the service's clock set failed
    no_service,       // no service listens on the channel
    no_channel,       // the channel's socket cannot be reached for another reason
    not_sent,         // the command could not be sent (the queue stayed full)
    foreign_reply,    // only answers from another account than the service's came (ignored)
    no_ack,           // no acknowledgement of this command within the wait
    unknown_command,  // the service does not know the command (a service of before)
    not_delivered,    // the service could not hand the sample to chrony
    not_permitted,    // this account may not move the clock: not in the channel's group
    busy,             // this account sent more than the service takes from one account at a time
};

// Post as satclock does for each correction, and wait up to timeout_ms for
// the acknowledgement of this very command from the service's account.
PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms);
// Whether the correction may count as done: the service applied it.
bool post_outcome_counts(PostOutcome outcome);
// A short English reason for the log.
const char* post_outcome_text(PostOutcome outcome);

// Whether a service listens on the channel: 1 yes, 0 no, kPeerNotPermitted
// when this account may not reach its socket, -1 when it cannot be told.
inline constexpr int kPeerNotPermitted = 2;
int smem_peer_present();
