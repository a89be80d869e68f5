// Notice of ports coming and going: the port folder through inotify (links
// made and removed) and, on machines where udev runs, its monitor of tty
// devices. Both are descriptors to poll; the owner drains them after a wake.
#pragma once

#include <string>
#include <vector>

class PortWatch {
public:
    PortWatch();
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    // The descriptors to poll for reading (none when nothing can be watched).
    std::vector<int> fds() const;
    // Reads what woke the poll; true when a port may have come or gone.
    bool drain();
    // Waits up to timeout_ms for a change, or for extra_fd (-1: none) to
    // become readable. True on a change of the ports.
    bool wait(int timeout_ms, int extra_fd = -1);

private:
    int folder_fd_ = -1;  // the port folder's watch
    struct udev* udev_ = nullptr;
    struct udev_monitor* monitor_ = nullptr;
};

// What a port number's device is, for the port list: "/dev/ttyUSB0,
// u-blox 7 - GPS/GNSS Receiver" where udev or /dev/serial/by-id know the
// receiver, else the device alone; "" when the number names no device.
std::string com_port_description(int port);
