// The machine's time daemons: found through the systemctl stub's unit states,
// or through the process folder where systemctl cannot answer, and what the
// status line then says, with chrony taking Satclock's time or not.
#include "common/smem_sender.h"
#include "src/receiver/receiver_status.h"
#include "src/receiver/time_daemons.h"
#include "src/ui/status_line.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <glib.h>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct DaemonCase {
    const char* name;
    std::map<std::string, std::string> units;  // unit -> state in the stub; empty: systemctl cannot answer
    std::vector<std::string> processes;        // executables in the process folder
    ChronyFeedState chrony;
    unsigned running;
    std::vector<std::string> lines;  // the beginnings of the status line's lines, in order
    bool systemctl_hangs = false;    // it never answers: killed after its bound, as if it were not there
};

const DaemonCase kCases[] = {
    {"nothing", {{"chrony.service", "inactive"}}, {}, ChronyFeedState::off, 0, {}},
    // The units decide when systemctl answers.
    {"timesyncd", {{"systemd-timesyncd.service", "active"}}, {"/usr/sbin/chronyd"}, ChronyFeedState::off,
     kTimesyncdRuns, {"systemd-timesyncd runs: systemd-timesyncd may undo corrections. Stop it"}},
    {"chrony_setting_off", {{"chrony.service", "active"}}, {}, ChronyFeedState::off, kChronydRuns,
     {"chronyd runs: chrony may undo corrections. Tick \"Give GPS time to chrony"}},
    {"chrony_takes_time_fedora_unit", {{"chronyd.service", "activating"}}, {}, ChronyFeedState::delivering,
     kChronydRuns, {"chrony takes Satclock's GPS time"}},
    {"chrony_not_listening", {{"chrony.service", "failed"}}, {}, ChronyFeedState::not_delivered, 0,
     {"chrony does not take Satclock's GPS time (nothing listens on /run/x.sock)"}},
    {"old_service_and_ntpsec", {{"ntpsec.service", "reloading"}, {"chrony.service", "active"}}, {},
     ChronyFeedState::old_service, kNtpdRuns | kChronydRuns,
     {"ntpd runs: ntpd may undo corrections", "chronyd runs: chrony may undo corrections",
      "The time service is older than this Satclock: it answered \"unknown\""}},
    {"no_systemd_processes", {}, {"/usr/sbin/ntpd", "/usr/lib/systemd/systemd-timesyncd", "/bin/bash"},
     ChronyFeedState::off, kTimesyncdRuns | kNtpdRuns, {"systemd-timesyncd runs", "ntpd runs"}},
    {"systemctl_hangs", {{"chrony.service", "active"}}, {"/usr/sbin/ntpd"}, ChronyFeedState::off, kNtpdRuns,
     {"ntpd runs"}, true},
};

void PrintTo(const DaemonCase& c, std::ostream* out) { *out << c.name; }

class TimeDaemons : public ::testing::TestWithParam<DaemonCase> {
protected:
    void TearDown() override
    {
        unsetenv("SATCLOCK_SYSTEMCTL");
        unsetenv("SATCLOCK_SYSTEMCTL_STATE");
        unsetenv("SATCLOCK_PROC_DIR");
        unsetenv("SYSTEMCTL_STUB_HANG");
    }

    // The processes the hung stub left in its pid file are gone (or wait only
    // to be reaped).
    static bool all_ended(const std::string& pid_file)
    {
        std::ifstream pids(pid_file);
        bool any = false;
        for (std::string pid; pids >> pid; any = true) {
            std::ifstream stat("/proc/" + pid + "/stat");
            std::string line;
            if (std::getline(stat, line) && line.substr(line.rfind(')') + 2, 1) != "Z")
                return false;
        }
        return any;
    }
    TestSandbox box_;
};

TEST_P(TimeDaemons, FoundAndSaidOnTheStatusLine)
{
    const DaemonCase& c = GetParam();
    std::string state = box_.path("systemctl"), proc = box_.path("proc");
    fs::create_directories(state);
    fs::create_directories(proc);
    for (const auto& [unit, word] : c.units)
        std::ofstream(state + "/" + unit + ".state") << word << "\n";
    int pid = 100;
    for (const std::string& exe : c.processes) {
        fs::create_directories(proc + "/" + std::to_string(pid));
        fs::create_symlink(exe, proc + "/" + std::to_string(pid++) + "/exe");
    }
    std::string stub = source_dir() + "/tests/service/systemctl-stub";
    setenv("SATCLOCK_SYSTEMCTL", c.units.empty() ? box_.path("no-systemctl").c_str() : stub.c_str(), 1);
    setenv("SATCLOCK_SYSTEMCTL_STATE", state.c_str(), 1);
    setenv("SATCLOCK_PROC_DIR", proc.c_str(), 1);
    if (c.systemctl_hangs)
        setenv("SYSTEMCTL_STUB_HANG", "is-active", 1);
    unsigned running = time_daemons_running();
    EXPECT_EQ(running, c.running);
    // The stub and its child were killed with their group; a killed process
    // leaves /proc only once the kernel has run it to its end.
    if (c.systemctl_hangs) {
        EXPECT_TRUE(wait_until([&] { return all_ended(state + "/hung.pid"); }));
    }

    ReceiverFacts facts;
    facts.time_daemons = running;
    facts.chrony = c.chrony;
    facts.chrony_socket = "/run/x.sock";
    std::vector<std::string> lines;
    for (const ReceiverIssue& issue : receiver_issues(facts))
        lines.push_back(receiver_issue_text(issue));
    ASSERT_EQ(lines.size(), c.lines.size()) << ::testing::PrintToString(lines);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind(c.lines[i], 0), 0u) << lines[i];
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeDaemons, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DaemonCase>& info) { return info.param.name; });

// An account outside the channel's group: the socket kept it out (the
// service probe), or the service answered "not permitted" (a session that
// still carries the group); either way the line says who adds it, and how.
TEST(NotPermitted, TheLineNamesTheRemedyForThisAccount)
{
    std::string line = std::string("You may not set the clock: an administrator adds you with `sudo usermod -aG "
                                   "satclock ") + g_get_user_name() + "`; it takes effect at your next login";
    unsetenv("SATCLOCK_GROUP");
    for (bool kept_out : {true, false}) {
        ReceiverFacts facts;
        facts.service = kept_out ? kPeerNotPermitted : 1;
        facts.refused_account = !kept_out;
        std::vector<ReceiverIssue> issues = receiver_issues(facts);
        ASSERT_EQ(issues.size(), 1u);
        EXPECT_EQ(receiver_issue_text(issues[0]), line);
    }
    CorrectionResult refused;
    refused.sequence = 1;
    refused.refusal = PostOutcome::not_permitted;
    EXPECT_NE(correction_result_text(refused).find("you may not set the clock"), std::string::npos);
}

// A stub answer that is not one state word per unit is no answer.
TEST(TimeDaemonStates, AnAnswerWithoutAStateForEveryUnitIsNone)
{
    unsigned daemons = 99;
    EXPECT_FALSE(time_daemons_from_unit_states("", &daemons));
    EXPECT_FALSE(time_daemons_from_unit_states("active\ninactive\n", &daemons));
    EXPECT_FALSE(time_daemons_from_unit_states("System has not been booted with systemd", &daemons));
    EXPECT_EQ(daemons, 99u);
}

}  // namespace
