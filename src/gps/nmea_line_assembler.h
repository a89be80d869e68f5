// Cuts the receiver's byte stream into NMEA lines, one byte at a time.
#pragma once

#include <cstddef>
#include <string_view>

// A line runs from "$" to its carriage return (or a bare line feed), both
// included. Bytes before the "$" are dropped, so the line feed after a
// carriage return is too; a "$" inside a started line is kept as a byte.
// A line that grows past max_line bytes without an end is discarded and the
// next "$" starts afresh.
class NmeaLineAssembler {
public:
    static constexpr size_t max_line = 511;

    // Takes one byte. True when it completed a line; line() then holds it
    // until the next push.
    bool push(char byte);

    // The completed line, NUL-terminated just past its end for C callers.
    std::string_view line() const { return std::string_view(buffer_, length_); }
    const char* c_str() const { return buffer_; }

    // Takes a block of bytes and calls on_line(std::string_view) for every
    // line it completes.
    template <class OnLine>
    void feed(std::string_view bytes, OnLine&& on_line)
    {
        for (char byte : bytes)
            if (push(byte))
                on_line(line());
    }

    void reset();

private:
    char buffer_[max_line + 1] = {};
    size_t length_ = 0;
    bool started_ = false;
    bool complete_ = false;
};
