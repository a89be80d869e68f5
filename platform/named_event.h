// A named auto-reset event between processes, built on a POSIX named semaphore.
//
// Signalling posts only while the count is 0, and a waiter drains the count
// after each wake, so any number of signals given before a wait wake it once.
// Any local account may write the semaphore's count directly; the drain is
// therefore bounded, and a count that stays up after it shows as pending.
#pragma once

#include <semaphore.h>
#include <string>
#include <sys/types.h>

struct NamedEvent {
    sem_t* sem;
    // The semaphore's file as it was when opened (0 when not looked at).
    dev_t device;
    ino_t inode;
    // The semaphore's file, looked at before each signal.
    std::string path;
};

// At most this many further counts are taken after a wake.
inline constexpr int kNamedEventDrainBound = 64;

// Open the event `name` ("/..."), creating it (not signalled, mode 0666
// whatever the umask) when it does not exist yet. nullptr with errno set on
// failure, also (EINVAL) when its file is shorter than a semaphore: any
// account may shrink it, and the C library would fault on it.
NamedEvent* platform_named_event_open(const std::string& name);
// The same for the event's keeper: a name that exists but is not a full-sized
// regular file of this process's effective user is removed and created afresh.
NamedEvent* platform_named_event_open_owned(const std::string& name);
// Whether `name` still names the keeper's semaphore, of full size and owned
// by this process's effective user.
bool platform_named_event_is_current(const NamedEvent* event, const std::string& name);
void platform_named_event_close(NamedEvent* event);

// Returns 0, or an errno value (EINVAL when the file has been shrunk).
int platform_named_event_signal(NamedEvent* event);

// Wait at most timeout_ms (-1: for ever). 1 signalled, 0 timed out, -1 failed (errno set).
// After a wake at most kNamedEventDrainBound further counts are taken.
int platform_named_event_wait(NamedEvent* event, int timeout_ms);
// Whether the count is still above 0 (a flood of signals, or a count written
// from outside). False also when it cannot be read.
bool platform_named_event_pending(NamedEvent* event);

// Remove the name. 0 or an errno value.
int platform_named_event_unlink(const std::string& name);
