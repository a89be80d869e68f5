#include "tests/support/post_command.h"

#include "common/smem_sender.h"

int post_time_command(int32_t command, int64_t cur_ft, int64_t new_ft)
{
    CommandEvent* event = open_command_event();
    int sent = event && smem_write_command(event, TakenCommand{command, cur_ft, new_ft, new_command_sequence()}) == 0;
    close_command_event(event);
    return sent;
}
