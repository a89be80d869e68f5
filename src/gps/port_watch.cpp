// A watch on the port folder, the udev monitor, and the names of ports.
#include "src/gps/port_watch.h"

#include "src/gps/serial.h"

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/readiness.h"

#include <libudev.h>

namespace {

constexpr char kById[] = "/dev/serial/by-id";

// The by-id link name that leads to the device ("usb-u-blox_AG_..-if00").
std::string by_id_name(const std::string& device)
{
    for (const std::string& name : folder_entries(kById))
        if (name[0] != '.' && resolved_path(std::string(kById) + "/" + name) == device)
            return name;
    return "";
}

// The USB device's maker and product as sysfs has them; udev's database
// is not needed for these.
std::string udev_product(const std::string& device)
{
    std::string base = device.substr(device.rfind('/') + 1);
    struct udev* context = udev_new();
    if (!context)
        return "";
    std::string text;
    if (udev_device* tty = udev_device_new_from_subsystem_sysname(context, "tty", base.c_str())) {
        const char* model = udev_device_get_property_value(tty, "ID_MODEL_FROM_DATABASE");
        udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
        const char* maker = usb ? udev_device_get_sysattr_value(usb, "manufacturer") : nullptr;
        const char* product = usb ? udev_device_get_sysattr_value(usb, "product") : nullptr;
        if (product)
            text = maker ? std::string(maker) + " " + product : product;
        else if (model)
            text = model;
        udev_device_unref(tty);
    }
    udev_unref(context);
    return text;
}

}  // namespace

PortWatch::PortWatch()
{
    folder_fd_ = folder_watch_open(com_port_dir());
    // Without a udev daemon the monitor stays silent, which costs nothing.
    udev_ = udev_new();
    monitor_ = udev_ ? udev_monitor_new_from_netlink(udev_, "udev") : nullptr;
    if (monitor_ && (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
                     udev_monitor_enable_receiving(monitor_) < 0)) {
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
    }
}

PortWatch::~PortWatch()
{
    folder_watch_close(folder_fd_);
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

std::vector<int> PortWatch::fds() const
{
    std::vector<int> out;
    if (folder_fd_ >= 0)
        out.push_back(folder_fd_);
    if (monitor_)
        out.push_back(udev_monitor_get_fd(monitor_));
    return out;
}

bool PortWatch::drain()
{
    bool changed = folder_watch_drain(folder_fd_);
    while (monitor_) {
        udev_device* device = udev_monitor_receive_device(monitor_);
        if (!device)
            break;
        udev_device_unref(device);
        changed = true;
    }
    return changed;
}

bool PortWatch::wait(int timeout_ms, int extra_fd)
{
    std::vector<int> set = fds();
    if (extra_fd >= 0)
        set.push_back(extra_fd);
    if (wait_readable(set, timeout_ms) <= 0)
        return false;
    return drain();
}

std::string com_port_description(int port)
{
    std::string device = com_port_device(port);
    if (device.empty())
        return "";
    std::string target = resolved_path(device);
    if (target.empty())
        return device;
    std::string name = udev_product(target);
    if (name.empty())
        name = by_id_name(target);
    return name.empty() ? target : target + ", " + name;
}
