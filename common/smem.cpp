// The shared command block and the command event.
#include "common/smem.h"

#include "platform/shm.h"

#include <bit>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

namespace {

constexpr int kSenderHoldPatienceMs = 10;
constexpr int kKeeperHoldPatienceMs = 100;
constexpr auto kAckPollStep = std::chrono::milliseconds(1);

std::mutex smem_lock;     // guards the two below
int smem_fd = -1;         // the block's descriptor ("mapping handle")
bool smem_held = false;   // whether smem_fd holds its presence lock

std::string channel_name(const char* base)
{
    const char* prefix = std::getenv("SATCLOCK_CHANNEL_PREFIX");
    return std::string("/") + (prefix ? prefix : "") + base;
}

void put_le32(unsigned char* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t get_le32(const unsigned char* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

void put_le64(unsigned char* out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t get_le64(const unsigned char* in)
{
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value |= uint64_t(in[i]) << (8 * i);
    return value;
}

// Whole writes and reads of the block under the lock; a short one (the block
// was shrunk meanwhile) counts as failed.
bool write_locked(size_t offset, const unsigned char* bytes, size_t count)
{
    return smem_fd >= 0 && platform_shm_write(smem_fd, offset, bytes, count) == ssize_t(count);
}

bool read_locked(size_t offset, unsigned char* bytes, size_t count)
{
    return smem_fd >= 0 && platform_shm_read(smem_fd, offset, bytes, count) == ssize_t(count);
}

bool write_word(size_t offset, uint32_t value)
{
    unsigned char bytes[4];
    put_le32(bytes, value);
    std::lock_guard<std::mutex> guard(smem_lock);
    return write_locked(offset, bytes, sizeof bytes);
}

bool read_words(size_t offset, uint32_t* first, uint32_t* second)
{
    unsigned char bytes[8];
    std::lock_guard<std::mutex> guard(smem_lock);
    if (!read_locked(offset, bytes, sizeof bytes))
        return false;
    *first = get_le32(bytes);
    *second = get_le32(bytes + 4);
    return true;
}

void release_locked()
{
    platform_shm_close(smem_fd);
    smem_fd = -1;
    smem_held = false;
}

// The presence lock is only tried: another account holding the block
// exclusively must not stop this thread, so it is taken outside smem_lock.
int adopt(int fd, int patience_ms)
{
    if (fd < 0)
        return -1;
    bool held = platform_shm_hold(fd, patience_ms) == 0;
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd >= 0)
        release_locked();
    smem_fd = fd;
    smem_held = held;
    return 1;
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
    uint32_t command = 0;
    uint32_t stored = 0;
    unsigned char bytes[4];
    std::lock_guard<std::mutex> guard(smem_lock);
    if (!read_locked(0, bytes, 4))
        return;
    command = get_le32(bytes);
    if (!read_locked(kSequenceOffset, bytes, 4))
        return;
    stored = get_le32(bytes);
    if (command != 0 && stored == sequence) {
        put_le32(bytes, 0);
        write_locked(0, bytes, 4);
    }
}

PostOutcome ack_outcome(int32_t result)
{
    switch (result) {
    case kAckApplied: return PostOutcome::applied;
    case kAckSetFailed: return PostOutcome::set_failed;
    default: return PostOutcome::refused;
    }
}

PostOutcome wait_for_ack(uint32_t sequence, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        uint32_t acked = 0;
        uint32_t result = 0;
        if (read_words(kAckOffset, &acked, &result) && acked == sequence)
            return ack_outcome(static_cast<int32_t>(result));
        if (std::chrono::steady_clock::now() >= deadline)
            return PostOutcome::no_ack;
        std::this_thread::sleep_for(kAckPollStep);
    }
}

PostOutcome post_on_open_channel(NamedEvent* event, int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms)
{
    // Any process may create the block, so a block that no service holds
    // would keep the command for nobody.
    if (smem_peer_present() != 1)
        return PostOutcome::no_service;
    uint32_t keeper = 0;
    uint32_t unused = 0;
    bool acknowledging = read_words(kKeeperOffset, &keeper, &unused) && keeper == kAckKeeperMark;
    uint32_t sequence = new_sequence();
    if (smem_write_command(command, cur_ft, new_ft, sequence) != 1)
        return PostOutcome::not_written;
    if (signal_command_event(event) != 0) {
        withdraw(sequence);
        return PostOutcome::not_signalled;
    }
    // Anyone who can shrink the block can clear the mark too: the
    // acknowledgement is waited for in any case, and only its absence from a
    // block without the mark means an older service, which is taken at its
    // word as before.
    PostOutcome outcome = wait_for_ack(sequence, timeout_ms);
    if (outcome != PostOutcome::no_ack)
        return outcome;
    if (!acknowledging)
        return PostOutcome::unacknowledged;
    withdraw(sequence);
    return outcome;
}

}  // namespace

void time_command_encode(const TimeCommand& command, unsigned char out[kTimeCommandSize])
{
    put_le32(out, static_cast<uint32_t>(command.command));
    put_le64(out + 4, static_cast<uint64_t>(command.cur_ft));
    put_le64(out + 12, static_cast<uint64_t>(command.new_ft));
}

TimeCommand time_command_decode(const unsigned char in[kTimeCommandSize])
{
    return TimeCommand{static_cast<int32_t>(get_le32(in)), static_cast<int64_t>(get_le64(in + 4)),
                       static_cast<int64_t>(get_le64(in + 12))};
}

std::string channel_share_name() { return channel_name("setclockkeeper_share"); }
std::string channel_event_name() { return channel_name("setclockkeeper_event"); }

int smem_create_memory()
{
    return adopt(platform_shm_open(channel_share_name(), kSharedBlockSize), kSenderHoldPatienceMs);
}

int smem_create_own_memory()
{
    return adopt(platform_shm_open_owned(channel_share_name(), kSharedBlockSize), kKeeperHoldPatienceMs);
}

bool smem_is_current()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    return smem_fd >= 0 && platform_shm_is_current(smem_fd, channel_share_name());
}

int smem_holds()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    return smem_held ? 1 : 0;
}

int smem_hold_again()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd >= 0 && !smem_held)
        smem_held = platform_shm_hold(smem_fd, 0) == 0;
    return smem_held ? 1 : 0;
}

int smem_peer_present()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd < 0)
        return -1;
    int present = platform_shm_held_by_others(smem_fd);
    smem_held = platform_shm_hold(smem_fd, 0) == 0;
    return present;
}

int smem_close_memory()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    release_locked();
    return 1;
}

NamedEvent* open_command_event() { return platform_named_event_open(channel_event_name()); }

NamedEvent* open_own_command_event() { return platform_named_event_open_owned(channel_event_name()); }

void close_command_event(NamedEvent* event) { platform_named_event_close(event); }

int signal_command_event(NamedEvent* event) { return platform_named_event_signal(event); }

int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft, uint32_t sequence)
{
    unsigned char bytes[kTimeCommandSize];
    time_command_encode(TimeCommand{command, cur_ft, new_ft}, bytes);
    unsigned char number[4];
    put_le32(number, sequence);
    std::lock_guard<std::mutex> guard(smem_lock);
    // The times and the number go in before the command word, which is
    // published last: a reader that finds the command also finds its times.
    if (!write_locked(4, bytes + 4, kTimeCommandSize - 4) || !write_locked(kSequenceOffset, number, 4))
        return 0;
    return write_locked(0, bytes, 4) ? 1 : 0;
}

int smem_take_command(TakenCommand* taken, long long* block_size)
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd < 0)
        return 0;
    unsigned char bytes[kSequenceOffset + 4] = {};
    ssize_t n = platform_shm_read(smem_fd, 0, bytes, sizeof bytes);
    if (n < ssize_t(kTimeCommandSize)) {
        if (block_size)
            *block_size = platform_shm_size(smem_fd);
        return -1;
    }
    TimeCommand command = time_command_decode(bytes);
    if (command.command == kCommandEmpty)
        return 0;
    *taken = TakenCommand{command.command, command.cur_ft, command.new_ft,
                          n >= ssize_t(sizeof bytes) ? get_le32(bytes + kSequenceOffset) : 0};
    // A posting that lands between the read above and this write is lost, as
    // with any single slot without a lock; its sender then gets no acknowledgement.
    unsigned char empty[4] = {};
    write_locked(0, empty, 4);
    return 1;
}

int32_t smem_read_command(int64_t* cur_ft, int64_t* new_ft)
{
    TakenCommand taken{};
    if (smem_take_command(&taken) != 1)
        return 0;
    if (cur_ft)
        *cur_ft = taken.cur_ft;
    if (new_ft)
        *new_ft = taken.new_ft;
    return taken.command;
}

int smem_grow_memory()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    return smem_fd >= 0 && platform_shm_grow(smem_fd, kSharedBlockSize) == 0 ? 1 : 0;
}

int smem_clear_command() { return write_word(0, 0) ? 1 : 0; }

int smem_set_keeper_mark(bool acknowledging)
{
    return write_word(kKeeperOffset, acknowledging ? kAckKeeperMark : 0) ? 1 : 0;
}

int smem_write_ack(uint32_t sequence, int32_t result)
{
    // Number and result in one write: a sender never pairs its number with
    // another command's result.
    unsigned char bytes[8];
    put_le32(bytes, sequence);
    put_le32(bytes + 4, static_cast<uint32_t>(result));
    std::lock_guard<std::mutex> guard(smem_lock);
    return write_locked(kAckOffset, bytes, sizeof bytes) ? 1 : 0;
}

int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft)
{
    NamedEvent* event = open_command_event();
    smem_create_memory();
    int written = smem_write_command(command, cur_ft, new_ft);
    signal_command_event(event);
    smem_close_memory();
    close_command_event(event);
    return written;
}

PostOutcome post_time_command_acknowledged(int32_t command, int64_t cur_ft, int64_t new_ft, int timeout_ms)
{
    NamedEvent* event = open_command_event();
    PostOutcome outcome = PostOutcome::no_channel;
    if (event && smem_create_memory() == 1)
        outcome = post_on_open_channel(event, command, cur_ft, new_ft, timeout_ms);
    smem_close_memory();
    close_command_event(event);
    return outcome;
}

bool post_outcome_counts(PostOutcome outcome)
{
    return outcome == PostOutcome::applied || outcome == PostOutcome::unacknowledged;
}

const char* post_outcome_text(PostOutcome outcome)
{
    switch (outcome) {
    case PostOutcome::applied: return "applied by the service";
    case PostOutcome::unacknowledged: return "written for a service that does not acknowledge";
    case PostOutcome::refused: return "refused by the service";
    case PostOutcome::set_failed: return "the service could not set the clock";
    case PostOutcome::no_channel: return "the channel cannot be opened";
    case PostOutcome::no_service: return "no service holds the channel";
    case PostOutcome::not_written: return "the command could not be written";
    case PostOutcome::not_signalled: return "the service could not be woken";
    case PostOutcome::no_ack: return "no acknowledgement from the service";
    }
    return "unknown";
}
