// SATCLOCK_TEST_CLOCK_START: sandbox clocks that start at a chosen moment.
#include "tests/support/clock_start.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>

std::optional<int64_t> parse_utc_time(const std::string& text)
{
    tm fields{};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &fields.tm_year, &fields.tm_mon, &fields.tm_mday,
                    &fields.tm_hour, &fields.tm_min, &fields.tm_sec, &consumed) != 6 || consumed != 19)
        return std::nullopt;
    int64_t fraction_ns = 0;
    size_t at = size_t(consumed);
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
        int64_t scale = 100000000;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
            fraction_ns += (text[at] - '0') * scale;
    }
    if (text.substr(at) != "Z")
        return std::nullopt;
    tm wanted = fields;
    fields.tm_year -= 1900;
    fields.tm_mon -= 1;
    time_t seconds = timegm(&fields);
    // timegm carries 30 February into March: such a date does not exist.
    if (fields.tm_year + 1900 != wanted.tm_year || fields.tm_mon + 1 != wanted.tm_mon ||
        fields.tm_mday != wanted.tm_mday || fields.tm_hour != wanted.tm_hour || fields.tm_min != wanted.tm_min ||
        fields.tm_sec != wanted.tm_sec || seconds < 0)
        return std::nullopt;
    return int64_t(seconds) * 1000000000LL + fraction_ns;
}

int64_t start_sandbox_clock(const std::string& clock_file)
{
    const char* start = std::getenv("SATCLOCK_TEST_CLOCK_START");
    if (!start || !*start)
        return 0;
    std::optional<int64_t> start_ns = parse_utc_time(start);
    if (!start_ns)
        throw std::runtime_error(std::string("SATCLOCK_TEST_CLOCK_START is no UTC time: ") + start);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    int64_t offset = *start_ns - (int64_t(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::ofstream file(clock_file, std::ios::trunc);
    file << offset << "\n";
    if (!file.flush())
        throw std::runtime_error("cannot write the sandbox clock " + clock_file);
    return offset;
}
