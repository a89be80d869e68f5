// A named auto-reset event between processes, built on a POSIX named semaphore.
//
// Signalling posts only while the count is 0, and a waiter drains the count
// after each wake, so any number of signals given before a wait wake it once.
#pragma once

#include <semaphore.h>
#include <string>

struct NamedEvent {
    sem_t* sem;
};

// Open the event `name` ("/..."), creating it (not signalled, mode 0666
// whatever the umask) when it does not exist yet. nullptr with errno set on failure.
NamedEvent* platform_named_event_open(const std::string& name);
void platform_named_event_close(NamedEvent* event);

// Returns 0, or an errno value.
int platform_named_event_signal(NamedEvent* event);

// Wait at most timeout_ms (-1: for ever). 1 signalled, 0 timed out, -1 failed (errno set).
int platform_named_event_wait(NamedEvent* event, int timeout_ms);

// Remove the name. 0 or an errno value.
int platform_named_event_unlink(const std::string& name);
