// The service's own ends of the command channel: opened and checked before the
// service reports running, kept its own while it runs, released at its stop.
#pragma once

#include "platform/named_event.h"

// Open the event and the block as the service's own (names another account
// holds are replaced), empty the slot of any command left from before and
// mark the block as held by a service that acknowledges. False with errno set
// when the channel cannot be had.
bool service_channel_open();
// The command event while the channel is open, else nullptr.
NamedEvent* service_channel_event();
// Put back what another account took away while the service runs: names
// removed or replaced, the presence lock. Quick when nothing changed.
void service_channel_check();
// Signal the service's own event (the worker's stop is announced so).
void service_channel_wake();
// Whether the presence lock is held (another account may keep it from us).
bool service_channel_holds();
// Clear the mark, close both. Safe to call when nothing is open.
void service_channel_close();
