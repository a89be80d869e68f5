// A file's version through fstat.
#include "platform/file_version.h"

#include "platform/time_units.h"

#include <sys/stat.h>

namespace {

int64_t ns_of(const timespec& t) { return int64_t(t.tv_sec) * kNsPerSecond + t.tv_nsec; }

}  // namespace

bool file_version(int fd, FileVersion* version)
{
    struct stat st{};
    if (fstat(fd, &st) != 0)
        return false;
    *version = {st.st_dev, st.st_ino, st.st_size, ns_of(st.st_mtim), ns_of(st.st_ctim)};
    return true;
}
