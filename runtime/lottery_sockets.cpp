// Lottery-terminal image sockets: the last camera frame served whole to any local process
// that connects, and pushed on request to a listening one. The decode thread fills the
// buffer for every frame: it copies under a short lock and never waits for a client; the
// server writes a snapshot, so a frame is never served half replaced.
#include <pthread.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr char kServiceName[] = "com.corvane.brevik.servicesocket";
constexpr char kLocalName[] = "com.corvane.brevik.localsocket";
constexpr char kImageFile[] = "/data/barcode.yuv";
constexpr int kBacklog = 2;
constexpr int kPeerAddressSize = 16;
constexpr int kAcceptRetryMs = 20;
constexpr int kCloseDelayMs = 50;
// A client that stops reading loses its connection after this long without progress.
constexpr int kSendTimeoutMs = 1000;

std::mutex g_image_lock;
uint8_t g_image[TICAI_IMAGE_SIZE];  // guarded by g_image_lock
std::atomic<uint32_t> g_fill_length{0};

SOCKET_SERVICE g_server = {-1, 0, pthread_t{}};
// The server thread's own copy of the frame it serves.
uint8_t g_served[TICAI_IMAGE_SIZE];

std::mutex g_local_lock;
int g_local_fd = -1;                // guarded by g_local_lock
uint8_t g_pushed[TICAI_IMAGE_SIZE];  // guarded by g_local_lock

// An abstract address: the family, a zero byte, the name without its terminator.
socklen_t abstract_address(const char *name, sockaddr_un *address) {
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    size_t length = strlen(name);
    memcpy(address->sun_path + 1, name, length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}
static_assert(offsetof(sockaddr_un, sun_path) + 1 + sizeof kServiceName - 1 == 35, "service address length");
static_assert(offsetof(sockaddr_un, sun_path) + 1 + sizeof kLocalName - 1 == 33, "local address length");

// Writes all bytes without raising SIGPIPE, under the socket's send time-out: true when
// every byte went out.
bool send_all(int fd, const uint8_t *bytes, size_t length) {
    timeval timeout = {kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    size_t done = 0;
    while (done < length) {
        ssize_t n = send(fd, bytes + done, length - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void snapshot(uint8_t *to, size_t length) {
    std::lock_guard<std::mutex> hold(g_image_lock);
    memcpy(to, g_image, length);
}

void serve(int client) {
    snapshot(g_served, sizeof g_served);
    send_all(client, g_served, sizeof g_served);
    plat_sleep_real(kCloseDelayMs);
    close(client);
    SaveFile(kImageFile, g_served, static_cast<int32_t>(sizeof g_served));
}

void log_send_buffer(int fd) {
    int size = 0;
    socklen_t length = sizeof size;
    if (getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &length) != 0)
        rt_log(LOG_LEVEL_DETAIL, "Get Send Buffer Error\n");
    else
        rt_log(LOG_LEVEL_DETAIL, "snd_size ============ [%d]", size);
}

void close_local_locked() {
    if (g_local_fd >= 0) close(g_local_fd);
    g_local_fd = -1;
}

}  // namespace

extern "C" void *socket_service_thread_func(void *record) {
    SOCKET_SERVICE *server = static_cast<SOCKET_SERVICE *>(record);
    rt_log(LOG_LEVEL_DETAIL, "socket_service_thread_func");
    if (server == nullptr) return nullptr;
    while (std::atomic_ref<int32_t>(server->run).load(std::memory_order_acquire) != 0) {
        uint8_t peer[kPeerAddressSize];
        socklen_t peer_length = sizeof peer;
        int client = accept4(server->fd, reinterpret_cast<sockaddr *>(peer), &peer_length, SOCK_CLOEXEC);
        if (client < 0) {
            plat_sleep_real(kAcceptRetryMs);
            continue;
        }
        serve(client);
    }
    return nullptr;
}

extern "C" int socket_service_init(void) {
    rt_log(LOG_LEVEL_DETAIL, "socket_service_init");
    {
        std::lock_guard<std::mutex> hold(g_image_lock);
        memset(g_image, 0x80, sizeof g_image);
    }
    rt_log(LOG_LEVEL_DETAIL, "socket_service_open");
    rt_log(LOG_LEVEL_DETAIL, "socket_local_server");
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        rt_log(LOG_LEVEL_DETAIL, "Failed to get socket from environment\n");
        return -1;
    }
    rt_log(LOG_LEVEL_DETAIL, "socket_local_server_bind");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_un address;
    socklen_t length = abstract_address(kServiceName, &address);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(fd, kBacklog) != 0) {
        close(fd);
        rt_log(LOG_LEVEL_DETAIL, "Failed to get socket from environment\n");
        return -1;
    }
    // Only one server can hold the name: the record is the running server's from here on.
    g_server.fd = fd;
    std::atomic_ref<int32_t>(g_server.run).store(1, std::memory_order_release);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int started = pthread_create(&g_server.thread, &attributes, socket_service_thread_func, &g_server);
    pthread_attr_destroy(&attributes);
    if (started != 0) {
        std::atomic_ref<int32_t>(g_server.run).store(0, std::memory_order_release);
        close(fd);
        g_server.fd = -1;
        rt_log(LOG_LEVEL_DETAIL, "pthread_create===========error");
        return -1;
    }
    return 0;
}

extern "C" void socket_service_fill_buf(const uint8_t *image, uint32_t length) {
    g_fill_length.store(length, std::memory_order_relaxed);
    rt_log(LOG_LEVEL_DETAIL, "image mBufLen=%d", static_cast<int>(length));
    if (image == nullptr) return;
    if (length > TICAI_LUMA_SIZE) length = TICAI_LUMA_SIZE;
    std::lock_guard<std::mutex> hold(g_image_lock);
    memcpy(g_image, image, length);
}

extern "C" int socket_local_send(const uint8_t *image, uint32_t length) {
    rt_log(LOG_LEVEL_DETAIL, "socket_local_send");
    g_fill_length.store(length, std::memory_order_relaxed);
    std::lock_guard<std::mutex> hold(g_local_lock);
    close_local_locked();
    rt_log(LOG_LEVEL_DETAIL, "socket_local_client");
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    log_send_buffer(fd);
    int size = static_cast<int>(TICAI_LUMA_SIZE);
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
        rt_log(LOG_LEVEL_DETAIL, "Set Send Buffer Error\n");
    log_send_buffer(fd);
    rt_log(LOG_LEVEL_DETAIL, "socket_local_client_connect");
    sockaddr_un address;
    socklen_t address_length = abstract_address(kLocalName, &address);
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), address_length) != 0) {
        close(fd);
        return -2;
    }
    if (length > TICAI_IMAGE_SIZE) length = TICAI_IMAGE_SIZE;
    {
        std::lock_guard<std::mutex> image_hold(g_image_lock);
        if (image != nullptr) memcpy(g_image, image, length);
        memcpy(g_pushed, g_image, length);
    }
    bool sent = send_all(fd, g_pushed, length);
    rt_log(LOG_LEVEL_DETAIL, "socket_local_send [%d] ret [%d]\n", static_cast<int>(length),
           sent ? static_cast<int>(length) : -1);
    if (!sent) {
        // A failed push leaves no connection open.
        close(fd);
        return -5;
    }
    g_local_fd = fd;
    return 0;
}

extern "C" void socket_local_close(void) {
    std::lock_guard<std::mutex> hold(g_local_lock);
    close_local_locked();
}
