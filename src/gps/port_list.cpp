// Port numbers and the devices they name: the port folder first, then the
// kernel's serial devices (ttyS, ttyUSB, ttyACM in blocks of 32).
#include "src/gps/serial.h"

#include "platform/env.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <strings.h>
#include <vector>

namespace {

struct DeviceBlock {
    const char* prefix;  // kernel name without the index
    int first_port;      // port number of index 0
};

constexpr DeviceBlock kBlocks[] = {{"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}};
constexpr int kBlockSize = 32;
constexpr const char* kSysClassTty = "/sys/class/tty";

// "COM12" (any case) gives 12; anything else, or a number that does not fit
// a port number, gives 0.
int port_number_of_entry(const char* name)
{
    if (strncasecmp(name, "com", 3) != 0 || name[3] < '0' || name[3] > '9')
        return 0;
    long number = std::strtol(name + 3, nullptr, 10);
    return (number >= 1 && number <= 32767) ? static_cast<int>(number) : 0;
}

// The index after a kernel name's prefix ("ttyUSB3" with "ttyUSB" gives 3), or -1.
int device_index(const char* name, const char* prefix)
{
    size_t length = std::strlen(prefix);
    if (std::strncmp(name, prefix, length) != 0 || name[length] < '0' || name[length] > '9')
        return -1;
    char* end = nullptr;
    long index = std::strtol(name + length, &end, 10);
    return (*end == '\0' && index < kBlockSize) ? static_cast<int>(index) : -1;
}

// Real hardware has a device link in sysfs. The 8250 driver also registers
// placeholder ttyS ports with no UART behind them: their type reads 0.
bool is_real_serial_device(const std::string& name)
{
    std::string base = std::string(kSysClassTty) + "/" + name;
    if (!file_identity(base + "/device", true).known)
        return false;
    std::ifstream type(base + "/type");
    int uart_type = -1;
    if (type >> uart_type)
        return uart_type != 0;
    return true;
}

int hardware_port_number(const std::string& name)
{
    for (const DeviceBlock& block : kBlocks) {
        int index = device_index(name.c_str(), block.prefix);
        if (index >= 0)
            return is_real_serial_device(name) ? block.first_port + index : 0;
    }
    return 0;
}

}  // namespace

std::string com_port_dir()
{
    std::string dir = env_value("SATCLOCK_PORT_DIR");
    return dir.empty() ? "/etc/satclock/ports" : dir;
}

std::string com_port_device(int port)
{
    if (port < 1)
        return "";
    std::string link = com_port_dir() + "/COM" + std::to_string(port);
    if (path_exists(link))
        return link;
    for (const DeviceBlock& block : kBlocks)
        if (port >= block.first_port && port < block.first_port + kBlockSize)
            return std::string("/dev/") + block.prefix + std::to_string(port - block.first_port);
    return "";
}

int list_com_ports(int16_t* ports)
{
    std::vector<int> numbers;
    for (const std::string& name : folder_entries(com_port_dir()))
        if (int number = port_number_of_entry(name.c_str()))
            numbers.push_back(number);
    for (const std::string& name : folder_entries(kSysClassTty))
        if (int number = hardware_port_number(name))
            numbers.push_back(number);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    int count = std::min(static_cast<int>(numbers.size()), kComPortListMax);
    for (int i = 0; i < count; ++i)
        ports[i] = static_cast<int16_t>(numbers[i]);
    return count;
}
