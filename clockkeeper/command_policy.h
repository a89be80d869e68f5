// Who may move the clock through the channel, how much each account may ask
// of one wake and of one second, and how often its troubles are logged.
#pragma once

#include "platform/datagram.h"

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>

// Root, the service's own account and the members of the channel's group
// may post. Membership is the sender's group in its credentials, or the
// group database listing the sender's account; the database's answer is kept
// for a second, so that a flood does not read the group files at each datagram.
class CommandAccess {
public:
    // grouped false: the group does not exist, nobody is a member.
    void reset(bool grouped, gid_t group);
    bool permitted(const DatagramPeer& sender, int64_t now_ns);

private:
    struct Answer {
        bool member;
        int64_t checked_ns;
    };
    bool grouped_ = false;
    gid_t group_ = 0;
    std::map<uid_t, Answer> members_;
};

// Counts events per account and says when its line is due: at most one line
// per account and interval, carrying the number of events since the last one.
class UidLineLimit {
public:
    explicit UidLineLimit(int64_t interval_ns) : interval_ns_(interval_ns) {}
    // One event of `uid` at now_ns. True when its line is due; *count then
    // gets the events it stands for (this one included).
    bool note(uid_t uid, int64_t now_ns, long long* count);
    // Whether a line of `uid` would be due at now_ns (nothing counted).
    bool due(uid_t uid, int64_t now_ns) const;

private:
    struct Tally {
        int64_t logged_ns;
        long long count;
        bool logged;
    };
    void forget_old(int64_t now_ns);
    int64_t interval_ns_;
    std::map<uid_t, Tally> tallies_;
};

// A share per key and period: take() says whether the key still has one left
// in the current period (a wake, or a second). The keys are accounts, or
// sending sockets by their address (satclock sends each command from a socket
// of its own, a flood reuses one).
template <typename Key>
class Share {
public:
    explicit Share(int per_period) : per_period_(per_period) {}
    bool take(const Key& key)
    {
        int& used = used_[key];
        if (used >= per_period_)
            return false;
        ++used;
        return true;
    }
    void new_period() { used_.clear(); }

private:
    int per_period_;
    std::map<Key, int> used_;
};
using UidShare = Share<uid_t>;
using AddressShare = Share<std::string>;

// The key of the sender's socket in an AddressShare.
inline std::string address_key(const DatagramPeer& sender)
{
    return std::string(reinterpret_cast<const char*>(&sender.address), sender.address_length);
}
