// chrony's sources as chronyc lists them.
#include "src/receiver/chrony_sources.h"

#include "platform/env.h"
#include "platform/process.h"
#include "src/correction/chrony_feed.h"

#include <mutex>
#include <sstream>
#include <vector>

namespace {

std::mutex last_lock;
KernelPpsState last;  // under last_lock: the probe's latest answer

// A kernel PPS refclock's default name: "PPS" and its line's number.
bool kernel_pps_name(const std::string& name)
{
    return name.size() > 3 && name.compare(0, 3, "PPS") == 0 &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

}  // namespace

// "#,*,PPS1,0,4,377,13,-0.000000123,...": mode, state, name, ...
KernelPpsState kernel_pps_use_in(const std::string& csv)
{
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            fields.push_back(cell);
        if (fields.size() < 3 || fields[0] != "#" || fields[1].size() != 1 || !kernel_pps_name(fields[2]))
            continue;
        char state = fields[1][0];
        bool used = state == '*' || state == '+';
        return {used ? KernelPpsUse::selected : KernelPpsUse::not_selected, fields[2], state};
    }
    return {};
}

KernelPpsState kernel_pps_use_now()
{
    if (chrony_kernel_pps_device().empty())
        return {};
    std::string chronyc = env_value("SATCLOCK_CHRONYC");
    std::string out;
    // chronyc's "506 Cannot talk to daemon" while chronyd is down is no news.
    if (process_run_capture({"/bin/sh", "-c", "exec \"$0\" -c -n sources 2>/dev/null",
                             chronyc.empty() ? "chronyc" : chronyc},
                            &out) != 0)
        return {};
    return kernel_pps_use_in(out);
}

bool kernel_pps_note(const KernelPpsState& state)
{
    std::lock_guard guard(last_lock);
    bool changed = !(last == state);
    last = state;
    return changed;
}

KernelPpsState kernel_pps_last()
{
    std::lock_guard guard(last_lock);
    return last;
}
