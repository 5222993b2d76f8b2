// Local socket layer: abstract AF_UNIX stream sockets, a server with two client slots and
// a client that reconnects. Bytes go to a receive callback as they are read; this layer
// knows nothing of message boundaries.
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "link_internal.h"

namespace {

constexpr int kSendBufferBytes = 3900000;
constexpr int kSlots = 2;
constexpr int kBacklog = 2;
constexpr int kServerPollMs = 1;
constexpr long kClientPollNs = 100000;
constexpr int kReconnectSleepMs = 10;
constexpr int kAcceptRetrySleepMs = 20;
// A write that makes no progress for this long gives up and drops its connection, so a
// peer that stops reading cannot hold a sender (and the locks it holds) for ever.
constexpr int kSendStallMs = 2000;
constexpr int kInterruptRetries = 100;

struct SOCKET_SERVER {
    pthread_mutex_t lock;
    int32_t slots[kSlots];  // -1: empty
    int32_t listener;       // -1: none
    COMM_THREAD accept_thread;
    COMM_THREAD recv_thread;
    socket_recv_callback callback;
    uint8_t buffer[SOCKET_READ_SIZE];
    void *user;
    bool accept_started;
    bool recv_started;
};

struct SOCKET_CLIENT {
    int32_t fd;  // -1: not connected
    COMM_THREAD recv_thread;
    socket_recv_callback callback;
    uint8_t buffer[SOCKET_READ_SIZE];
    void *user;
    // Writers hold it while they use fd; the receive thread holds it to replace fd.
    pthread_mutex_t lock;
    bool recv_started;
    char name[SOCKET_NAME_MAX + 1];  // reconnects go to the name of the first connection
};

socklen_t abstract_address(const char *name, sockaddr_un *addr) {
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    size_t len = strlen(name);
    memcpy(addr->sun_path + 1, name, len);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
}

bool name_fits(const char *name) { return strnlen(name, SOCKET_NAME_MAX + 1) <= SOCKET_NAME_MAX; }

void enlarge_send_buffer(int fd) {
    int size = kSendBufferBytes;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
}

// Writes all bytes without raising SIGPIPE; false when the peer has gone or stalls.
bool write_all(int fd, const uint8_t *bytes, int32_t count) {
    size_t left = static_cast<size_t>(count);
    int interrupts = 0;
    while (left > 0) {
        ssize_t n = send(fd, bytes, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes += n;
            left -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR && ++interrupts < kInterruptRetries) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p = {fd, POLLOUT, 0};
            int ready = poll(&p, 1, kSendStallMs);
            if (ready > 0 && (p.revents & POLLOUT) != 0) continue;
            if (ready < 0 && errno == EINTR && ++interrupts < kInterruptRetries) continue;
        }
        return false;
    }
    return true;
}

int socket_local_server(const char *name) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        link_log(LINK_LOG_ERROR, "%s Error1", "socket_local_server");
        return -1;
    }
    int size = 0;
    socklen_t size_len = sizeof size;
    getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &size_len);
    enlarge_send_buffer(fd);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_un addr;
    if (!name_fits(name) || bind(fd, reinterpret_cast<sockaddr *>(&addr), abstract_address(name, &addr)) != 0) {
        link_log(LINK_LOG_ERROR, "%s Error2", "socket_local_server");
        close(fd);
        return -1;
    }
    if (listen(fd, kBacklog) != 0) {
        link_log(LINK_LOG_ERROR, "%s Error3", "socket_local_server");
        close(fd);
        return -1;
    }
    return fd;
}

void *socket_service_thread_func(void *arg) {
    SOCKET_SERVER *server = static_cast<SOCKET_SERVER *>(arg);
    if (server == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error 1", "socket_service_thread_func");
        return nullptr;
    }
    // Closing wakes accept by shutting the listener down; accept then fails at once.
    while (link_flag_get(&server->accept_thread.run) != 0) {
        int fd = accept4(server->listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (link_flag_get(&server->accept_thread.run) != 0) msleep(kAcceptRetrySleepMs);
            continue;
        }
        enlarge_send_buffer(fd);
        pthread_mutex_lock(&server->lock);
        int slot = server->slots[0] < 0 ? 0 : server->slots[1] < 0 ? 1 : -1;
        if (slot >= 0) {
            server->slots[slot] = fd;
            link_log(LINK_LOG_ERROR, "Socket=================OK [%d] [%d]\n", slot, fd);
        } else {
            // Both slots busy: closed at once, so the client sees the drop and tries again.
            link_log(LINK_LOG_ERROR, "socket_service_thread_func slots full [%d]\n", fd);
            close(fd);
        }
        pthread_mutex_unlock(&server->lock);
    }
    return nullptr;
}

int socket_service_openserver(SOCKET_SERVER *server, const char *name) {
    if (server == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error1", "socket_service_openserver");
        return -1;
    }
    int fd = socket_local_server(name);
    if (fd < 0) {
        link_log(LINK_LOG_ERROR, "%s Error2", "socket_service_openserver");
        return -1;
    }
    server->listener = fd;
    if (comm_thread_start_joinable(&server->accept_thread, socket_service_thread_func, server) != 0) return -1;
    server->accept_started = true;
    return 0;
}

// Reads one slot that poll found ready; called with the record lock held.
void server_read_slot(SOCKET_SERVER *server, int slot) {
    int fd = server->slots[slot];
    ssize_t n = recv(fd, server->buffer, sizeof server->buffer, MSG_DONTWAIT);
    if (n > 0) {
        if (server->callback != nullptr) server->callback(server->user, server->buffer, static_cast<int32_t>(n));
        return;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    link_log(LINK_LOG_ERROR, n == 0 ? "socket disconnected!connect again 2\n" : "socket disconnected! connect again! 1\n");
    close(fd);
    server->slots[slot] = -1;
}

void *socket_recv_proc(void *arg) {
    SOCKET_SERVER *server = static_cast<SOCKET_SERVER *>(arg);
    while (link_flag_get(&server->recv_thread.run) != 0) {
        pollfd fds[kSlots];
        pthread_mutex_lock(&server->lock);
        for (int i = 0; i < kSlots; ++i) fds[i] = {server->slots[i], POLLIN, 0};  // -1 is ignored by poll
        pthread_mutex_unlock(&server->lock);
        int ready = poll(fds, kSlots, kServerPollMs);
        if (ready < 0) {
            if (errno != EINTR) link_log(LINK_LOG_ERROR, "socket disconnected ! connect again!\n");
            continue;
        }
        if (ready == 0) continue;
        pthread_mutex_lock(&server->lock);
        for (int i = 0; i < kSlots; ++i) {
            // The slot may have been emptied (and even refilled) since the poll.
            if (fds[i].fd >= 0 && fds[i].revents != 0 && server->slots[i] == fds[i].fd) server_read_slot(server, i);
        }
        pthread_mutex_unlock(&server->lock);
    }
    return nullptr;
}

void *socket_service_open(socket_recv_callback callback, const char *name, void *user) {
    SOCKET_SERVER *server = static_cast<SOCKET_SERVER *>(calloc(1, sizeof(SOCKET_SERVER)));
    if (server == nullptr) return nullptr;
    server->user = user;
    pthread_mutex_init(&server->lock, nullptr);
    server->slots[0] = server->slots[1] = -1;
    server->listener = -1;
    if (name != nullptr) link_log(LINK_LOG_ERROR, "%s [%s]", "socket_service_open", name);
    socket_service_openserver(server, name != nullptr ? name : SOCKET_DEFAULT_NAME);
    server->callback = callback;
    if (comm_thread_start_joinable(&server->recv_thread, socket_recv_proc, server) != 0) {
        socket_service_close(server);
        link_log(LINK_LOG_ERROR, "%s Error [%d]", "socket_service_open", 805);
        return nullptr;
    }
    server->recv_started = true;
    return server;
}

// A connected socket, -1 when none can be made or the name is too long, -2 when refused.
int socket_client_connect(const char *name) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    enlarge_send_buffer(fd);
    if (!name_fits(name)) {
        close(fd);
        return -1;
    }
    sockaddr_un addr;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), abstract_address(name, &addr)) != 0) {
        close(fd);
        return -2;
    }
    return fd;
}

// Closes the connection; the next pass reconnects. The pause keeps a client that a full
// server closes at once from reconnecting in a tight loop.
void client_drop(SOCKET_CLIENT *client) {
    pthread_mutex_lock(&client->lock);
    close(client->fd);
    client->fd = -1;
    pthread_mutex_unlock(&client->lock);
    msleep(kReconnectSleepMs);
}

void *socket_client_recv_proc(void *arg) {
    SOCKET_CLIENT *client = static_cast<SOCKET_CLIENT *>(arg);
    // Only this thread changes fd, so it reads its own value without the lock.
    while (link_flag_get(&client->recv_thread.run) != 0) {
        if (client->fd < 0) {
            int fd = socket_client_connect(client->name);
            if (fd < 0) {
                msleep(kReconnectSleepMs);
                continue;
            }
            pthread_mutex_lock(&client->lock);
            client->fd = fd;
            pthread_mutex_unlock(&client->lock);
            link_log(LINK_LOG_ERROR, "socket connect again!\n");
        }
        pollfd p = {client->fd, POLLIN, 0};
        timespec wait = {0, kClientPollNs};
        int ready = ppoll(&p, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno != EINTR) {
                link_log(LINK_LOG_ERROR, "socket disconnected ! connect again!\n");
                client_drop(client);
            }
            continue;
        }
        if (ready == 0) continue;
        ssize_t n = recv(client->fd, client->buffer, sizeof client->buffer, MSG_DONTWAIT);
        if (n > 0) {
            if (client->callback != nullptr) client->callback(client->user, client->buffer, static_cast<int32_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            link_log(LINK_LOG_ERROR, n == 0 ? "socket disconnected!connect again 2\n"
                                            : "socket disconnected! connect again! 1\n");
            client_drop(client);
        }
    }
    return nullptr;
}

void *socket_client_open(socket_recv_callback callback, const char *name, void *user) {
    SOCKET_CLIENT *client = static_cast<SOCKET_CLIENT *>(calloc(1, sizeof(SOCKET_CLIENT)));
    if (client == nullptr) return nullptr;
    client->user = user;
    pthread_mutex_init(&client->lock, nullptr);
    const char *use = name != nullptr ? name : SOCKET_DEFAULT_NAME;
    client->fd = socket_client_connect(use);
    if (client->fd < 0) {
        client->fd = -1;  // never connects later: no thread, no callback
        return client;
    }
    size_t len = strlen(use);  // fits: the connect checked it
    memcpy(client->name, use, len + 1);
    client->callback = callback;
    if (comm_thread_start_joinable(&client->recv_thread, socket_client_recv_proc, client) != 0) {
        socket_client_close(client);
        return nullptr;
    }
    client->recv_started = true;
    return client;
}

int socket_client_send(SOCKET_CLIENT *client, const uint8_t *bytes, int32_t count) {
    pthread_mutex_lock(&client->lock);
    int result = 0;
    if (client->fd >= 0) {
        if (write_all(client->fd, bytes, count)) {
            result = count;
        } else {
            // Never leave half a message in the stream: the receive thread sees the end and
            // reconnects.
            link_log(LINK_LOG_ERROR, "%s Error [%d]", "socket_send", errno);
            shutdown(client->fd, SHUT_RDWR);
            result = -1;
        }
    }
    pthread_mutex_unlock(&client->lock);
    return result;
}

}  // namespace

extern "C" {

void *socket_open(int kind, socket_recv_callback callback, const char *name, void *user) {
    if (kind == SOCKET_KIND_SERVER) return socket_service_open(callback, name, user);
    return socket_client_open(callback, name, user);
}

int socket_send(void *record, int kind, const uint8_t *bytes, int32_t count) {
    if (record == nullptr || count < 0 || (bytes == nullptr && count > 0)) return 0;
    if (kind == SOCKET_KIND_SERVER) return socket_service_send(record, bytes, count);
    return socket_client_send(static_cast<SOCKET_CLIENT *>(record), bytes, count);
}

int socket_service_send(void *record, const uint8_t *bytes, int32_t count) {
    SOCKET_SERVER *server = static_cast<SOCKET_SERVER *>(record);
    if (server == nullptr || count < 0 || (bytes == nullptr && count > 0)) return 0;
    pthread_mutex_lock(&server->lock);
    for (int i = 0; i < kSlots; ++i) {
        if (server->slots[i] < 0 || write_all(server->slots[i], bytes, count)) continue;
        // A client that has gone or stopped reading loses its connection.
        link_log(LINK_LOG_ERROR, "%s Error [%d] [%d]", "socket_service_send", i, errno);
        close(server->slots[i]);
        server->slots[i] = -1;
    }
    pthread_mutex_unlock(&server->lock);
    return 0;
}

void socket_close(void *record, int kind) {
    if (record == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error1", "socket_close");
        return;
    }
    if (kind == SOCKET_KIND_SERVER) {
        socket_service_close(record);
    } else {
        socket_client_close(record);
    }
}

void socket_service_close(void *record) {
    SOCKET_SERVER *server = static_cast<SOCKET_SERVER *>(record);
    if (server == nullptr) return;
    // Both threads have left before anything they use goes away.
    if (server->recv_started) comm_thread_join(&server->recv_thread);
    if (server->accept_started) {
        link_flag_set(&server->accept_thread.run, 0);
        shutdown(server->listener, SHUT_RDWR);  // wakes accept; closing alone does not
        comm_thread_join(&server->accept_thread);
    }
    if (server->listener >= 0) close(server->listener);
    pthread_mutex_lock(&server->lock);
    for (int i = 0; i < kSlots; ++i) {
        if (server->slots[i] >= 0) close(server->slots[i]);
        server->slots[i] = -1;
    }
    pthread_mutex_unlock(&server->lock);
    pthread_mutex_destroy(&server->lock);
    free(server);
    link_log(LINK_LOG_ERROR, "%s ", "socket_service_close");
}

void socket_client_close(void *record) {
    SOCKET_CLIENT *client = static_cast<SOCKET_CLIENT *>(record);
    if (client == nullptr) return;
    if (client->recv_started) comm_thread_join(&client->recv_thread);
    pthread_mutex_lock(&client->lock);
    if (client->fd >= 0) close(client->fd);
    client->fd = -1;
    pthread_mutex_unlock(&client->lock);
    pthread_mutex_destroy(&client->lock);
    free(client);
    link_log(LINK_LOG_ERROR, "%s ", "socket_client_close");
}

}  // extern "C"
