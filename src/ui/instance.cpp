// Instance marker MutexSatclock: flock on MutexSatclock.lock; the holder
// listens on MutexSatclock.sock in the same folder for "show" requests.
#include "src/ui/instance.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <glib.h>
#include <glib-unix.h>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char lock_name[] = "MutexSatclock.lock";
constexpr char socket_name[] = "MutexSatclock.sock";
constexpr char show_request[] = "show\n";

int lock_fd = -1;      // held for the whole run by the first copy
int listen_fd = -1;    // the first copy's socket
std::string socket_path;
void (*show_handler)() = nullptr;

const char* env_nonempty(const char* name)
{
    const char* value = std::getenv(name);
    return (value && *value) ? value : nullptr;
}

// A shared temp folder needs a folder of our own, owned by us and closed to others.
bool private_dir_ok(const std::string& dir)
{
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return lstat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 0077) == 0;
}

bool socket_address(sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    return true;
}

bool start_listening()
{
    sockaddr_un address;
    if (!socket_address(address))
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    unlink(socket_path.c_str());  // left over by a copy that did not end cleanly; we hold the lock
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
        std::printf("instance: cannot listen on %s: %s\n", socket_path.c_str(), std::strerror(errno));
        close(fd);
        return false;
    }
    listen_fd = fd;
    return true;
}

// A second copy's connection: its request is read when it comes, never
// waited for, so the main loop goes on meanwhile.
struct Client {
    int fd;
    guint watch = 0;
    guint timeout = 0;
    std::string request;
};

constexpr guint kRequestPatienceMs = 500;

void end_client(Client* client)
{
    if (client->watch)
        g_source_remove(client->watch);
    if (client->timeout)
        g_source_remove(client->timeout);
    close(client->fd);
    delete client;
}

gboolean on_client_data(gint fd, GIOCondition, gpointer data)
{
    auto* client = static_cast<Client*>(data);
    char bytes[16];
    ssize_t n = read(fd, bytes, sizeof bytes);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return G_SOURCE_CONTINUE;
    if (n > 0)
        client->request.append(bytes, size_t(n));
    bool complete = client->request.find('\n') != std::string::npos;
    if (n > 0 && !complete && client->request.size() < sizeof show_request)
        return G_SOURCE_CONTINUE;
    if (client->request == show_request) {
        if (show_handler)
            show_handler();
        ssize_t ignored = write(fd, "ok\n", 3);
        (void)ignored;
    }
    client->watch = 0;  // this source ends with the return
    end_client(client);
    return G_SOURCE_REMOVE;
}

gboolean on_client_silent(gpointer data)
{
    auto* client = static_cast<Client*>(data);
    client->timeout = 0;
    end_client(client);
    return G_SOURCE_REMOVE;
}

gboolean on_request(gint fd, GIOCondition, gpointer)
{
    int accepted = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (accepted < 0)
        return G_SOURCE_CONTINUE;
    auto* client = new Client{accepted, 0, 0, {}};
    client->watch = g_unix_fd_add(accepted, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), on_client_data, client);
    client->timeout = g_timeout_add(kRequestPatienceMs, on_client_silent, client);
    return G_SOURCE_CONTINUE;
}

int connect_once()
{
    sockaddr_un address;
    if (!socket_address(address))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool await_answer(int fd, int timeout_ms)
{
    if (write(fd, show_request, sizeof show_request - 1) != ssize_t(sizeof show_request - 1))
        return false;
    char answer[8] = {};
    pollfd wait_for{fd, POLLIN, 0};
    return poll(&wait_for, 1, timeout_ms) == 1 && read(fd, answer, sizeof answer - 1) > 0 &&
           std::strncmp(answer, "ok", 2) == 0;
}

}  // namespace

std::string instance_dir()
{
    if (const char* runtime = env_nonempty("XDG_RUNTIME_DIR"))
        return runtime;
    const char* tmp = env_nonempty("TMPDIR");
    std::string dir = std::string(tmp ? tmp : "/tmp") + "/satclock-" + std::to_string(getuid());
    return private_dir_ok(dir) ? dir : std::string();
}

int instance_acquire()
{
    std::string dir = instance_dir();
    if (dir.empty())
        return -1;
    std::string lock_path = dir + "/" + lock_name;
    socket_path = dir + "/" + socket_name;
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        std::printf("instance: cannot open %s: %s\n", lock_path.c_str(), std::strerror(errno));
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? 0 : -1;
    }
    lock_fd = fd;
    start_listening();
    return 1;
}

void instance_listen(void (*on_show)())
{
    show_handler = on_show;
    if (listen_fd >= 0)
        g_unix_fd_add(listen_fd, G_IO_IN, on_request, nullptr);
}

int instance_ask_show(int timeout_ms)
{
    // The holder may still be between taking the lock and listening: retry a while.
    const timespec pause{0, 50 * 1000 * 1000};
    for (int waited = 0; waited < timeout_ms; waited += 50) {
        int fd = connect_once();
        if (fd >= 0) {
            bool answered = await_answer(fd, timeout_ms - waited);
            close(fd);
            return answered ? 1 : 0;
        }
        nanosleep(&pause, nullptr);
    }
    return 0;
}

void instance_release()
{
    if (listen_fd < 0)
        return;
    close(listen_fd);
    listen_fd = -1;
    unlink(socket_path.c_str());
}
