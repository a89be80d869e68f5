// termios for the receiver's line.
#include "src/gps/serial_line.h"

#include "src/gps/link_log.h"
#include "src/gps/serial.h"
#include "src/gps/serial_speed.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t standard_speed(int baud)
{
    static const struct {
        int baud;
        speed_t code;
    } table[] = {{50, B50},         {75, B75},           {110, B110},         {134, B134},
                 {150, B150},       {200, B200},         {300, B300},         {600, B600},
                 {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
                 {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
                 {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
                 {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
                 {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
                 {3500000, B3500000}, {4000000, B4000000}};
    for (const auto& entry : table)
        if (entry.baud == baud)
            return entry.code;
    return B0;
}

bool frame_bits(int data_bits, int stop_bits, int parity, tcflag_t& cflag)
{
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (data_bits < 5 || data_bits > 8 || stop_bits < 0 || stop_bits > 2 || parity < 0 || parity > 4)
        return false;
    cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    cflag |= sizes[data_bits - 5] | CLOCAL | CREAD;
    if (stop_bits != kComOneStopBit)
        cflag |= CSTOPB;  // 1.5 stop bits: the UART sends 1.5 with CSTOPB at 5 data bits
    if (parity != kComNoParity)
        cflag |= PARENB;
    if (parity == kComOddParity || parity == kComMarkParity)
        cflag |= PARODD;
    if (parity == kComMarkParity || parity == kComSpaceParity)
        cflag |= CMSPAR;
    return true;
}

int fail_closing(int fd, int error)
{
    close(fd);
    errno = error;
    return -1;
}

}  // namespace

int serial_line_open_exclusive(const std::string& device)
{
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail_closing(fd, errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail_closing(fd, errno);
    return fd;
}

// VMIN 1 with O_NONBLOCK makes an empty read EAGAIN and a hung-up line read
// 0 or EIO, so the two can be told apart.
int serial_line_configure(int fd, int baud, int data_bits, int stop_bits, int parity)
{
    termios tio {};
    if (baud <= 0 || tcgetattr(fd, &tio) != 0)
        return baud <= 0 ? EINVAL : errno;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (!frame_bits(data_bits, stop_bits, parity, tio.c_cflag))
        return EINVAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    speed_t code = standard_speed(baud);
    if (code != B0) {
        cfsetispeed(&tio, code);
        cfsetospeed(&tio, code);
    }
    tcflush(fd, TCIOFLUSH);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    if (code == B0)
        return serial_set_any_speed(fd, baud);
    return 0;
}

// A pty has no modem lines (ENOTTY), which is fine.
void serial_line_raise_dtr_rts(int fd, int port)
{
    int bits = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL)
        link_log("[com] COM%d: cannot raise DTR/RTS: %s\n", port, strerror(errno));
}
