// Home folders from the password database; removal below them without links.
#include "platform/user_accounts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace {

void add_home(std::vector<std::string>* homes, const passwd* entry)
{
    if (!entry->pw_dir || !*entry->pw_dir)
        return;
    std::string home = entry->pw_dir;
    if (std::find(homes->begin(), homes->end(), home) == homes->end())
        homes->push_back(home);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

}  // namespace

std::vector<std::string> user_home_folders()
{
    std::vector<std::string> homes;
    const char* seam = std::getenv("SATCLOCK_PASSWD_FILE");
    if (seam && *seam) {
        FILE* file = std::fopen(seam, "re");
        if (!file)
            return homes;
        while (passwd* entry = fgetpwent(file))
            add_home(&homes, entry);
        std::fclose(file);
        return homes;
    }
    setpwent();
    while (passwd* entry = getpwent())
        add_home(&homes, entry);
    endpwent();
    return homes;
}

bool remove_file_beneath(const std::string& folder, const std::string& relative)
{
    Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno == ENOENT || errno == ENOTDIR;
    size_t start = 0;
    for (size_t slash = relative.find('/'); slash != std::string::npos; slash = relative.find('/', start)) {
        std::string part = relative.substr(start, slash - start);
        start = slash + 1;
        if (part.empty())
            continue;
        int next = openat(dir.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0)
            // Missing: nothing to delete. A link or a file in its place: not followed.
            return errno == ENOENT;
        dir.reset(next);
    }
    return unlinkat(dir.get(), relative.substr(start).c_str(), 0) == 0 || errno == ENOENT;
}
