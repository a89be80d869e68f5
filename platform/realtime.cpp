// SCHED_FIFO threads.
#include "platform/realtime.h"

#include <pthread.h>
#include <sched.h>

namespace {

// Above every ordinary thread, below the clock set and the kernel's own
// real-time threads.
constexpr int kThreadPriority = 10;

}  // namespace

bool platform_thread_realtime()
{
    sched_param param{};
    param.sched_priority = kThreadPriority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}
