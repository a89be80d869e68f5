// channel_peer: what another local account can do to the command channel,
// run by the tests under that account.
//
//   channel_peer signal SOCKET         one signal, as any sender gives it
//   channel_peer flood SOCKET          signals without pause, until killed (at most 60 s)
//   channel_peer answer SOCKET BLOCK   binds SOCKET and answers every signal
//                                      with an "applied" for the sequence in BLOCK
//                                      (a forged acknowledgement), until killed
#include "common/smem_block.h"
#include "platform/clock.h"
#include "platform/datagram.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int64_t kFloodLimitNs = 60LL * 1000000000;

int signal_once(const std::string& socket)
{
    int fd = platform_datagram_connect(socket);
    unsigned char byte = 1;
    int rc = fd < 0 ? errno : platform_datagram_send(fd, &byte, 1);
    platform_datagram_close(fd);
    if (rc != 0 && rc != EAGAIN)
        std::fprintf(stderr, "channel_peer: signal: %s\n", std::strerror(rc));
    return rc == 0 || rc == EAGAIN ? 0 : 1;
}

int flood(const std::string& socket)
{
    int fd = platform_datagram_connect(socket);
    if (fd < 0) {
        std::perror("channel_peer: flood");
        return 1;
    }
    unsigned char byte = 1;
    long long sent = 0;
    int64_t end = platform_monotonic_ns() + kFloodLimitNs;
    while (platform_monotonic_ns() < end)
        sent += platform_datagram_send(fd, &byte, 1) == 0;
    std::printf("sent=%lld\n", sent);
    return 0;
}

uint32_t sequence_in(const std::string& block)
{
    unsigned char bytes[kSequencedCommandSize] = {};
    std::ifstream(block, std::ios::binary).read(reinterpret_cast<char*>(bytes), sizeof bytes);
    return get_le32(bytes + kSequenceOffset);
}

int answer(const std::string& socket, const std::string& block)
{
    int fd = platform_datagram_bind(socket, 0666);
    if (fd < 0) {
        std::perror("channel_peer: answer");
        return 1;
    }
    int64_t end = platform_monotonic_ns() + kFloodLimitNs;
    while (platform_monotonic_ns() < end) {
        if (platform_datagram_wait(fd, -1, 100) != kDatagramWaitReadable)
            continue;
        unsigned char byte = 0;
        DatagramPeer from{};
        while (platform_datagram_receive(fd, &byte, 1, &from) >= 0) {
            unsigned char ack[kAckSize];
            acknowledgement_encode(Acknowledgement{sequence_in(block), kAckApplied}, ack);
            platform_datagram_send_to(fd, from, ack, sizeof ack);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "signal")
        return signal_once(argv[2]);
    if (mode == "flood")
        return flood(argv[2]);
    if (mode == "answer" && argc > 3)
        return answer(argv[2], argv[3]);
    std::fprintf(stderr, "usage: channel_peer signal|flood SOCKET | answer SOCKET BLOCK\n");
    return 2;
}
