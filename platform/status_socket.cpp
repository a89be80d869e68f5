// The status sockets of running copies: abstract AF_UNIX stream sockets.
#include "platform/status_socket.h"

#include "platform/deadline.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/unix_socket.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

constexpr size_t kAnswerLimit = 64 * 1024;

std::string name_stem() { return env_value("SATCLOCK_CHANNEL_PREFIX") + "satclock-status-"; }

socklen_t status_address(pid_t pid, sockaddr_un* address)
{
    return unix_abstract_address(name_stem() + std::to_string(pid), address);
}

bool sent_by(int fd, pid_t pid)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 && credentials.pid == pid;
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
    int64_t deadline = platform_deadline_after_ms(timeout_ms);
    bool ok = fd >= 0 && sent_by(fd, pid) && file_read_to_end(fd, answer, deadline, kAnswerLimit);
    status_socket_close(fd);
    return ok;
}
