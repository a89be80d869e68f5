// chrony's SOCK samples from the channel's commands 3 and 4.
#include "clockkeeper/chrony_refclock.h"

#include "clockkeeper/clock_commands.h"
#include "clockkeeper/service.h"
#include "common/chrony_socket.h"
#include "common/smem_block.h"
#include "platform/clock.h"
#include "platform/datagram.h"

#include <cstring>
#include <mutex>

namespace {

constexpr int64_t kLogEveryNs = 60 * kNsPerSecond;

// Failures to deliver come once a second while chronyd is stopped or lacks the
// refclock line: the first is logged, then one line a minute with their count.
class DeliveryLog {
public:
    void failed(const std::string& path, int error)
    {
        std::lock_guard guard(lock_);
        ++count_;
        int64_t now = platform_monotonic_ns();
        if (logged_ns_ != 0 && now - logged_ns_ < kLogEveryNs)
            return;
        service_log("[main_clockkeeper_thread] chrony sample not delivered to %s: %s (%lld since the last line)",
                    path.c_str(), std::strerror(error), count_);
        logged_ns_ = now;
        count_ = 0;
    }
    void delivered()
    {
        std::lock_guard guard(lock_);
        if (logged_ns_ != 0)
            service_log("[main_clockkeeper_thread] chrony takes the samples again");
        logged_ns_ = 0;
        count_ = 0;
    }

private:
    std::mutex lock_;
    int64_t logged_ns_ = 0;  // monotonic, 0: the last sample went through
    long long count_ = 0;
};

DeliveryLog delivery_log;

}  // namespace

bool chrony_sample_from(int32_t command, int64_t pc_ft, int64_t gps_ft, ChronySockSample* sample)
{
    // A PC clock years off (a flat CMOS battery) still makes a sample:
    // chrony judges how far it will step.
    if (!settable(pc_ft) || !settable(gps_ft))
        return false;
    int64_t ahead_ticks = gps_ft - pc_ft;
    int64_t machine_ns = platform_clock_machine_ns(unix_ns_from_file_time(pc_ft));
    if (machine_ns < 0)
        return false;
    std::memset(sample, 0, sizeof *sample);
    sample->tv.tv_sec = time_t(machine_ns / kNsPerSecond);
    sample->tv.tv_usec = suseconds_t(machine_ns % kNsPerSecond / 1000);
    double ahead_s = double(ahead_ticks * kNsPerFileTimeTick) / kNsPerSecond;
    // A pulse says where the clock stood when the second began: past it by
    // the opposite of what GPS is ahead.
    sample->pulse = command == kCommandChronyPulse ? 1 : 0;
    sample->offset = sample->pulse ? -ahead_s : ahead_s;
    sample->magic = kChronySockMagic;
    return true;
}

int32_t deliver_chrony_sample(int32_t command, int64_t pc_ft, int64_t gps_ft)
{
    ChronySockSample sample{};
    if (!chrony_sample_from(command, pc_ft, gps_ft, &sample))
        return kAckRefused;
    std::string path = command == kCommandChronyPulse ? chrony_pulse_socket_path() : chrony_sample_socket_path();
    int error = platform_datagram_send_path(path, &sample, sizeof sample);
    if (error != 0) {
        delivery_log.failed(path, error);
        return kAckNotDelivered;
    }
    delivery_log.delivered();
    return kAckApplied;
}
