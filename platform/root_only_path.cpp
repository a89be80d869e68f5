// The test that no one but root can change what a path names.
#include "platform/files.h"

#include "platform/path_text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

using path_text::folder_part;
using path_text::parts_of;

namespace {

bool writable_by_others(const struct stat& st) { return (st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0; }

std::string folder_refusal(const std::string& folder, const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return folder + " is not a folder";
    if (st.st_uid != 0 || writable_by_others(st))
        return "the folder " + folder + " is not owned by root, or others may write it";
    return {};
}

// Every folder of a path that holds no links (a resolved one), from the root.
std::string chain_refusal(const std::string& resolved)
{
    std::string folder = resolved;
    for (;;) {
        struct stat st {};
        if (lstat(folder.c_str(), &st) != 0)
            return folder + " cannot be examined";
        if (std::string why = folder_refusal(folder, st); !why.empty())
            return why;
        if (folder == "/")
            return {};
        folder = folder_part(folder);
    }
}

std::string file_refusal(const std::string& path, const struct stat& st)
{
    if (!S_ISREG(st.st_mode) || st.st_uid != 0 || (st.st_mode & 022) != 0)
        return path + " is not a file owned by root and writable by root alone";
    return {};
}

}  // namespace

std::string path_only_root_can_change(const std::string& path, bool whole_file)
{
    if (path.empty() || path[0] != '/')
        return "\"" + path + "\" is not an absolute path";
    if (has_control_characters(path))
        return "the path holds a control character";
    struct stat st {};
    if (lstat("/", &st) != 0)
        return "/ cannot be examined";
    if (std::string why = folder_refusal("/", st); !why.empty())
        return why;
    std::vector<std::string> parts = parts_of(path);
    std::string prefix;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..")
            return path + ": \".\" and \"..\" are not taken";
        prefix += "/" + parts[i];
        if (lstat(prefix.c_str(), &st) != 0) {
            if (errno == ENOENT && !whole_file)
                return {};
            return prefix + " cannot be examined";
        }
        if (S_ISLNK(st.st_mode)) {
            // A link of root's in a folder only root changes is fixed by root;
            // where it leads must be root's alone as well.
            if (st.st_uid != 0)
                return "the link " + prefix + " is not root's";
            char resolved[PATH_MAX];
            if (!realpath(prefix.c_str(), resolved) || stat(resolved, &st) != 0)
                return prefix + " cannot be examined";
            std::string why = chain_refusal(S_ISDIR(st.st_mode) ? resolved : folder_part(resolved));
            if (!why.empty())
                return why;
        }
        bool last = i + 1 == parts.size();
        std::string why = (last && whole_file) ? file_refusal(prefix, st) : folder_refusal(prefix, st);
        if (!why.empty())
            return why;
    }
    return whole_file && parts.empty() ? path + " is not a file" : std::string();
}

