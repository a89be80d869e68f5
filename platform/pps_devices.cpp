// The kernel's 1PPS devices from the device folder.
#include "platform/pps_devices.h"

#include "platform/env.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <string_view>

std::vector<std::string> kernel_pps_devices()
{
    std::string folder = env_value("SATCLOCK_DEV_DIR");
    if (folder.empty())
        folder = "/dev";
    std::vector<int> numbers;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name.size() > 3 && name.substr(0, 3) == "pps" &&
                name.find_first_not_of("0123456789", 3) == std::string_view::npos)
                numbers.push_back(std::atoi(entry->d_name + 3));
        }
        closedir(dir);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> paths;
    for (int number : numbers)
        paths.push_back(folder + "/pps" + std::to_string(number));
    return paths;
}
