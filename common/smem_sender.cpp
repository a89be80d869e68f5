// The sender's side: connect, send the command, wait for its acknowledgement.
#include "common/smem_sender.h"

#include "platform/channel_folder.h"
#include "platform/clock.h"
#include "platform/datagram.h"

#include <cerrno>
#include <mutex>
#include <new>
#include <random>

uint32_t new_command_sequence()
{
    static std::mutex random_lock;
    static std::random_device source;
    std::lock_guard<std::mutex> guard(random_lock);
    uint32_t sequence = 0;
    while (sequence == 0)
        sequence = source();
    return sequence;
}

namespace {

PostOutcome outcome_of(int32_t result)
{
    switch (result) {
    case kAckApplied: return PostOutcome::applied;
    case kAckSetFailed: return PostOutcome::set_failed;
    case kAckUnknownCommand: return PostOutcome::unknown_command;
    case kAckNotDelivered: return PostOutcome::not_delivered;
    case kAckNotPermitted: return PostOutcome::not_permitted;
    case kAckBusy: return PostOutcome::busy;
    default: return PostOutcome::refused;
    }
}

PostOutcome outcome_of_open_error(int error)
{
    switch (error) {
    case ENOENT:
    case ECONNREFUSED:
        return PostOutcome::no_service;
    case EACCES:
    case EPERM:
        return PostOutcome::not_permitted;
    default:
        return PostOutcome::no_channel;
    }
}

// Reads the answers waiting on the event. True when one from the service's
// account acknowledges `sequence`; answers from any other account are counted.
bool read_answers(CommandEvent* event, uint32_t sequence, PostOutcome* outcome, int* foreign)
{
    for (;;) {
        unsigned char bytes[kAckSize];
        DatagramPeer from{};
        ssize_t n = platform_datagram_receive(event->fd, bytes, sizeof bytes, &from);
        if (n < 0)
            return false;
        if (!from.credentials || from.uid != event->service_uid) {
            ++*foreign;
            continue;
        }
        if (n != ssize_t(kAckSize))
            continue;
        Acknowledgement ack = acknowledgement_decode(bytes);
        if (ack.sequence == sequence) {
            *outcome = outcome_of(ack.result);
            return true;
        }
    }
}

int64_t ms_left(int64_t deadline_ns) { return (deadline_ns - platform_monotonic_ns()) / 1000000; }

// Sends the command, waiting for room while the service's queue is full
// (a flood from another account) until the deadline. 0 or an errno value.
int send_until(CommandEvent* event, const TakenCommand& command, int64_t deadline_ns)
{
    for (;;) {
        int error = smem_write_command(event, command);
        if (error != EAGAIN)
            return error;
        int64_t left = ms_left(deadline_ns);
        if (left <= 0 || platform_datagram_wait(event->fd, -1, int(left), true) == kDatagramWaitFailed)
            return EAGAIN;
    }
}

// The process's sender, kept from one acknowledged post to the next (a
// connect per command would cost more than the rest of the road); posts
// take turns on it.
std::mutex sender_lock;
CommandEvent* kept_sender = nullptr;  // under sender_lock

// The kept sender, connected afresh when there is none; nullptr with errno set.
CommandEvent* kept_sender_now()
{
    if (!kept_sender)
        kept_sender = open_command_event();
    return kept_sender;
}

void drop_kept_sender()
{
    close_command_event(kept_sender);
    kept_sender = nullptr;
}

// A sender connected to a service that has since gone (or restarted).
bool connection_gone(int error) { return error == ECONNREFUSED || error == ENOTCONN || error == EPIPE; }

PostOutcome wait_for_ack(CommandEvent* event, uint32_t sequence, int64_t deadline_ns)
{
    int foreign = 0;
    for (;;) {
        int64_t left = ms_left(deadline_ns);
        if (left <= 0)
            return foreign ? PostOutcome::foreign_reply : PostOutcome::no_ack;
        int woke = platform_datagram_wait(event->fd, -1, int(left));
        PostOutcome outcome = PostOutcome::no_ack;
        if (woke == kDatagramWaitReadable && read_answers(event, sequence, &outcome, &foreign))
            return outcome;
        if (woke == kDatagramWaitFailed)
            return PostOutcome::no_ack;
    }
}

}  // namespace

CommandEvent* open_command_event()
{
    uid_t owner = 0;
    if (int error = platform_channel_folder_owner(channel_dir(), &owner)) {
        errno = error;
        return nullptr;
    }
    std::string path = channel_event_path();
    if (path.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = platform_datagram_connect(path);
    if (fd < 0)
        return nullptr;
    auto* event = new (std::nothrow) CommandEvent{fd, owner};
    if (!event)
        platform_datagram_close(fd);
    return event;
}

void close_command_event(CommandEvent* event)
{
    if (!event)
        return;
    platform_datagram_close(event->fd);
    delete event;
}

int smem_write_command(CommandEvent* event, const TakenCommand& command)
{
    if (!event)
        return EBADF;
    unsigned char bytes[kSequencedCommandSize];
    command_datagram_encode(command, bytes);
    return platform_datagram_send(event->fd, bytes, sizeof bytes);
}

PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms)
{
    int64_t deadline = platform_monotonic_ns() + int64_t(timeout_ms) * 1000000;
    std::lock_guard<std::mutex> guard(sender_lock);
    TakenCommand taken{command, cur_ft, new_ft, new_command_sequence()};
    int error = EBADF;
    for (int attempt = 0; attempt < 2 && error != 0; ++attempt) {
        CommandEvent* event = kept_sender_now();
        if (!event)
            return outcome_of_open_error(errno);
        error = send_until(event, taken, deadline);
        if (error != 0)
            drop_kept_sender();
        if (!connection_gone(error))
            break;
    }
    if (error != 0)
        return connection_gone(error) ? PostOutcome::no_service : PostOutcome::not_sent;
    PostOutcome outcome = wait_for_ack(kept_sender, taken.sequence, deadline);
    // Answers that come late are passed over by their sequence; a socket
    // that heard nothing is not trusted with the next command.
    if (outcome == PostOutcome::no_ack || outcome == PostOutcome::foreign_reply)
        drop_kept_sender();
    return outcome;
}

bool post_outcome_counts(PostOutcome outcome) { return outcome == PostOutcome::applied; }

const char* post_outcome_text(PostOutcome outcome)
{
    switch (outcome) {
    case PostOutcome::applied: return "applied by the service";
    case PostOutcome::refused: return "refused by the service";
    case PostOutcome::set_failed: return "the service could not set the clock";
    case PostOutcome::no_service: return "no service listens on the channel";
    case PostOutcome::no_channel: return "the channel's socket cannot be reached";
    case PostOutcome::not_sent: return "the command could not be sent";
    case PostOutcome::foreign_reply: return "answers from another account than the service's were ignored";
    case PostOutcome::no_ack: return "no acknowledgement from the service";
    case PostOutcome::unknown_command: return "the service does not know this command";
    case PostOutcome::not_delivered: return "the service could not hand the sample to chrony";
    case PostOutcome::not_permitted: return "this account may not set the clock (not in the channel's group)";
    case PostOutcome::busy: return "the service is busy with this account's earlier commands";
    }
    return "unknown";
}

int smem_peer_present()
{
    CommandEvent* event = open_command_event();
    if (event) {
        close_command_event(event);
        return 1;
    }
    switch (outcome_of_open_error(errno)) {
    case PostOutcome::no_service: return 0;
    case PostOutcome::not_permitted: return kPeerNotPermitted;
    default: return -1;
    }
}
