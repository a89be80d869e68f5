// Changing a small file so that a crash, a kill or a full disk leaves the old
// content or the new one, never a mixture or an empty file.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// A file descriptor closed on scope exit; close() reports the close's own result.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool close();

private:
    int fd_;
};

bool file_read_all(int fd, std::string& out);
bool file_write_all_at(int fd, std::string_view bytes, off_t offset);

// The file a write replaces: the target of a symbolic link, so the link survives.
std::string file_write_target(const std::string& path);

enum class FileReplace { done, failed, no_temp };

// Writes the bytes to a temporary file beside target (same owner, mode and
// access list as old_fd), syncs it and renames it over target. no_temp: the
// folder takes no new files, nothing was changed.
FileReplace file_replace_by_rename(const std::string& target, int old_fd, std::string_view bytes);

// For a folder that takes no new files: rewrites fd from the first changed byte
// on; if that fails half-way, the old bytes go back.
bool file_rewrite_in_place(int fd, std::string_view old_bytes, std::string_view bytes);

// Creates a new file (mode 0666 less the umask) holding bytes; removed again on failure.
bool file_create_new(const std::string& path, std::string_view bytes);
