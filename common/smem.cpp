// The shared command block and the command event.
#include "common/smem.h"

#include "platform/shm.h"

#include <atomic>
#include <bit>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex smem_lock;                  // guards the two below
int smem_fd = -1;                      // the block's descriptor ("mapping handle")
unsigned char* smem_view = nullptr;    // the mapped block, kSharedBlockSize bytes

static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<unsigned char>::is_always_lock_free);

std::string channel_name(const char* base)
{
    const char* prefix = std::getenv("SATCLOCK_CHANNEL_PREFIX");
    return std::string("/") + (prefix ? prefix : "") + base;
}

uint32_t little_endian32(uint32_t value)
{
    if constexpr (std::endian::native == std::endian::little)
        return value;
    return (value >> 24) | ((value >> 8) & 0xff00u) | ((value << 8) & 0xff0000u) | (value << 24);
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

// The other side is another process: every access to the mapping is atomic so
// that two accounts writing at once cannot make this one's reads undefined.
// The command word is aligned (offset 0 of a page); the times at offsets 4
// and 12 are not, so they go byte by byte.
std::atomic_ref<uint32_t> command_word(unsigned char* view)
{
    return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(view));
}

void store_bytes(unsigned char* view, size_t offset, const unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        std::atomic_ref<unsigned char>(view[offset + i]).store(bytes[i], std::memory_order_relaxed);
}

void load_bytes(unsigned char* view, size_t offset, unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        bytes[i] = std::atomic_ref<unsigned char>(view[offset + i]).load(std::memory_order_relaxed);
}

void release_mapping_locked()
{
    platform_shm_unmap(smem_view, kSharedBlockSize);
    smem_view = nullptr;
    platform_shm_close(smem_fd);
    smem_fd = -1;
}

}  // namespace

void time_command_encode(const TimeCommand& command, unsigned char out[kTimeCommandSize])
{
    uint32_t code = static_cast<uint32_t>(command.command);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(code >> (8 * i));
    put_le64(out + 4, static_cast<uint64_t>(command.cur_ft));
    put_le64(out + 12, static_cast<uint64_t>(command.new_ft));
}

TimeCommand time_command_decode(const unsigned char in[kTimeCommandSize])
{
    uint32_t code = uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
    return TimeCommand{static_cast<int32_t>(code), static_cast<int64_t>(get_le64(in + 4)),
                       static_cast<int64_t>(get_le64(in + 12))};
}

std::string channel_share_name() { return channel_name("setclockkeeper_share"); }
std::string channel_event_name() { return channel_name("setclockkeeper_event"); }

int smem_create_memory()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd >= 0)
        release_mapping_locked();
    smem_fd = platform_shm_open(channel_share_name(), kSharedBlockSize);
    if (smem_fd < 0)
        return -1;
    // The hold tells a sender that someone is there to take its commands.
    platform_shm_hold(smem_fd);
    smem_view = platform_shm_map(smem_fd, kSharedBlockSize);
    return smem_view ? 1 : -1;
}

int smem_peer_present()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (smem_fd < 0)
        return -1;
    return platform_shm_held_by_others(smem_fd);
}

int smem_close_memory()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    release_mapping_locked();
    return 1;
}

NamedEvent* open_command_event() { return platform_named_event_open(channel_event_name()); }

void close_command_event(NamedEvent* event) { platform_named_event_close(event); }

int signal_command_event(NamedEvent* event) { return platform_named_event_signal(event); }

int smem_write_command(int32_t command, int64_t cur_ft, int64_t new_ft)
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (!smem_view)
        return 0;
    unsigned char bytes[kTimeCommandSize];
    time_command_encode(TimeCommand{command, cur_ft, new_ft}, bytes);
    // The times go in before the command word, which is published last: a
    // reader that finds the command also finds its times.
    store_bytes(smem_view, 4, bytes + 4, kTimeCommandSize - 4);
    command_word(smem_view).store(little_endian32(static_cast<uint32_t>(command)), std::memory_order_release);
    return 1;
}

int32_t smem_read_command(int64_t* cur_ft, int64_t* new_ft)
{
    std::lock_guard<std::mutex> guard(smem_lock);
    if (!smem_view)
        return 0;
    unsigned char bytes[kTimeCommandSize] = {};
    uint32_t word = little_endian32(command_word(smem_view).load(std::memory_order_acquire));
    int32_t command = static_cast<int32_t>(word);
    if (command == kCommandEmpty)
        return 0;
    load_bytes(smem_view, 4, bytes + 4, kTimeCommandSize - 4);
    TimeCommand taken = time_command_decode(bytes);
    if (cur_ft)
        *cur_ft = taken.cur_ft;
    if (new_ft)
        *new_ft = taken.new_ft;
    // A posting that lands between the load above and this store is lost, as
    // with any single slot without a lock; its signal then finds the slot empty.
    command_word(smem_view).store(0, std::memory_order_relaxed);
    return command;
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
