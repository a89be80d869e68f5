// The service's own ends of the command channel: made in its folder before
// the service reports running, kept while it runs, released at its stop.
#pragma once

#include "common/smem_service.h"

#include <sys/types.h>

// Make the channel's folder when it is missing, then the socket afresh under
// its name, whatever stood there (0660 and the channel's group when the group
// exists), and the worker's stop descriptor. False with errno set when the
// channel cannot be had.
bool service_channel_open();
// Whether the channel is open.
bool service_channel_is_open();
// The channel's group, as found when the channel was opened: false when the
// group database has none of that name (then only root and the service's
// own account may post).
bool service_channel_group(gid_t* group);
// Results of service_channel_wait: the kDatagramWait* values.
// Wait at most timeout_ms for a datagram or the worker's stop; the stop wins.
int service_channel_wait(int timeout_ms);
// Take the waiting datagrams (at most kCommandDatagramBound). As take_commands.
int service_channel_take(std::vector<ReceivedCommand>* batch);
// Answer a command's sender. As answer_command.
int service_channel_answer(const DatagramPeer& to, const Acknowledgement& ack);
// As answers_pile_up on the channel's socket.
bool service_channel_answers_pile_up();
// Make the worker's wait return (its stop is announced so). Safe from any thread.
void service_channel_wake();
// Close the socket and the stop descriptor. Safe to call when nothing is open.
void service_channel_close();
