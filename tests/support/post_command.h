// Posting a command the way an old sender did, waiting for nothing: the tests
// use it to fill the service's queue and to send commands nobody waits on.
#pragma once

#include <cstdint>

// Open the command event, send one command, close. 1 when the datagram went
// out, 0 otherwise. Nothing says whether the service took or applied it.
int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft);
