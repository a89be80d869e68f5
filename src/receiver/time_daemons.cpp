// Which time daemons run: their units' states, else their processes.
#include "src/receiver/time_daemons.h"

#include "common/process_list.h"
#include "platform/env.h"
#include "platform/process.h"

#include <vector>
#include <sstream>

namespace {

struct DaemonUnit {
    const char* unit;
    unsigned daemon;
};

// Debian's names first; chronyd.service and ntpd.service are Fedora's.
constexpr DaemonUnit kUnits[] = {
    {"systemd-timesyncd.service", kTimesyncdRuns}, {"chrony.service", kChronydRuns},
    {"chronyd.service", kChronydRuns},             {"ntp.service", kNtpdRuns},
    {"ntpsec.service", kNtpdRuns},                 {"ntpd.service", kNtpdRuns},
};

struct DaemonProcess {
    const char* name;
    unsigned daemon;
};

constexpr DaemonProcess kProcesses[] = {
    {"systemd-timesyncd", kTimesyncdRuns}, {"chronyd", kChronydRuns}, {"ntpd", kNtpdRuns}};

bool running_state(const std::string& word)
{
    return word == "active" || word == "activating" || word == "reloading";
}

// Kept as plain arrays: the probe thread is detached and may still read them
// while the process's static objects are destroyed at exit.
constexpr const char* kStateWords[] = {"active",   "activating", "reloading", "deactivating", "inactive",
                                       "failed",   "unknown",    "maintenance", "refreshing"};

bool known_state(const std::string& word)
{
    for (const char* known : kStateWords)
        if (word == known)
            return true;
    return false;
}

unsigned daemons_by_process()
{
    unsigned daemons = 0;
    for (const DaemonProcess& process : kProcesses)
        if (is_process_running(process.name))
            daemons |= process.daemon;
    return daemons;
}

// systemctl's complaints where no systemd runs go nowhere: the answer says enough.
std::string ask_systemctl()
{
    std::string stub = env_value("SATCLOCK_SYSTEMCTL");
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" is-active \"$@\" 2>/dev/null",
                                     stub.empty() ? "systemctl" : stub};
    for (const DaemonUnit& unit : kUnits)
        argv.push_back(unit.unit);
    std::string answer;
    process_run_capture(argv, &answer);
    return answer;
}

}  // namespace

bool time_daemons_from_unit_states(const std::string& answer, unsigned* daemons)
{
    std::istringstream words(answer);
    unsigned found = 0;
    for (const DaemonUnit& unit : kUnits) {
        std::string word;
        if (!(words >> word) || !known_state(word))
            return false;
        if (running_state(word))
            found |= unit.daemon;
    }
    *daemons = found;
    return true;
}

unsigned time_daemons_running()
{
    unsigned daemons = 0;
    if (time_daemons_from_unit_states(ask_systemctl(), &daemons))
        return daemons;
    return daemons_by_process();
}
