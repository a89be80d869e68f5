// The refused-receiver hint: one run of refusals, kept under a small lock; an
// accepted sentence costs one atomic load while no run is open.
#include "src/gps/gnss_hint.h"

#include "platform/clock.h"

#include <atomic>
#include <mutex>

namespace {

std::mutex hint_lock;
std::atomic<bool> run_open{false};  // refusals are being counted
int64_t run_start_ns = 0;           // first refusal of the run
int64_t last_refusal_ns = 0;
GnssHint last{};                    // why and talker of the last refusal

}  // namespace

void gnss_hint_refused(GnssRefusal why, std::string_view line, int64_t now_ns)
{
    if (why == GnssRefusal::none)
        return;
    std::lock_guard<std::mutex> hold(hint_lock);
    if (!run_open.load(std::memory_order_relaxed) || now_ns - last_refusal_ns > kGnssHintGapNs)
        run_start_ns = now_ns;
    last_refusal_ns = now_ns;
    last.why = why;
    last.talker[0] = line.size() > 2 ? line[1] : '?';
    last.talker[1] = line.size() > 2 ? line[2] : '?';
    last.talker[2] = '\0';
    run_open.store(true, std::memory_order_relaxed);
}

void gnss_hint_accepted()
{
    if (!run_open.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> hold(hint_lock);
    run_open.store(false, std::memory_order_relaxed);
}

void gnss_hint_clear() { gnss_hint_accepted(); }

GnssHint gnss_hint_at(int64_t now_ns)
{
    std::lock_guard<std::mutex> hold(hint_lock);
    bool shown = run_open.load(std::memory_order_relaxed) && last_refusal_ns - run_start_ns >= kGnssHintAfterNs &&
                 now_ns - last_refusal_ns <= kGnssHintGapNs;
    return shown ? last : GnssHint{};
}

GnssHint gnss_hint_now() { return gnss_hint_at(platform_monotonic_ns()); }
