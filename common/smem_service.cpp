// The service's side: the socket bound afresh, the command datagrams taken
// with their credentials, their senders answered.
#include "common/smem_service.h"

#include "platform/channel_folder.h"

#include <cerrno>

namespace {

constexpr int kAnswerBufferBytes = 8 << 20;
constexpr int kAnswersPileUpBytes = 256 << 10;

}  // namespace

int open_own_command_event(bool grouped, gid_t group)
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
    int fd = grouped ? platform_datagram_bind(path, 0660, group) : platform_datagram_bind(path, 0666);
    // Each answer waits in its sender's queue until read, charged to this
    // socket; a sender that never reads holds its answers there.
    if (fd >= 0)
        platform_datagram_send_buffer(fd, kAnswerBufferBytes);
    return fd;
}

void close_own_command_event(int fd) { platform_datagram_close(fd); }

int take_commands(int fd, std::vector<ReceivedCommand>* batch)
{
    batch->clear();
    while (int(batch->size()) < kCommandDatagramBound) {
        unsigned char bytes[kSequencedCommandSize] = {};
        ReceivedCommand received{};
        ssize_t n = platform_datagram_receive(fd, bytes, sizeof bytes, &received.sender);
        if (n < 0)
            return errno == EAGAIN ? int(batch->size()) : -1;
        // A longer datagram is cut to its first 28 bytes by the receive.
        received.is_command = command_datagram_decode(bytes, size_t(n) < sizeof bytes ? size_t(n) : sizeof bytes,
                                                      &received.command);
        batch->push_back(received);
    }
    return int(batch->size());
}

bool answers_pile_up(int fd) { return platform_datagram_unread_bytes(fd) > kAnswersPileUpBytes; }

int answer_command(int fd, const DatagramPeer& to, const Acknowledgement& ack)
{
    if (!platform_datagram_abstract_sender(to))
        return EDESTADDRREQ;
    unsigned char bytes[kAckSize];
    acknowledgement_encode(ack, bytes);
    return platform_datagram_send_to(fd, to, bytes, sizeof bytes);
}
