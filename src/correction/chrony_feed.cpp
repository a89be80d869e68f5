// The samples for chrony and the refclock lines that take them.
#include "src/correction/chrony_feed.h"

#include "common/chrony_socket.h"
#include "common/smem.h"
#include "platform/clock.h"
#include "platform/pps_devices.h"
#include "src/correction/analiz.h"
#include "src/correction/nmea_delay.h"
#include "src/gps/receiver_view.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

std::atomic<int> chrony_feed{0};

namespace {

// The service answers at once; a hung one must not hold the analysis thread
// long, and the next second brings a fresh sample anyway.
constexpr int kSampleAckWaitMs = 200;
constexpr int64_t kAskOldServiceAgainNs = 60000000000LL;
constexpr int kSentencePrecisionMs = 150;  // the receiver's output delay, unknown without 1PPS

constexpr int64_t kDeliveryStaleNs = 3 * kNsPerSecond;  // no sample for this long: no longer delivering
constexpr int64_t kKernelPpsLookNs = 5 * kNsPerSecond;  // how long a look at /dev for 1PPS devices holds

std::atomic<ChronyFeedState> feed_state{ChronyFeedState::off};
std::atomic<int64_t> delivered_ns{0};  // monotonic, the last sample chrony's socket took
int64_t old_service_since_ns = 0;  // analysis thread only: when a service said "unknown"

// The status line and the tray show the state: they hear of each change.
void set_state(ChronyFeedState state)
{
    if (feed_state.exchange(state) != state)
        receiver_view_changed();
}

ChronyFeedState state_of(PostOutcome outcome)
{
    switch (outcome) {
    case PostOutcome::applied: return ChronyFeedState::delivering;
    case PostOutcome::not_delivered: return ChronyFeedState::not_delivered;
    case PostOutcome::unknown_command: return ChronyFeedState::old_service;
    case PostOutcome::not_permitted: return ChronyFeedState::not_permitted;
    default: return ChronyFeedState::no_service;
    }
}

void log_change(ChronyFeedState before, ChronyFeedState now, PostOutcome outcome)
{
    if (before != now && now != ChronyFeedState::delivering) {
        std::printf("[chrony_feed] sample: %s\n", post_outcome_text(outcome));
        std::fflush(stdout);
    }
}

ChronyFeedState post_sample(int32_t command, int64_t pc_ns, int64_t gps_ns)
{
    PostOutcome outcome = post_time_command_acknowledged(command, file_time_from_unix_ns(pc_ns),
                                                         file_time_from_unix_ns(gps_ns), kSampleAckWaitMs);
    ChronyFeedState now = state_of(outcome);
    log_change(feed_state.load(), now, outcome);
    return now;
}

bool asking_old_service_later()
{
    return feed_state.load() == ChronyFeedState::old_service &&
           platform_monotonic_ns() - old_service_since_ns < kAskOldServiceAgainNs;
}

std::string seconds_text(int ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
    return text;
}

}  // namespace

// The window asks 20 times a second; /dev is looked at every few seconds.
std::string chrony_kernel_pps_device()
{
    static std::mutex lock;
    static std::string first;
    static int64_t looked_ns = 0;
    std::lock_guard guard(lock);
    int64_t now = platform_monotonic_ns();
    if (looked_ns == 0 || now - looked_ns > kKernelPpsLookNs) {
        std::vector<std::string> devices = kernel_pps_devices();
        first = devices.empty() ? "" : devices.front();
        looked_ns = now;
    }
    return first;
}

// Without a fix no sample goes out: chrony then takes nothing, whatever came before.
ChronyFeedState chrony_feed_state()
{
    ChronyFeedState state = feed_state.load();
    bool stale = platform_monotonic_ns() - delivered_ns.load() > kDeliveryStaleNs;
    return state == ChronyFeedState::delivering && stale ? ChronyFeedState::waiting : state;
}

void chrony_feed_send(const ClockSamples& samples)
{
    if (!chrony_feed.load()) {
        set_state(ChronyFeedState::off);
        return;
    }
    ChronyFeedState before = feed_state.load();
    if (before == ChronyFeedState::off || (!samples.valid && before == ChronyFeedState::delivering))
        set_state(ChronyFeedState::waiting);
    if (!samples.valid || asking_old_service_later())
        return;
    ChronyFeedState now = post_sample(kCommandChronySample, samples.burst_pc_ns, samples.burst_gps_ns);
    if (samples.pulse && now == ChronyFeedState::delivering)
        now = post_sample(kCommandChronyPulse, samples.edge_pc_ns, samples.edge_gps_ns);
    if (now == ChronyFeedState::old_service && feed_state.load() != ChronyFeedState::old_service)
        old_service_since_ns = platform_monotonic_ns();
    if (now == ChronyFeedState::delivering)
        delivered_ns.store(platform_monotonic_ns());
    set_state(now);
}

bool chrony_feed_takes_time() { return chrony_feed.load() && feed_state.load() != ChronyFeedState::old_service; }

ChronyLineFacts chrony_line_facts_now()
{
    ChronyLineFacts facts;
    facts.sample_socket = chrony_sample_socket_path();
    facts.pulse_socket = chrony_pulse_socket_path();
    facts.spread_ms = nmea_delay_spread_ms.load();
    facts.delay_ms = nmea_delay_ms.load();
    facts.delay_learned = facts.spread_ms >= 0 && facts.delay_ms > 0;
    facts.pps = use_pps.load() != 0;
    facts.kernel_pps = chrony_kernel_pps_device();
    return facts;
}

std::string chrony_refclock_lines(const ChronyLineFacts& facts)
{
    std::string lines;
    int precision_ms = kSentencePrecisionMs;
    if (facts.delay_learned) {
        precision_ms = std::max(2, facts.spread_ms + 1);
        lines = "# the receiver's output delay, " + std::to_string(facts.delay_ms) + " ms +-" +
                std::to_string(facts.spread_ms) + " ms (learned from 1PPS), is in every sample: offset 0\n";
    } else {
        lines = "# the receiver's output delay is not known (learn it from 1PPS): samples may be late by it\n";
    }
    lines += "refclock SOCK " + facts.sample_socket + " refid GPS poll 2 precision " + seconds_text(precision_ms) +
             " offset 0.0\n";
    if (!facts.kernel_pps.empty())
        lines += "# the kernel's 1PPS time stamps on " + facts.kernel_pps +
                 ", read by chrony itself (a udev rule gives chrony the device)\nrefclock PPS " + facts.kernel_pps +
                 " lock GPS\n";
    else if (facts.pps)
        lines += "refclock SOCK " + facts.pulse_socket + " refid PPS poll 2 lock GPS precision 0.000001 prefer\n";
    return lines;
}
