// The "users" group's read and write access through a POSIX ACL entry.
#include "platform/file_access.h"

#include <acl/libacl.h>
#include <grp.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool users_group(gid_t* gid)
{
    struct group entry{};
    struct group* found = nullptr;
    std::vector<char> scratch(16384);
    if (getgrnam_r("users", &entry, scratch.data(), scratch.size(), &found) != 0 || !found)
        return false;
    *gid = found->gr_gid;
    return true;
}

// The group's entry, or a new one.
acl_entry_t group_entry(acl_t* acl, gid_t gid)
{
    acl_entry_t entry;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(*acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag;
        if (acl_get_tag_type(entry, &tag) != 0 || tag != ACL_GROUP)
            continue;
        auto* qualifier = static_cast<gid_t*>(acl_get_qualifier(entry));
        bool same = qualifier && *qualifier == gid;
        acl_free(qualifier);
        if (same)
            return entry;
    }
    if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, ACL_GROUP) != 0 ||
        acl_set_qualifier(entry, &gid) != 0)
        return nullptr;
    return entry;
}

bool add_acl_entry(const std::string& path, gid_t gid)
{
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return false;
    acl_entry_t entry = group_entry(&acl, gid);
    acl_permset_t permissions;
    bool ok = entry && acl_get_permset(entry, &permissions) == 0 && acl_clear_perms(permissions) == 0 &&
              acl_add_perm(permissions, ACL_READ) == 0 && acl_add_perm(permissions, ACL_WRITE) == 0 &&
              acl_calc_mask(&acl) == 0 && acl_valid(acl) == 0 &&
              acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl) == 0;
    acl_free(acl);
    return ok;
}

}  // namespace

bool file_grant_users_rw(const std::string& path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return false;
    // A file an earlier version left writable by every account is mended.
    if ((st.st_mode & S_IWOTH) && chmod(path.c_str(), st.st_mode & 07775) != 0)
        return false;
    gid_t gid = 0;
    if (!users_group(&gid))
        return false;
    if (add_acl_entry(path, gid))
        return true;
    return chown(path.c_str(), uid_t(-1), gid) == 0 && chmod(path.c_str(), 0664) == 0;
}

bool file_open_to_users(const std::string& path)
{
    return chmod(path.c_str(), 0644) == 0 && file_grant_users_rw(path);
}
