// The sender's side: open, write, signal, wait for the acknowledgement.
#include "common/smem_sender.h"

#include "platform/channel_file.h"
#include "platform/channel_folder.h"
#include "platform/clock.h"
#include "platform/datagram.h"

#include <cerrno>
#include <mutex>
#include <new>
#include <random>

namespace {

constexpr unsigned char kSignalByte = 1;

bool write_whole(int fd, size_t offset, const unsigned char* bytes, size_t count)
{
    return fd >= 0 && platform_channel_file_write(fd, offset, bytes, count) == ssize_t(count);
}

uint32_t new_sequence()
{
    static std::mutex random_lock;
    static std::random_device source;
    std::lock_guard<std::mutex> guard(random_lock);
    uint32_t sequence = 0;
    while (sequence == 0)
        sequence = source();
    return sequence;
}

// Take back a command that no acknowledgement answered, if it is still ours.
void withdraw(uint32_t sequence)
{
    smem_with_block([sequence](int fd) {
        unsigned char bytes[kSequencedCommandSize];
        if (fd < 0 || platform_channel_file_read(fd, 0, bytes, sizeof bytes) != ssize_t(sizeof bytes))
            return 0;
        if (get_le32(bytes) == 0 || get_le32(bytes + kSequenceOffset) != sequence)
            return 0;
        const unsigned char empty[4] = {};
        return write_whole(fd, 0, empty, sizeof empty) ? 1 : 0;
    });
}

PostOutcome outcome_of(int32_t result)
{
    switch (result) {
    case kAckApplied: return PostOutcome::applied;
    case kAckSetFailed: return PostOutcome::set_failed;
    case kAckUnknownCommand: return PostOutcome::unknown_command;
    case kAckNotDelivered: return PostOutcome::not_delivered;
    default: return PostOutcome::refused;
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

PostOutcome wait_for_ack(CommandEvent* event, uint32_t sequence, int timeout_ms)
{
    int64_t deadline = platform_monotonic_ns() + int64_t(timeout_ms) * 1000000;
    int foreign = 0;
    for (;;) {
        int64_t left_ms = (deadline - platform_monotonic_ns()) / 1000000;
        if (left_ms <= 0)
            return foreign ? PostOutcome::foreign_reply : PostOutcome::no_ack;
        // A signal dropped from a full queue is sent again as soon as there is
        // room, so that this sender is among those the service answers.
        int woke = platform_datagram_wait(event->fd, -1, int(left_ms), !event->signalled);
        PostOutcome outcome = PostOutcome::no_ack;
        if (woke == kDatagramWaitReadable && read_answers(event, sequence, &outcome, &foreign))
            return outcome;
        if (woke == kDatagramWaitRoom && signal_command_event(event) != 0)
            return PostOutcome::not_signalled;
        if (woke == kDatagramWaitFailed)
            return PostOutcome::no_ack;
    }
}

// The service took the command from the slot and said what became of it.
bool service_answered(PostOutcome outcome)
{
    switch (outcome) {
    case PostOutcome::applied:
    case PostOutcome::refused:
    case PostOutcome::set_failed:
    case PostOutcome::unknown_command:
    case PostOutcome::not_delivered:
        return true;
    default:
        return false;
    }
}

PostOutcome post_on_open_channel(CommandEvent* event, int32_t command, int64_t cur_ft, int64_t new_ft,
                                 int timeout_ms)
{
    if (smem_create_memory() != 1)
        return PostOutcome::no_channel;
    uint32_t sequence = new_sequence();
    if (smem_write_command(command, cur_ft, new_ft, sequence) != 1)
        return PostOutcome::not_written;
    if (signal_command_event(event) != 0) {
        withdraw(sequence);
        return PostOutcome::not_signalled;
    }
    PostOutcome outcome = wait_for_ack(event, sequence, timeout_ms);
    if (!service_answered(outcome))
        withdraw(sequence);
    return outcome;
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
    auto* event = new (std::nothrow) CommandEvent{fd, owner, false};
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

int signal_command_event(CommandEvent* event)
{
    if (!event)
        return EBADF;
    int error = platform_datagram_send(event->fd, &kSignalByte, 1);
    event->signalled = error == 0;
    return error == EAGAIN ? 0 : error;
}

int smem_create_memory()
{
    uid_t owner = 0;
    int fd = -1;
    std::string path = channel_share_path();
    if (int error = platform_channel_folder_owner(channel_dir(), &owner))
        errno = error;
    else if (path.empty())
        errno = EINVAL;
    else
        fd = platform_channel_file_open(path, owner);
    return smem_adopt(fd);
}

int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft, uint32_t sequence)
{
    unsigned char bytes[kTimeCommandSize];
    time_command_encode(TimeCommand{command, cur_ft, new_ft}, bytes);
    unsigned char number[4];
    put_le32(number, sequence);
    return smem_with_block([&](int fd) {
        // The times and the number go in before the command word, which is
        // published last: a reader that finds the command also finds its times.
        if (!write_whole(fd, 4, bytes + 4, kTimeCommandSize - 4) || !write_whole(fd, kSequenceOffset, number, 4))
            return 0;
        return write_whole(fd, 0, bytes, 4) ? 1 : 0;
    });
}

int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft)
{
    CommandEvent* event = open_command_event();
    smem_create_memory();
    int written = smem_write_command(command, cur_ft, new_ft);
    signal_command_event(event);
    smem_close_memory();
    close_command_event(event);
    return written;
}

PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms)
{
    CommandEvent* event = open_command_event();
    PostOutcome outcome = PostOutcome::no_service;
    if (event)
        outcome = post_on_open_channel(event, command, cur_ft, new_ft, timeout_ms);
    smem_close_memory();
    close_command_event(event);
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
    case PostOutcome::no_channel: return "the channel's block cannot be opened";
    case PostOutcome::not_written: return "the command could not be written";
    case PostOutcome::not_signalled: return "the service could not be woken";
    case PostOutcome::foreign_reply: return "answers from another account than the service's were ignored";
    case PostOutcome::no_ack: return "no acknowledgement from the service";
    case PostOutcome::unknown_command: return "the service does not know this command";
    case PostOutcome::not_delivered: return "the service could not hand the sample to chrony";
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
    return errno == ENOENT || errno == ECONNREFUSED ? 0 : -1;
}
