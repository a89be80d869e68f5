// Files and folders of the installer, the uninstaller and the service's
// installation: writing a new file, reading a whole file, making folders,
// removing what was placed, and the test that nobody but root can change a path.
// Folders in an account's home are walked without following links.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// An open folder (O_DIRECTORY), closed on scope exit.
class Folder {
public:
    Folder() = default;
    explicit Folder(int fd) : fd_(fd) {}
    ~Folder();
    Folder(Folder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    int fd() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The step of a file write that failed.
enum class FileStep { none, create, write, place };

// Whether a name already there is replaced or keeps its place.
enum class Existing { replace, keep };

// Write a new file: the bytes go into a new file beside `name` in the folder
// (created with O_EXCL and O_NOFOLLOW, then given `mode`), which is then
// renamed onto the name (replace: a link or file at the name is replaced,
// never followed or written through) or linked to it (keep: EEXIST when the
// name exists). A reader sees the old file or the whole new one. 0, or an
// errno value with the failed step in *failed.
int file_write_new_at(const Folder& folder, const std::string& name, std::string_view bytes, mode_t mode,
                      Existing existing = Existing::replace, FileStep* failed = nullptr);
// The same for an absolute path, its folder opened by that path.
int file_write_new(const std::string& path, std::string_view bytes, mode_t mode,
                   Existing existing = Existing::replace, FileStep* failed = nullptr);

// Read a whole file: a regular file, at most `limit` bytes (errno EFBIG
// beyond), a link at its name not followed (ELOOP). 0 or an errno value.
int file_read_whole_at(const Folder& folder, const std::string& name, std::string* bytes,
                       size_t limit = 16u << 20);
int file_read_whole(const std::string& path, std::string* bytes, size_t limit = 16u << 20);

// Writes every byte to fd, a write cut short by a signal resumed; false on failure.
bool file_write_all(int fd, std::string_view bytes);
// Reads fd (a pipe or a socket) until its end or until deadline_ns on the
// monotonic clock (platform_monotonic_ns), keeping at most `limit` bytes in
// *bytes when it is given; what comes beyond is read and dropped, so that the
// writer never waits on a full pipe. True when the end came in time with at
// most `limit` bytes.
bool file_read_to_end(int fd, std::string* bytes, int64_t deadline_ns, size_t limit);

// Appends bytes to an existing regular file (not through a link); false when
// there is no such file or the write failed.
bool file_append(const std::string& path, std::string_view bytes);
// Overwrites bytes in place at offset of an existing regular file (not
// through a link).
bool file_overwrite_at(const std::string& path, off_t offset, std::string_view bytes);

// Make folders: opens `base` by its path (a starting point the caller
// trusts), then each part of `relative` ("a/b") beneath it with O_NOFOLLOW,
// creating a missing part with `mode` when `create`. A link, a file or "."
// and ".." on the way are refused. The last folder, or a closed Folder with
// the reason in *why.
Folder folders_open_beneath(const std::string& base, const std::string& relative, bool create, mode_t mode,
                            std::string* why);
// Make folders for an absolute path: the part that exists is taken as it
// resolves, each missing folder after it is created with `mode` (less the
// umask) and opened
// without following links; a folder made so that turns out not to be this
// process's own is refused. True when the path is a folder afterwards.
bool make_folders(const std::string& path, mode_t mode, std::string* why = nullptr);

// A folder of this process's own in a shared place: made with mode 0700 when
// missing; true when the path is a folder (not a link) of the real user that
// no one else may enter.
bool make_private_folder(const std::string& path);

// The names in a folder, "." and ".." among them; empty when it cannot be read.
std::vector<std::string> folder_entries(const std::string& path);

// Removes a file, link (itself, never its target) or empty folder. True when
// nothing is at the path afterwards.
bool file_remove(const std::string& path);
// Gives a file another name in its folder, never replacing what has that name
// already. 0, or an errno value (EEXIST: the name is taken).
int file_rename_new(const std::string& from, const std::string& to);
// Removes folder/relative ("a/b/name") without following a link below folder:
// a link in place of "a" or "b" stops the removal, and a link named "name" is
// removed itself. True when nothing is there afterwards.
bool remove_file_beneath(const std::string& folder, const std::string& relative);

// Which file a path names (device and inode), to know one file by any of its
// names; `follow` follows a link at the path.
struct FileIdentity {
    bool known = false;  // something is there
    bool folder = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool same_file(const FileIdentity& other) const
    {
        return known && other.known && device == other.device && inode == other.inode;
    }
};
FileIdentity file_identity(const std::string& path, bool follow);

// What lies at a path, links not followed.
bool path_exists(const std::string& path);
bool is_folder(const std::string& path);
// A folder this process may write in (its effective ids count).
bool folder_writable(const std::string& path);
// A regular file that someone may execute (links followed).
bool is_program_file(const std::string& path);
// The link's target, empty when the path is no link.
std::string link_target(const std::string& path);
// The path with every link on it resolved, empty when it leads nowhere.
std::string resolved_path(const std::string& path);
// Replaces whatever link is at `link` by one to `target`, by rename; a file
// that is not a link stays, and false is returned.
bool replace_link(const std::string& link, const std::string& target);

// Bytes below 0x20 and 0x7F: a path holding one would break a line-based
// format (the unit, the uninstall list, a desktop entry).
bool has_control_characters(std::string_view text);

// Why someone other than root could change what `path` names, or empty when
// no one can: every folder on the way (as written and as it resolves) must
// be root's and writable by root alone, unless it is sticky (no one else may
// rename or replace root's entries there); a link on the way must be root's.
// The part of the path that does not exist yet is not examined: root creates
// it. With `whole_file`, the path must exist and be a regular file of root's
// that only root may write.
std::string path_only_root_can_change(const std::string& path, bool whole_file = false);

// Rewrites a file that someone else made for this process to write into (a
// hand-over file): only a regular file with one name, owned by owner, never a
// link; what the path names is checked before anything is opened for
// writing. False when it is not such a file.
bool file_rewrite_owned(const std::string& path, std::string_view bytes, uid_t owner);

// A new, empty file only its owner may read and write, under a name that no
// one can guess, in the temp folder ($TMPDIR, else /tmp): prefix + six
// characters. Its path, or empty when none could be made.
std::string file_create_temp(const std::string& prefix);
