// The flags between the user interface and the analysis thread.
#include "src/correction/analiz.h"

#include "src/gps/com_reader.h"

std::atomic<int> correct_time_request{0};
AnalizRequest check_1PPS_request{0};
std::atomic<int> state_1PPS{-1};
std::atomic<int> use_pps{0};
std::atomic<int> pps_use_cts{1};
std::atomic<double> correct_time_jd_prev{-1.0};

static_assert(std::atomic<double>::is_always_lock_free, "the GUI reads correct_time_jd_prev without a lock");

void AnalizRequest::store(int value)
{
    value_.store(value);
    if (value != 0)
        buf_com_wake_analiz();
}
