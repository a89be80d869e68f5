// The channel's names, the block's layout and the process's block descriptor.
#include "common/smem_block.h"

#include "platform/channel_file.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

constexpr char kDefaultChannelDir[] = "/run/satclock";

std::mutex smem_lock;  // guards smem_fd and every use of it
int smem_fd = -1;      // the block's descriptor

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

std::string channel_path(const char* base)
{
    const char* prefix = std::getenv("SATCLOCK_CHANNEL_PREFIX");
    std::string name = std::string(prefix ? prefix : "") + base;
    if (name.find('/') != std::string::npos)
        return {};
    return channel_dir() + "/" + name;
}

}  // namespace

void put_le32(unsigned char* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t get_le32(const unsigned char* in)
{
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

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

void acknowledgement_encode(const Acknowledgement& ack, unsigned char out[kAckSize])
{
    put_le32(out, ack.sequence);
    put_le32(out + 4, static_cast<uint32_t>(ack.result));
}

Acknowledgement acknowledgement_decode(const unsigned char in[kAckSize])
{
    return Acknowledgement{get_le32(in), static_cast<int32_t>(get_le32(in + 4))};
}

std::string channel_dir()
{
    const char* dir = std::getenv("SATCLOCK_CHANNEL_DIR");
    return dir && *dir ? dir : kDefaultChannelDir;
}

std::string channel_share_path() { return channel_path("setclockkeeper_share"); }
std::string channel_event_path() { return channel_path("setclockkeeper_event"); }

int smem_adopt(int fd)
{
    int error = errno;
    std::lock_guard<std::mutex> guard(smem_lock);
    platform_channel_file_close(smem_fd);
    errno = error;
    smem_fd = fd;
    return fd >= 0 ? 1 : -1;
}

int smem_with_block(const std::function<int(int fd)>& work)
{
    std::lock_guard<std::mutex> guard(smem_lock);
    return work(smem_fd);
}

int smem_close_memory()
{
    std::lock_guard<std::mutex> guard(smem_lock);
    platform_channel_file_close(smem_fd);
    smem_fd = -1;
    return 1;
}
