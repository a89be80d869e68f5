// Diagnostic lines of the receiver link on standard output.
#include "src/gps/link_log.h"

#include <cstdarg>
#include <cstdio>

void link_log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    flockfile(stdout);
    std::vfprintf(stdout, format, args);
    std::fflush(stdout);
    funlockfile(stdout);
    va_end(args);
}
