// Telling whether a file changed since it was read: which file it is, its
// size and its change times.
#pragma once

#include <cstdint>
#include <sys/types.h>

struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    int64_t modified_ns = 0;  // the content's last change (mtime), ns since 1970
    int64_t changed_ns = 0;   // the content's or the attributes' last change (ctime), ns since 1970

    bool operator==(const FileVersion&) const = default;
};

// The open file's version; false with errno set when it cannot be had.
bool file_version(int fd, FileVersion* version);
