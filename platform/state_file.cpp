// Reading and replacing small state files.
#include "platform/state_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool write_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

}  // namespace

int state_file_read(const std::string& path, std::string* bytes, size_t limit)
{
    bytes->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st{};
    int error = fstat(fd, &st) != 0 ? errno : !S_ISREG(st.st_mode) ? EINVAL : size_t(st.st_size) > limit ? EFBIG : 0;
    char chunk[65536];
    while (error == 0) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        bytes->append(chunk, size_t(n));
        if (bytes->size() > limit)
            error = EFBIG;
    }
    close(fd);
    return error;
}

int state_file_replace(const std::string& path, std::string_view bytes, mode_t mode)
{
    std::string temp = folder_of(path) + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    bool ok = fchmod(fd, mode) == 0 && write_all(fd, bytes) && fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && rename(temp.c_str(), path.c_str()) == 0)
        return 0;
    if (ok)
        error = errno;
    unlink(temp.c_str());
    return error ? error : EIO;
}

bool state_folder_writable(const std::string& folder)
{
    return faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool state_folder_make(const std::string& folder, mode_t mode)
{
    struct stat st{};
    if (stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    std::string parent = folder_of(folder);
    if (parent != folder && !state_folder_make(parent, mode))
        return false;
    return mkdir(folder.c_str(), mode) == 0 || errno == EEXIST;
}
