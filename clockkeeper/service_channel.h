// The service's own ends of the command channel: made in its folder before
// the service reports running, kept while it runs, released at its stop.
#pragma once

#include "common/smem_service.h"

// Make the channel's folder when it is missing, then the block and the
// socket afresh under their names, whatever stood there, and the worker's
// stop descriptor. False with errno set when the channel cannot be had.
bool service_channel_open();
// Whether the channel is open.
bool service_channel_is_open();
// Results of service_channel_wait: the kDatagramWait* values.
// Wait at most timeout_ms for a signal or the worker's stop; the stop wins.
int service_channel_wait(int timeout_ms);
// Take the waiting signals (at most kCommandSignalBound). As take_command_signals.
int service_channel_take_signals(CommandSignals* signals);
// Answer the senders of a wake.
void service_channel_answer(const CommandSignals& signals, const Acknowledgement& ack);
// Make the worker's wait return (its stop is announced so). Safe from any thread.
void service_channel_wake();
// Close the block, the socket and the stop descriptor. Safe to call when nothing is open.
void service_channel_close();
