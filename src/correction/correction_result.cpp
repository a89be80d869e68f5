// The latest correction's result.
#include "src/correction/correction_result.h"

#include "platform/clock.h"
#include "src/gps/receiver_view.h"

#include <mutex>

namespace {

std::mutex result_lock;
CorrectionResult latest;  // under result_lock

}  // namespace

void correction_result_made(int64_t shift_ns, CorrectionMethod method)
{
    {
        std::lock_guard guard(result_lock);
        ++latest.sequence;
        ++latest.notice_sequence;
        latest.made = true;
        latest.shift_ns = shift_ns;
        latest.at_ns = platform_clock_read_ns();
        latest.method = method;
        latest.hold = CorrectionHold::none;
    }
    receiver_view_changed();
}

void correction_result_refused(PostOutcome why)
{
    {
        std::lock_guard guard(result_lock);
        bool news = latest.sequence == 0 || latest.made || latest.hold != CorrectionHold::none || latest.refusal != why;
        ++latest.sequence;
        if (news)
            ++latest.notice_sequence;
        latest.made = false;
        latest.shift_ns = 0;
        latest.at_ns = platform_clock_read_ns();
        latest.refusal = why;
        latest.hold = CorrectionHold::none;
    }
    receiver_view_changed();
}

void correction_result_held(CorrectionHold why, int64_t shift_ns, int64_t reported_day)
{
    {
        std::lock_guard guard(result_lock);
        bool news = latest.sequence == 0 || latest.made || latest.hold != why;
        ++latest.sequence;
        if (news)
            ++latest.notice_sequence;
        latest.made = false;
        latest.shift_ns = shift_ns;
        latest.at_ns = platform_clock_read_ns();
        latest.hold = why;
        latest.reported_day = reported_day;
    }
    receiver_view_changed();
}

CorrectionResult correction_result_now()
{
    std::lock_guard guard(result_lock);
    return latest;
}
