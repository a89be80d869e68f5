// Real-time scheduling for the threads that stamp and act on the receiver's
// sentences, as time daemons run theirs. Only when the process may (root or
// CAP_SYS_NICE); otherwise nothing changes and the thread runs on at normal
// priority.
#pragma once

// SCHED_FIFO for the calling thread at a middle priority, below the one a
// clock set takes (platform_realtime_priority_enter), on the one CPU that every
// thread made real-time here shares (the highest the process may use), so a
// hand-over between them is a wake on the same processor. True when it took effect.
bool platform_thread_realtime();
