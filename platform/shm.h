// Named POSIX shared memory: open an existing block, or create it open to every account.
#pragma once

#include <cstddef>
#include <string>

// Open the block `name` ("/..."), creating it when it does not exist yet.
// A created block is `size` bytes of zeros with mode 0666 whatever the umask.
// A block found shorter than `size` is grown to it, so mapping `size` bytes
// never faults. Returns the descriptor, or -1 with errno set.
int platform_shm_open(const std::string& name, size_t size);
void platform_shm_close(int fd);

// Map `size` bytes read/write, shared. Returns nullptr with errno set on failure.
unsigned char* platform_shm_map(int fd, size_t size);
void platform_shm_unmap(unsigned char* view, size_t size);

// Every process that maps the block holds a shared lock on it for as long as
// its descriptor stays open; the lock goes with the process, crash or not.
// Returns 0 or an errno value.
int platform_shm_hold(int fd);
// 1 when a descriptor other than fd (another process's) holds the block, 0
// when none does, -1 on error. fd keeps its hold either way.
int platform_shm_held_by_others(int fd);

// Remove the name (the block lives on while mapped). 0 or an errno value.
int platform_shm_unlink(const std::string& name);
