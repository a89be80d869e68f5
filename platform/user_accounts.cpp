// Accounts from the password database, and work done as one of them in a child.
#include "platform/user_accounts.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/time_units.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The child doing an account's work gets this long.
constexpr int kAccountWorkMs = 30000;

const char* passwd_seam()
{
    const char* seam = std::getenv("SATCLOCK_PASSWD_FILE");
    return (seam && *seam) ? seam : nullptr;
}

Account account_of(const passwd& entry)
{
    return {entry.pw_uid, entry.pw_gid, entry.pw_name ? entry.pw_name : "", entry.pw_dir ? entry.pw_dir : ""};
}

// Every entry of the seam file or of the system database, in order.
template <typename Visit>
void each_passwd_entry(Visit visit)
{
    passwd entry {};
    passwd* found = nullptr;
    std::vector<char> scratch(16384);
    if (const char* seam = passwd_seam()) {
        FILE* file = std::fopen(seam, "re");
        if (!file)
            return;
        while (fgetpwent_r(file, &entry, scratch.data(), scratch.size(), &found) == 0 && found)
            if (!visit(account_of(*found)))
                break;
        std::fclose(file);
        return;
    }
    setpwent();
    while (getpwent_r(&entry, scratch.data(), scratch.size(), &found) == 0 && found)
        if (!visit(account_of(*found)))
            break;
    endpwent();
}

std::vector<gid_t> account_groups(const Account& account)
{
    std::vector<gid_t> groups(64);
    int count = int(groups.size());
    if (account.name.empty() || getgrouplist(account.name.c_str(), account.gid, groups.data(), &count) < 0) {
        groups.resize(std::max(count, 64));
        count = int(groups.size());
        if (account.name.empty() || getgrouplist(account.name.c_str(), account.gid, groups.data(), &count) < 0)
            return {account.gid};
    }
    groups.resize(size_t(count));
    return groups;
}

// The umask a login of the machine gets.
mode_t login_umask()
{
    std::string defs;
    if (file_read_whole("/etc/login.defs", &defs) != 0)
        return 022;
    std::istringstream lines(defs);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key;
        std::string value;
        if (words >> key >> value && key == "UMASK") {
            char* end = nullptr;
            unsigned long mask = std::strtoul(value.c_str(), &end, 8);
            if (*end == '\0' && mask <= 0777)
                return mode_t(mask);
        }
    }
    return 022;
}

[[noreturn]] void run_in_child(int reply_fd, const Account& account, const std::vector<gid_t>& groups, mode_t mask,
                               const std::function<AccountWork()>& work)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    AccountWork result;
    if (setgroups(groups.size(), groups.data()) != 0 || setresgid(account.gid, account.gid, account.gid) != 0 ||
        setresuid(account.uid, account.uid, account.uid) != 0) {
        result.text = "cannot act as user " + std::to_string(account.uid) + ": " + std::strerror(errno);
    } else {
        umask(mask);
        result = work();
    }
    file_write_all(reply_fd, (result.ok ? "1" : "0") + result.text);
    _exit(0);
}

}  // namespace

std::vector<Account> machine_accounts()
{
    std::vector<Account> accounts;
    each_passwd_entry([&](Account account) {
        bool seen = std::any_of(accounts.begin(), accounts.end(), [&](const Account& a) { return a.home == account.home; });
        if (!account.home.empty() && !seen)
            accounts.push_back(std::move(account));
        return true;
    });
    return accounts;
}

bool account_of_uid(uid_t uid, Account* account)
{
    if (passwd_seam()) {
        bool found = false;
        each_passwd_entry([&](Account entry) {
            if (entry.uid != uid)
                return true;
            *account = std::move(entry);
            found = true;
            return false;
        });
        return found;
    }
    passwd entry {};
    passwd* found = nullptr;
    std::vector<char> scratch(16384);
    if (getpwuid_r(uid, &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
        return false;
    *account = account_of(*found);
    return true;
}

bool invoking_account(Account* account)
{
    if (geteuid() == 0) {
        for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
            const char* text = std::getenv(variable);
            if (!text || !*text)
                continue;
            char* end = nullptr;
            errno = 0;
            unsigned long uid = std::strtoul(text, &end, 10);
            if (errno || *end)
                continue;
            return account_of_uid(uid_t(uid), account);
        }
    }
    return account_of_uid(own_user_id(), account);
}

uid_t own_user_id() { return getuid(); }

uid_t own_effective_user_id() { return geteuid(); }

AccountWork act_as_account(const Account& account, const std::function<AccountWork()>& work)
{
    if (geteuid() != 0) {
        if (account.uid == geteuid())
            return work();
        return {false, "only root may act as user " + std::to_string(account.uid)};
    }
    std::vector<gid_t> groups = account_groups(account);
    mode_t mask = login_umask();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {false, std::string("cannot start a child: ") + std::strerror(errno)};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        run_in_child(fds[1], account, groups, mask, work);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return {false, std::string("cannot start a child: ") + std::strerror(errno)};
    }
    std::string reply;
    int64_t deadline = platform_monotonic_ns() + int64_t(kAccountWorkMs) * kNsPerMs;
    bool answered = file_read_to_end(fds[0], &reply, deadline, SIZE_MAX);
    close(fds[0]);
    if (!answered)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!answered || reply.empty())
        return {false, "the work as user " + std::to_string(account.uid) + " gave no answer"};
    return {reply[0] == '1', reply.substr(1)};
}

bool account_named(const std::string& name)
{
    passwd entry {};
    passwd* found = nullptr;
    std::vector<char> scratch(16384);
    return !name.empty() && getpwnam_r(name.c_str(), &entry, scratch.data(), scratch.size(), &found) == 0 && found;
}

bool group_id_of(const std::string& name, gid_t* gid)
{
    group entry {};
    group* found = nullptr;
    std::vector<char> scratch(16384);
    if (name.empty() || getgrnam_r(name.c_str(), &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
        return false;
    *gid = found->gr_gid;
    return true;
}

bool account_in_group(uid_t uid, gid_t gid)
{
    Account account;
    if (!account_of_uid(uid, &account))
        return false;
    std::vector<gid_t> groups = account_groups(account);
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string add_account_to_group(const std::string& account, const std::string& group)
{
    gid_t gid = 0;
    // The names go to the tools as single words: no shell sees them.
    if (!group_id_of(group, &gid)) {
        int made = process_run({"groupadd", "--system", group});
        if (made != 0)
            return "groupadd --system " + group + ": exit status " + std::to_string(made);
    }
    int added = process_run({"usermod", "-a", "-G", group, account});
    return added == 0 ? "" : "usermod -a -G " + group + " " + account + ": exit status " + std::to_string(added);
}
