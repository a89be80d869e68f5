// What this copy of satclock sees now, for `satclock --status`: a one-line
// JSON object, then the same for a person, served on this process's status
// socket (platform/status_socket.h) from the main loop.
#pragma once

#include "src/receiver/receiver_status.h"

#include <string>

// "desktop" or "headless": how this copy runs.
void status_report_set_mode(const char* mode);

// The status line's text of one cause as this copy words it: without a
// window, a step over the cap has nobody to ask.
std::string status_issue_text(const ReceiverIssue& issue);

// The JSON object of the facts now (one line, no line end).
std::string status_report_json();
// The facts now in lines a person reads.
std::string status_report_text();

// Answers every status request on the GLib main loop of this thread.
// False when the socket could not be made (the program runs on without it).
bool status_report_serve();
