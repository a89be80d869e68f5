// Cuts the receiver's byte stream into NMEA lines.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

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

    // Takes a block of bytes and calls on_line for every line it completes,
    // as push would, but a block at a time: the start is found with memchr,
    // the end a word at a time, and a line lying wholly inside the block is handed over as a
    // view into the block (valid during the call only; not NUL-terminated).
    // on_line takes (std::string_view line) or (std::string_view line,
    // size_t end), end being the offset in bytes just past the line's end.
    template <class OnLine>
    void feed(std::string_view bytes, OnLine&& on_line)
    {
        if (complete_)
            reset();
        const char* const begin = bytes.data();
        const char* p = begin;
        const char* const end = p + bytes.size();
        while (p < end) {
            if (!started_) {
                p = static_cast<const char*>(std::memchr(p, '$', size_t(end - p)));
                if (!p)
                    return;
                started_ = true;
            }
            const size_t room = max_line - length_;  // bytes the line may still take, its end included
            const size_t available = size_t(end - p);
            const char* stop = find_line_end(p, available < room ? available : room);
            if (stop) {
                std::string_view line = take_line(p, size_t(stop - p) + 1);
                p = stop + 1;
                if constexpr (std::is_invocable_v<OnLine&, std::string_view, size_t>)
                    on_line(line, size_t(p - begin));
                else
                    on_line(line);
                started_ = false;
                length_ = 0;
            } else if (available > room) {
                p += room + 1;  // no end within max_line bytes: the byte past them is dropped with the line
                reset();
            } else {
                keep(p, available);
                return;
            }
        }
    }

    void reset();

private:
    // The first carriage return or line feed among n bytes at p, or null:
    // eight bytes a word, a byte equal to either turns its top bit on (the
    // lowest flagged byte is always a true match).
    static const char* find_line_end(const char* p, size_t n)
    {
        static_assert(std::endian::native == std::endian::little, "the word scan reads bytes low first");
        constexpr uint64_t ones = 0x0101010101010101ULL, tops = 0x8080808080808080ULL;
        const char* const end = p + n;
        for (; end - p >= 8; p += 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            uint64_t cr = word ^ (ones * '\r'), lf = word ^ (ones * '\n');
            uint64_t found = (((cr - ones) & ~cr) | ((lf - ones) & ~lf)) & tops;
            if (found)
                return p + (std::countr_zero(found) >> 3);
        }
        for (; p < end; ++p)
            if (*p == '\r' || *p == '\n')
                return p;
        return nullptr;
    }

    // The line from the bytes kept so far and count more bytes at p.
    std::string_view take_line(const char* p, size_t count)
    {
        if (length_ == 0)
            return std::string_view(p, count);
        keep(p, count);
        return line();
    }

    void keep(const char* p, size_t count)
    {
        std::memcpy(buffer_ + length_, p, count);
        length_ += count;
        buffer_[length_] = '\0';
    }

    char buffer_[max_line + 1] = {};
    size_t length_ = 0;
    bool started_ = false;
    bool complete_ = false;
};
