// Free space of the file system a path would live on.
#pragma once

#include <cstdint>

#include <string>

// For the nearest existing folder of path (the path itself or one of its
// parents): the file system's free bytes (those root may still use) and its
// mount point. False when no part of the path exists or the query fails.
bool disk_free_space(const std::string& path, uint64_t* free_bytes, std::string* mount_point);
