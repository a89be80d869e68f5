// Diagnostic lines of the receiver link: printf-style on standard output,
// flushed at once so that a redirected output keeps the order across threads.
#pragma once

void link_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
