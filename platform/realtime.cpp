// SCHED_FIFO threads, all on one CPU.
#include "platform/realtime.h"

#include <pthread.h>
#include <sched.h>

namespace {

// Above every ordinary thread, below the clock set and the kernel's own
// real-time threads.
constexpr int kThreadPriority = 10;

// The highest CPU the process may use, or -1 when it may use only one. A
// woken real-time thread runs on the CPU it last ran on when it can: an idle
// one must first be woken itself (an interrupt between processors, a costly
// exit on a virtual machine), which on one CPU the hand-over from the reader
// to the analysis thread never waits for.
int shared_cpu()
{
    static const int cpu = [] {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2)
            return -1;
        for (int last = CPU_SETSIZE - 1; last >= 0; --last)
            if (CPU_ISSET(last, &allowed))
                return last;
        return -1;
    }();
    return cpu;
}

}  // namespace

bool platform_thread_realtime()
{
    sched_param param{};
    param.sched_priority = kThreadPriority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0)
        return false;
    if (int cpu = shared_cpu(); cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    }
    return true;
}
