// A UART receiving at the wrong speed. Kept apart from the pty code: the
// kernel's termios2 header cannot share a file with glibc's <termios.h>.
#include "uart_line.h"

#include <asm/termbits.h>
#include <cmath>
#include <sys/ioctl.h>

namespace {

constexpr int kFrameBits = 10;  // start, 8 data, stop

// Level of the sent line at time t, in sent bit times from the first start
// bit: idle (1) before and after, frames back to back.
int level_at(const std::string& sent, double t)
{
    if (t < 0)
        return 1;
    size_t bit = static_cast<size_t>(t);
    size_t byte = bit / kFrameBits;
    if (byte >= sent.size())
        return 1;
    size_t in_frame = bit % kFrameBits;
    if (in_frame == 0)
        return 0;
    if (in_frame == kFrameBits - 1)
        return 1;
    return (static_cast<unsigned char>(sent[byte]) >> (in_frame - 1)) & 1;
}

// The first 1-to-0 change at a whole sent bit time at or after from, or -1.
double next_falling_edge(const std::string& sent, double from)
{
    double end = double(sent.size()) * kFrameBits;
    for (double at = std::ceil(from); at < end; ++at)
        if (level_at(sent, at - 0.5) == 1 && level_at(sent, at + 0.5) == 0)
            return at;
    return -1;
}

}  // namespace

int line_speed(int master_fd)
{
    // On a pty master the termios ioctls act on the slave's settings.
    struct termios2 tio {};
    if (ioctl(master_fd, TCGETS2, &tio) != 0)
        return 0;
    return static_cast<int>(tio.c_ispeed);
}

bool speeds_mismatch(int tx_baud, int rx_baud)
{
    return rx_baud > 0 && std::abs(rx_baud - tx_baud) * 100 > tx_baud * 3;
}

std::string uart_reception(const std::string& sent, int tx_baud, int rx_baud)
{
    const double bit = double(tx_baud) / rx_baud;  // a received bit in sent bit times
    const double detect = bit / 32;                // edge seen half a 16x sample late
    std::string received;
    double from = 0;
    for (double edge; (edge = next_falling_edge(sent, from)) >= 0;) {
        double start = edge + detect;
        if (level_at(sent, start + bit / 2) != 0) {  // a glitch, no start bit
            from = edge + 1;
            continue;
        }
        unsigned value = 0;
        for (int k = 0; k < 8; ++k)
            value |= unsigned(level_at(sent, start + (1.5 + k) * bit)) << k;
        double stop = start + 9.5 * bit;
        received += level_at(sent, stop) ? char(value) : '\0';
        from = stop;
    }
    return received;
}
