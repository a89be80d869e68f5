// The service's diagnostic sink: one write per line on standard error.
#include "clockkeeper/service.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <glib.h>
#include <string>
#include <unistd.h>

namespace {

std::atomic<bool> log_quiet{false};

// One write per line keeps lines from different threads whole.
void write_line(const char* text)
{
    std::string line(text);
    if (line.empty() || line.back() != '\n')
        line += '\n';
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = write(STDERR_FILENO, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= size_t(n);
    }
}

}  // namespace

void service_log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    gchar* text = g_strdup_vprintf(format, args);
    va_end(args);
    if (!log_quiet.load(std::memory_order_relaxed))
        write_line(text);
    g_free(text);
}

void service_log_set_quiet(bool quiet) { log_quiet.store(quiet, std::memory_order_relaxed); }
