// The service's side: the block and the socket made afresh, the command
// taken and cleared, the senders answered.
#include "common/smem_service.h"

#include "platform/channel_file.h"
#include "platform/channel_folder.h"

#include <algorithm>
#include <cerrno>

namespace {

bool known_sender(const CommandSignals& signals, const DatagramPeer& peer)
{
    return std::any_of(signals.senders.begin(), signals.senders.end(),
                       [&](const DatagramPeer& other) { return platform_datagram_same_address(other, peer); });
}

void note_sender(CommandSignals* signals, const DatagramPeer& peer)
{
    ++signals->count;
    if (peer.credentials && std::find(signals->uids.begin(), signals->uids.end(), peer.uid) == signals->uids.end())
        signals->uids.push_back(peer.uid);
    if (peer.address_length > sizeof(sa_family_t) && !known_sender(*signals, peer))
        signals->senders.push_back(peer);
}

}  // namespace

int smem_create_own_memory()
{
    std::string path = channel_share_path();
    if (path.empty())
        errno = EINVAL;
    return smem_adopt(path.empty() ? -1 : platform_channel_file_create(path, kSharedBlockSize));
}

int smem_take_command(TakenCommand* taken, long long* block_size)
{
    return smem_with_block([&](int fd) {
        if (fd < 0)
            return 0;
        unsigned char bytes[kSequencedCommandSize] = {};
        ssize_t n = platform_channel_file_read(fd, 0, bytes, sizeof bytes);
        if (n < ssize_t(kTimeCommandSize)) {
            if (block_size)
                *block_size = platform_channel_file_size(fd);
            return -1;
        }
        TimeCommand command = time_command_decode(bytes);
        if (command.command == kCommandEmpty)
            return 0;
        *taken = TakenCommand{command.command, command.cur_ft, command.new_ft,
                              n >= ssize_t(sizeof bytes) ? get_le32(bytes + kSequenceOffset) : 0};
        // A posting that lands between the read above and this write is lost, as
        // with any single slot without a lock; its sender then gets no acknowledgement.
        const unsigned char empty[4] = {};
        platform_channel_file_write(fd, 0, empty, sizeof empty);
        return 1;
    });
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
    return smem_with_block([](int fd) { return fd >= 0 && platform_channel_file_grow(fd, kSharedBlockSize) == 0; });
}

int open_own_command_event()
{
    std::string path = channel_event_path();
    if (path.empty()) {
        errno = EINVAL;
        return -1;
    }
    if (int error = platform_channel_name_clear(path)) {
        errno = error;
        return -1;
    }
    return platform_datagram_bind(path, 0666);
}

void close_own_command_event(int fd) { platform_datagram_close(fd); }

int take_command_signals(int fd, CommandSignals* signals)
{
    *signals = CommandSignals{};
    while (signals->count < kCommandSignalBound) {
        unsigned char byte = 0;
        DatagramPeer peer{};
        if (platform_datagram_receive(fd, &byte, 1, &peer) < 0)
            return errno == EAGAIN ? signals->count : -1;
        note_sender(signals, peer);
    }
    return signals->count;
}

void answer_command_signals(int fd, const CommandSignals& signals, const Acknowledgement& ack)
{
    unsigned char bytes[kAckSize];
    acknowledgement_encode(ack, bytes);
    for (const DatagramPeer& sender : signals.senders)
        platform_datagram_send_to(fd, sender, bytes, sizeof bytes);
}
