// Command access, per-account shares and per-account log lines.
#include "clockkeeper/command_policy.h"

#include "platform/time_units.h"
#include "platform/user_accounts.h"

namespace {

constexpr int64_t kMembershipKeptNs = kNsPerSecond;
// Tallies beyond this many accounts are pruned of the ones quiet for an interval.
constexpr size_t kTalliesKept = 256;

}  // namespace

void CommandAccess::reset(bool grouped, gid_t group)
{
    grouped_ = grouped;
    group_ = group;
    members_.clear();
}

bool CommandAccess::permitted(const DatagramPeer& sender, int64_t now_ns)
{
    if (!sender.credentials)
        return false;
    if (sender.uid == 0 || sender.uid == own_effective_user_id())
        return true;
    if (!grouped_)
        return false;
    if (sender.gid == group_)
        return true;
    auto found = members_.find(sender.uid);
    if (found == members_.end() || now_ns - found->second.checked_ns >= kMembershipKeptNs)
        found = members_.insert_or_assign(sender.uid, Answer{account_in_group(sender.uid, group_), now_ns}).first;
    return found->second.member;
}

bool UidLineLimit::note(uid_t uid, int64_t now_ns, long long* count)
{
    forget_old(now_ns);
    Tally& tally = tallies_.try_emplace(uid, Tally{0, 0, false}).first->second;
    ++tally.count;
    if (tally.logged && now_ns - tally.logged_ns < interval_ns_)
        return false;
    *count = tally.count;
    tally = Tally{now_ns, 0, true};
    return true;
}

bool UidLineLimit::due(uid_t uid, int64_t now_ns) const
{
    auto found = tallies_.find(uid);
    return found == tallies_.end() || !found->second.logged || now_ns - found->second.logged_ns >= interval_ns_;
}

void UidLineLimit::forget_old(int64_t now_ns)
{
    if (tallies_.size() < kTalliesKept)
        return;
    // Accounts whose last line is an interval old and with nothing counted since.
    for (auto it = tallies_.begin(); it != tallies_.end();)
        it = it->second.count == 0 && now_ns - it->second.logged_ns >= interval_ns_ ? tallies_.erase(it) : ++it;
}
