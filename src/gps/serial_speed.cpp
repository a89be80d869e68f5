// Arbitrary line speeds through TCGETS2/TCSETS2. Kept apart from serial.cpp:
// the kernel's termios2 header cannot share a file with glibc's <termios.h>.
#include "src/gps/serial_speed.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int serial_set_any_speed(int fd, int baud)
{
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return errno;
    return 0;
}
