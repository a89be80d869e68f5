// The accounts of the machine, the one who started an elevated program, and
// doing work as one of them: what lands in an account's home is made by that
// account, never by root through a path the account controls.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct Account {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;
};

// The accounts of the password database that have a home folder, in its
// order, each home once. When SATCLOCK_PASSWD_FILE is set, that passwd-format
// file is read instead (tests); a file that cannot be read gives none.
std::vector<Account> machine_accounts();

// This process's real user id: the account that started it.
uid_t own_user_id();
// This process's effective user id: the account whose rights it acts with.
uid_t own_effective_user_id();

// The account of a user id (the passwd seam above applies). False when unknown.
bool account_of_uid(uid_t uid, Account* account);

// The user who started this program: the user named by PKEXEC_UID or
// SUDO_UID when this process runs as root for them, else the real user.
bool invoking_account(Account* account);

// What work done as an account gave back: whether it succeeded, and a text
// (its result, or the reason it failed).
struct AccountWork {
    bool ok = false;
    std::string text;
};

// Runs work as the account: in a child process with the account's user id,
// its groups (the password database's and the group file's) and the umask a
// login gets (UMASK of /etc/login.defs, else 022). Only root can do so; an
// ordinary process runs work itself when it is that account, and refuses
// otherwise. The child has 30 s; one that does not answer by then is ended.
AccountWork act_as_account(const Account& account, const std::function<AccountWork()>& work);

// Whether the password database has an account of that name.
bool account_named(const std::string& name);
// The id of the group called `name` in the group database. False when there is none.
bool group_id_of(const std::string& name, gid_t* gid);
// Whether the group database counts the account of `uid` in group `gid`: as
// its primary group or as a member. False for an unknown uid.
bool account_in_group(uid_t uid, gid_t gid);
// Root's work for the installer: the system group `group` made when it is
// missing (groupadd --system), then the account added to it (usermod -a -G),
// both through the system's own tools, which keep the group files and their
// shadow consistent and locked. An empty text, or the reason it failed.
std::string add_account_to_group(const std::string& account, const std::string& group);
