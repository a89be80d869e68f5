// Safe replacement of small files: temporary file, fsync, rename, attributes kept.
#include "platform/file_replace.h"

#include <acl/libacl.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <csignal>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileDescriptor::close()
{
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
}

FileDescriptor file_open_reading(const std::string& path)
{
    return FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

FileDescriptor file_open_writing(const std::string& path)
{
    return FileDescriptor(open(path.c_str(), O_RDWR | O_CLOEXEC));
}

bool file_read_all(int fd, std::string& out, size_t limit)
{
    out.clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = pread(fd, chunk, sizeof chunk, off_t(out.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(chunk, size_t(n));
        if (out.size() > limit) {
            out.clear();
            errno = EFBIG;
            return false;
        }
    }
}

bool file_write_all_at(int fd, std::string_view bytes, off_t offset)
{
    while (!bytes.empty()) {
        ssize_t n = pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
        offset += n;
    }
    return true;
}

std::string file_write_target(const std::string& path)
{
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved))
            return resolved;
    }
    return path;
}

namespace {

std::string folder_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool unsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

enum class Attributes { kept, cannot_keep, failed };

// The replacement keeps the old file's owner, group, mode and access list, so
// other users keep the rights the installer gave them. Only root may give a
// file away; where any of them cannot be kept, the file is not replaced.
Attributes copy_attributes(int from, int to)
{
    struct stat st{};
    if (fstat(from, &st) != 0)
        return Attributes::failed;
    if (fchown(to, st.st_uid, st.st_gid) != 0)
        return errno == EPERM ? Attributes::cannot_keep : Attributes::failed;
    if (fchmod(to, st.st_mode & 07777) != 0)
        return Attributes::failed;
    acl_t acl = acl_get_fd(from);
    if (!acl)
        return unsupported(errno) ? Attributes::kept : Attributes::failed;
    int rc = acl_set_fd(to, acl);
    int error = errno;
    acl_free(acl);
    if (rc == 0)
        return Attributes::kept;
    return unsupported(error) || error == EPERM ? Attributes::cannot_keep : Attributes::failed;
}

void sync_folder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

FileReplace file_replace_by_rename(const std::string& target, int old_fd, std::string_view bytes)
{
    std::string folder = folder_of(target);
    std::string base = target.substr(target.rfind('/') + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    int temp_fd = mkostemp(temp.data(), O_CLOEXEC);
    if (temp_fd < 0)
        return FileReplace::no_temp;
    Attributes attributes = copy_attributes(old_fd, temp_fd);
    if (attributes == Attributes::cannot_keep) {
        close(temp_fd);
        unlink(temp.c_str());
        return FileReplace::no_temp;
    }
    bool ok = attributes == Attributes::kept && file_write_all_at(temp_fd, bytes, 0) && fsync(temp_fd) == 0;
    ok = (close(temp_fd) == 0) && ok;
    if (ok && rename(temp.c_str(), target.c_str()) == 0) {
        sync_folder(folder);
        return FileReplace::done;
    }
    int error = errno;
    unlink(temp.c_str());
    errno = error;
    return FileReplace::failed;
}

bool file_rewrite_in_place(int fd, std::string_view old_bytes, std::string_view bytes)
{
    size_t same = 0;
    while (same < old_bytes.size() && same < bytes.size() && old_bytes[same] == bytes[same])
        ++same;
    if (file_write_all_at(fd, bytes.substr(same), off_t(same)) && ftruncate(fd, off_t(bytes.size())) == 0 &&
        fsync(fd) == 0)
        return true;
    int error = errno;
    if (file_write_all_at(fd, old_bytes.substr(same), off_t(same)))
        (void)!ftruncate(fd, off_t(old_bytes.size()));
    fsync(fd);
    errno = error;
    return false;
}

bool file_create_new(const std::string& path, std::string_view bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = file_write_all_at(fd, bytes, 0) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (!ok) {
        int error = errno;
        unlink(path.c_str());
        errno = error;
    }
    return ok;
}

namespace {

// The lock is waited for in the kernel, which hands it to its waiters in turn
// (two busy writers alternate; polling would let one starve the other), and a
// timer signal to this thread ends the wait: its handler, installed without
// SA_RESTART, makes flock return EINTR.
int folder_lock_wake_signal() { return SIGRTMIN + 8; }

void install_wake_handler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(folder_lock_wake_signal(), &action, nullptr);
    });
}

int64_t monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Exclusive flock on fd, waited for at most patience_ms. 0 or an errno value.
int lock_within(int fd, int patience_ms)
{
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
    if (errno != EWOULDBLOCK)
        return errno;
    install_wake_handler();
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = folder_lock_wake_signal();
    event._sigev_un._tid = gettid();  // sigev_notify_thread_id, not named by this C library yet
    timer_t timer{};
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return errno;
    // Fires at the deadline and every 10 ms after it, so a signal that lands
    // just before flock is entered again cannot leave it waiting for ever.
    itimerspec when{{0, 10 * 1000 * 1000}, {patience_ms / 1000, long(patience_ms % 1000) * 1000000L}};
    timer_settime(timer, 0, &when, nullptr);
    int64_t deadline = monotonic_ms() + patience_ms;
    // A thread that blocks the signal would never be woken: not while it waits here.
    sigset_t wake{}, old_mask{};
    sigemptyset(&wake);
    sigaddset(&wake, folder_lock_wake_signal());
    pthread_sigmask(SIG_UNBLOCK, &wake, &old_mask);
    int error = 0;
    while (flock(fd, LOCK_EX) != 0) {
        error = errno;
        if (error != EINTR || monotonic_ms() >= deadline) {
            error = error == EINTR ? EWOULDBLOCK : error;
            break;
        }
        error = 0;
    }
    timer_delete(timer);
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    return error;
}

}  // namespace

FolderLock::FolderLock(const std::string& path, int patience_ms)
{
    fd_ = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    error_ = lock_within(fd_, patience_ms);
    if (error_ != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}
