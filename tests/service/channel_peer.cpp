// channel_peer: what another local account can do with the command channel,
// run by the tests under that account (the channel's folder and prefix come
// from the environment, as for satclock).
//
//   channel_peer post set|shift|sample AMOUNT COUNT
//                       COUNT commands waited for as satclock waits: a set
//                       AMOUNT ms ahead of the clock, a shift by AMOUNT ms, or a
//                       chrony sample AMOUNT ms ahead; one outcome per line
//   channel_peer flood  a one-byte datagram and one of 4096 bytes (no commands), then
//                       sets one hour ahead without pause, until killed (at most 60 s)
//   channel_peer answer SOCKET
//                       binds SOCKET and answers every command with "applied"
//                       (a forged acknowledgement), until killed
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/datagram.h"
#include "platform/time_units.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int64_t kFloodLimitNs = 60 * kNsPerSecond;
constexpr int64_t kHourTicks = 3600 * kFileTimeTicksPerSecond;

int64_t now_ft() { return truncate_to_ms(platform_clock_read_ft()); }

int post(const std::string& kind, long long amount, int count)
{
    int applied = 0;
    for (int i = 0; i < count; ++i) {
        int64_t now = now_ft();
        int32_t command = kind == "shift" ? kCommandShiftTime : kind == "sample" ? kCommandChronySample : kCommandSetTime;
        int64_t target = command == kCommandShiftTime ? amount : now + amount * kFileTimeTicksPerMs;
        PostOutcome outcome = post_time_command_acknowledged(command, now, target, 5000);
        std::printf("%s\n", post_outcome_text(outcome));
        applied += outcome == PostOutcome::applied;
    }
    std::printf("presence=%d\n", smem_peer_present());
    return applied == count ? 0 : 1;
}

int flood()
{
    CommandEvent* event = open_command_event();
    if (!event) {
        std::perror("channel_peer: flood");
        return 1;
    }
    static unsigned char junk[4096] = {1};
    platform_datagram_send(event->fd, junk, 1);
    platform_datagram_send(event->fd, junk, sizeof junk);
    long long sent = 0;
    int64_t end = platform_monotonic_ns() + kFloodLimitNs;
    while (platform_monotonic_ns() < end) {
        int64_t now = now_ft();
        sent += smem_write_command(event, TakenCommand{kCommandSetTime, now, now + kHourTicks, 1}) == 0;
        // Answers are not read: they pile up and are dropped.
    }
    close_command_event(event);
    std::printf("sent=%lld\n", sent);
    return 0;
}

int answer(const std::string& socket)
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
        unsigned char bytes[kSequencedCommandSize] = {};
        DatagramPeer from{};
        ssize_t n = 0;
        while ((n = platform_datagram_receive(fd, bytes, sizeof bytes, &from)) >= 0) {
            TakenCommand command{};
            if (!command_datagram_decode(bytes, size_t(n), &command))
                continue;
            unsigned char ack[kAckSize];
            acknowledgement_encode(Acknowledgement{command.sequence, kAckApplied}, ack);
            platform_datagram_send_to(fd, from, ack, sizeof ack);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "post" && argc > 4)
        return post(argv[2], std::atoll(argv[3]), std::atoi(argv[4]));
    if (mode == "flood")
        return flood();
    if (mode == "answer" && argc > 2)
        return answer(argv[2]);
    std::fprintf(stderr, "usage: channel_peer post set|shift|sample AMOUNT COUNT | flood | answer SOCKET\n");
    return 2;
}
