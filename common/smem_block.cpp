// The channel's names and the layout of its commands and acknowledgements.
#include "common/smem_block.h"

#include "platform/env.h"

namespace {

constexpr char kDefaultChannelDir[] = "/run/satclock";
constexpr char kDefaultGroup[] = "satclock";

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
    std::string name = env_value("SATCLOCK_CHANNEL_PREFIX") + base;
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

void command_datagram_encode(const TakenCommand& command, unsigned char out[kSequencedCommandSize])
{
    time_command_encode(TimeCommand{command.command, command.cur_ft, command.new_ft}, out);
    put_le32(out + kTimeCommandSize, 0);
    put_le32(out + kSequenceOffset, command.sequence);
}

bool command_datagram_decode(const unsigned char* in, size_t length, TakenCommand* command)
{
    if (length < kTimeCommandSize)
        return false;
    TimeCommand fields = time_command_decode(in);
    uint32_t sequence = length >= kSequencedCommandSize ? get_le32(in + kSequenceOffset) : 0;
    *command = TakenCommand{fields.command, fields.cur_ft, fields.new_ft, sequence};
    return true;
}

Acknowledgement acknowledgement_decode(const unsigned char in[kAckSize])
{
    return Acknowledgement{get_le32(in), static_cast<int32_t>(get_le32(in + 4))};
}

std::string channel_dir()
{
    std::string dir = env_value("SATCLOCK_CHANNEL_DIR");
    return dir.empty() ? kDefaultChannelDir : dir;
}

std::string channel_event_path() { return channel_path("setclockkeeper_event"); }

std::string channel_group_name()
{
    std::string group = env_value("SATCLOCK_GROUP");
    return group.empty() ? kDefaultGroup : group;
}
