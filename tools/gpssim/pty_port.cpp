// Pty creation and the port-folder link.
#include "pty_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string errno_text(const std::string& what) { return what + ": " + std::strerror(errno); }

// A raw slave: no echo back into the master, no CR/LF translation either way.
bool make_raw(int fd)
{
    termios tio {};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

PtyPort::~PtyPort()
{
    remove_link();
    if (slave_ >= 0)
        close(slave_);
    if (master_ >= 0)
        close(master_);
}

bool PtyPort::open(const std::string& port_dir, int port, bool replace, std::string& error)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = errno_text("pty");
        return false;
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = errno_text("ptsname");
        return false;
    }
    slave_path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0 || !make_raw(slave_) || fcntl(master_, F_SETFL, O_NONBLOCK) != 0) {
        error = errno_text(slave_path_);
        return false;
    }
    mkdir(port_dir.c_str(), 0755);
    std::string link = port_dir + "/COM" + std::to_string(port);
    std::string temp = link + ".new" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(name, temp.c_str()) != 0) {
        error = errno_text(temp);
        return false;
    }
    struct stat existing {};
    if (!replace && lstat(link.c_str(), &existing) == 0) {
        unlink(temp.c_str());
        error = link + " exists (use --replace)";
        return false;
    }
    if (rename(temp.c_str(), link.c_str()) != 0) {
        error = errno_text(link);
        unlink(temp.c_str());
        return false;
    }
    link_path_ = link;
    return true;
}

// Removes the link only while it still points at this simulator's pty.
void PtyPort::remove_link()
{
    if (link_path_.empty())
        return;
    char target[256];
    ssize_t n = readlink(link_path_.c_str(), target, sizeof target - 1);
    if (n > 0) {
        target[n] = '\0';
        if (slave_path_ == target)
            unlink(link_path_.c_str());
    }
    link_path_.clear();
}
