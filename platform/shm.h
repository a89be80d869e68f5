// Named POSIX shared memory, read and written through its descriptor.
//
// Any local account may open the block, and so may shrink it to nothing at
// any moment: a mapping of it would then fault on its next access. The block
// is therefore never mapped by the programs; pread and pwrite on a file that
// has become short return fewer bytes, never a signal.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

// Open the block `name` ("/..."), creating it when it does not exist yet.
// A created block is `size` bytes of zeros with mode 0666 whatever the umask.
// A block found shorter than `size` is grown to it. Returns the descriptor,
// or -1 with errno set.
int platform_shm_open(const std::string& name, size_t size);
// The same for the block's keeper: a name that exists but is not a regular
// file of this process's effective user (another account created it, or
// replaced it) is removed and created afresh, so that what the keeper opens
// is its own. -1 with errno set when that cannot be had after a few tries.
int platform_shm_open_owned(const std::string& name, size_t size);
// Whether `name` still names the file open on fd, owned by this process's
// effective user. False also when the name is gone.
bool platform_shm_is_current(int fd, const std::string& name);
void platform_shm_close(int fd);

// The block's current size in bytes, -1 with errno set on failure.
off_t platform_shm_size(int fd);
// Read or write `count` bytes at `offset`. The number of bytes moved (less
// than count when the block is shorter), or -1 with errno set.
ssize_t platform_shm_read(int fd, size_t offset, void* bytes, size_t count);
ssize_t platform_shm_write(int fd, size_t offset, const void* bytes, size_t count);
// Grow a block found shorter than `size` back to it. 0 or an errno value.
int platform_shm_grow(int fd, size_t size);

// A second view for tests and tools that look at the raw bytes.
unsigned char* platform_shm_map(int fd, size_t size);
void platform_shm_unmap(unsigned char* view, size_t size);

// Every process that opens the block holds a shared lock on it for as long as
// its descriptor stays open; the lock goes with the process, crash or not.
// Another account may hold an exclusive lock as long as it likes, so the lock
// is only ever tried, for at most `patience_ms`, never waited for.
// Returns 0 or an errno value (EWOULDBLOCK: someone else holds it exclusively).
int platform_shm_hold(int fd, int patience_ms);
// 1 when a descriptor other than fd (another process's) holds the block, 0
// when none does, -1 on error. Never blocks; fd's hold is taken again
// afterwards when it can be.
int platform_shm_held_by_others(int fd);

// Remove the name (the block lives on while open). 0 or an errno value.
int platform_shm_unlink(const std::string& name);
