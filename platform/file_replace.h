// Changing a small file so that a crash, a kill or a full disk leaves the old
// content or the new one, never a mixture or an empty file.
#pragma once

#include <cstdint>
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

// An existing file opened (a link at the path followed) for reading, or for
// reading and writing; get() < 0 with errno set when it cannot be.
FileDescriptor file_open_reading(const std::string& path);
FileDescriptor file_open_writing(const std::string& path);

// The whole file from its start; false with errno set on a read error, or
// EFBIG once it holds more than limit bytes (then out is emptied).
bool file_read_all(int fd, std::string& out, size_t limit = SIZE_MAX);
bool file_write_all_at(int fd, std::string_view bytes, off_t offset);

// The file a write replaces: the target of a symbolic link, so the link survives.
std::string file_write_target(const std::string& path);

enum class FileReplace { done, failed, no_temp };

// Writes the bytes to a temporary file beside target (same owner, group, mode
// and access list as old_fd), syncs it and renames it over target. no_temp:
// the folder takes no new files, or a replacement could not be given every
// one of the old file's attributes (only root may give a file away); nothing
// was changed, and the file is to be rewritten in place instead.
FileReplace file_replace_by_rename(const std::string& target, int old_fd, std::string_view bytes);

// For a folder that takes no new files: rewrites fd from the first changed byte
// on; if that fails half-way, the old bytes go back.
bool file_rewrite_in_place(int fd, std::string_view old_bytes, std::string_view bytes);

// Creates a new file (mode 0666 less the umask) holding bytes; removed again on failure.
bool file_create_new(const std::string& path, std::string_view bytes);

// An exclusive lock across processes on the folder that holds `path`, so that
// each read-change-write of a file in it is whole. Any account that can read
// the folder can hold such a lock as long as it likes: the lock is tried for
// patience_ms at most, never waited for without end.
class FolderLock {
public:
    FolderLock(const std::string& path, int patience_ms);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // 0 when held, else the errno value (EWOULDBLOCK: another process kept it).
    int error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};
