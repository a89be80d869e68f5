// The status sockets of running copies: abstract AF_UNIX stream sockets.
#include "platform/status_socket.h"

#include "platform/env.h"
#include "platform/unix_socket.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t kAnswerLimit = 64 * 1024;

std::string name_stem() { return env_value("SATCLOCK_CHANNEL_PREFIX") + "satclock-status-"; }

socklen_t status_address(pid_t pid, sockaddr_un* address)
{
    return unix_abstract_address(name_stem() + std::to_string(pid), address);
}

int64_t monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool sent_by(int fd, pid_t pid)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.pid == pid;
}

bool read_answer(int fd, std::string* answer, int timeout_ms)
{
    int64_t deadline = monotonic_ms() + timeout_ms;
    char bytes[4096];
    for (;;) {
        int left = int(deadline - monotonic_ms());
        pollfd wait_for{fd, POLLIN, 0};
        if (left <= 0 || poll(&wait_for, 1, left) != 1)
            return false;
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        answer->append(bytes, size_t(n));
        if (answer->size() > kAnswerLimit)
            return false;
    }
}

}  // namespace

int status_socket_listen()
{
    sockaddr_un address;
    socklen_t length = status_address(getpid(), &address);
    return length == 0 ? -1 : unix_stream_listen(address, length);
}

int status_socket_accept(int listen_fd) { return unix_stream_accept(listen_fd); }

void status_socket_answer(int connection_fd, std::string_view answer)
{
    // A few kilobytes fit a fresh socket's buffer: a reader that never reads costs nothing.
    ssize_t ignored = send(connection_fd, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)ignored;
    close(connection_fd);
}

void status_socket_close(int fd)
{
    if (fd >= 0)
        close(fd);
}

// /proc/net/unix: "Num RefCount Protocol Flags Type St Inode Path", an
// abstract name shown with "@" for its leading NUL; a listening socket has
// the flag __SO_ACCEPTCON (00010000).
std::vector<pid_t> status_socket_pids()
{
    std::vector<pid_t> pids;
    std::ifstream table("/proc/net/unix");
    std::string stem = name_stem();
    stem.insert(stem.begin(), '@');
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string num, refs, protocol, flags, type, state, inode, path;
        if (!(fields >> num >> refs >> protocol >> flags >> type >> state >> inode >> path) ||
            flags != "00010000" || path.compare(0, stem.size(), stem) != 0)
            continue;
        std::string digits = path.substr(stem.size());
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        pid_t pid = pid_t(std::atol(digits.c_str()));
        if (pid != getpid())
            pids.push_back(pid);
    }
    return pids;
}

bool status_socket_fetch(pid_t pid, std::string* answer, int timeout_ms)
{
    answer->clear();
    sockaddr_un address;
    socklen_t length = status_address(pid, &address);
    int fd = length == 0 ? -1 : unix_stream_connect(address, length);
    bool ok = fd >= 0 && sent_by(fd, pid) && read_answer(fd, answer, timeout_ms);
    status_socket_close(fd);
    return ok;
}
