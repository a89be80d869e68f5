// Instance marker MutexSatclock: flock on MutexSatclock.lock; the holder
// listens on MutexSatclock.sock in the same folder for "show" requests.
#include "src/ui/instance.h"

#include "platform/deadline.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/local_socket.h"
#include "platform/lock_file.h"
#include "platform/user_accounts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <glib-unix.h>
#include <string>

namespace {

constexpr char lock_name[] = "MutexSatclock.lock";
constexpr char socket_name[] = "MutexSatclock.sock";
constexpr char show_request[] = "show\n";

int lock_fd = -1;      // held for the whole run by the first copy
int listen_fd = -1;    // the first copy's socket
std::string socket_path;
void (*show_handler)() = nullptr;

bool start_listening()
{
    // A socket left by a copy that did not end cleanly is replaced: we hold the lock.
    int fd = local_socket_listen(socket_path);
    if (fd < 0) {
        std::printf("instance: cannot listen on %s: %s\n", socket_path.c_str(), std::strerror(errno));
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
    local_socket_close(client->fd);
    delete client;
}

gboolean on_client_data(gint fd, GIOCondition, gpointer data)
{
    auto* client = static_cast<Client*>(data);
    char bytes[16];
    long n = local_socket_read(fd, bytes, sizeof bytes);
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
        local_socket_send(fd, "ok\n");
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
    int accepted = local_socket_accept(fd);
    if (accepted < 0)
        return G_SOURCE_CONTINUE;
    auto* client = new Client{accepted, 0, 0, {}};
    client->watch = g_unix_fd_add(accepted, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), on_client_data, client);
    client->timeout = g_timeout_add(kRequestPatienceMs, on_client_silent, client);
    return G_SOURCE_CONTINUE;
}

}  // namespace

std::string instance_dir()
{
    // A shared temp folder needs a folder of our own, owned by us and closed to others.
    std::string runtime = env_value("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime;
    std::string tmp = env_value("TMPDIR");
    std::string dir = (tmp.empty() ? std::string("/tmp") : tmp) + "/satclock-" + std::to_string(own_user_id());
    return make_private_folder(dir) ? dir : std::string();
}

int instance_acquire()
{
    std::string dir = instance_dir();
    if (dir.empty())
        return -1;
    std::string lock_path = dir + "/" + lock_name;
    socket_path = dir + "/" + socket_name;
    switch (lock_file_take(lock_path, &lock_fd)) {
    case LockTake::held:
        break;
    case LockTake::busy:
        return 0;
    case LockTake::cannot_open:
        std::printf("instance: cannot open %s: %s\n", lock_path.c_str(), std::strerror(errno));
        return -1;
    case LockTake::cannot_lock:
        return -1;
    }
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
    // The holder may still be between taking the lock and listening.
    const int64_t deadline = platform_deadline_after_ms(timeout_ms);
    int fd = local_socket_connect_within(socket_path, timeout_ms);
    if (fd < 0)
        return 0;
    std::string answer;
    bool answered = local_socket_ask(fd, show_request, &answer, platform_ms_left(deadline)) &&
                    answer.compare(0, 2, "ok") == 0;
    local_socket_close(fd);
    return answered ? 1 : 0;
}

void instance_release()
{
    if (listen_fd < 0)
        return;
    local_socket_remove(listen_fd, socket_path);
    listen_fd = -1;
}
