// The command block: a small regular file in the channel's folder, open to
// every local account for reading and writing.
//
// Any account may shrink the file at any moment, so it is never mapped (a
// mapping would fault on its next access): pread and pwrite on a file that
// has become short move fewer bytes, never raise a signal.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// The service's create: whatever stands at `path` is removed, and a new file
// of `size` zero bytes is made there with mode 0666 whatever the umask.
// Returns the descriptor, or -1 with errno set.
int platform_channel_file_create(const std::string& path, size_t size);
// A sender's open of the existing file: it must be a regular file (not a
// link) owned by `owner`. The descriptor, or -1 with errno set (EPERM for
// another owner, EINVAL for something else than a regular file).
int platform_channel_file_open(const std::string& path, uid_t owner);
void platform_channel_file_close(int fd);

// The file's current size in bytes, -1 with errno set on failure.
off_t platform_channel_file_size(int fd);
// Read or write `count` bytes at `offset`. The number of bytes moved (less
// than count when the file is shorter), or -1 with errno set.
ssize_t platform_channel_file_read(int fd, size_t offset, void* bytes, size_t count);
ssize_t platform_channel_file_write(int fd, size_t offset, const void* bytes, size_t count);
// Grow a file found shorter than `size` back to it. 0 or an errno value.
int platform_channel_file_grow(int fd, size_t size);
