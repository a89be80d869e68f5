// `satclock --status [--json]`: what the running copies of satclock on this
// machine (desktop or headless, any account) see now, for a person or a
// monitoring script.
#pragma once

// Exit status: 0 a copy reads a receiver with a fix, 1 copies run but none
// has one, 2 no copy runs.
int status_command_main(bool json);
