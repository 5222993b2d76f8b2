// The camera arbitration client: commands to the arbitration service over the message link
// and the stream watchdog.
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

#include <android/log.h>

#include "zptcamera_client.h"
#include "zptutils.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "CAMERA_USER goes on the wire as it lies in memory");

namespace {

constexpr uint32_t kLogMask = 0x01;
constexpr uint16_t kCameraType = 0;
constexpr int kReplyPolls = 20000;
constexpr int kReplyPollUs = 10;
constexpr int kPresencePolls = 2000;
constexpr int kSettleMs = 2000;
constexpr int kWatchdogTickMs = 500;
constexpr uint32_t kTicksBeforeFiring = 3;

struct CameraClient {
    // Active user, from the last get-state reply; under reply_lock.
    uint32_t active_user_id;
    uint32_t active_state;
    int32_t active_pid;
    char active_name[CAMERA_NAME_SIZE];
    uint32_t user_id;  // written once, before ready
    std::atomic<uint32_t> waiting;
    // Under stream_lock.
    bool streaming;
    uint32_t ticks;
    COMM_THREAD watchdog;
    pthread_mutex_t reply_lock;
    pthread_mutex_t stream_lock;
    sem_t watchdog_sem;
    std::atomic<camera_notify_callback> notify;
    LINK_CONTEXT *link;
    int init_result;
    std::atomic<bool> ready;
};

CameraClient g_client;
// Two first calls at once make one link and one watchdog.
pthread_mutex_t g_init_lock = PTHREAD_MUTEX_INITIALIZER;

bool client_ready() { return g_client.ready.load(std::memory_order_acquire); }

__attribute__((format(printf, 1, 2))) void client_log(const char *format, ...) {
    if ((log_get_level() & kLogMask) == 0) return;
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    __android_log_write(ANDROID_LOG_DEBUG, LINK_LOG_TAG, text);
}

// The 20-byte name field: at most 19 characters and a zero, empty for NULL.
void copy_name(char (&field)[CAMERA_NAME_SIZE], const char *name) {
    memset(field, 0, sizeof field);
    if (name == nullptr) return;
    size_t n = strnlen(name, sizeof field - 1);
    memcpy(field, name, n);
}

uint32_t own_pid() { return static_cast<uint32_t>(getpid()); }

void send_camera_user(uint8_t command, const CAMERA_USER &user) {
    net_direct_send(g_client.link, static_cast<uint16_t>(kCameraType << 8 | command), &user, sizeof user);
}

// The reply's bytes come from another process: a payload shorter than a CAMERA_USER is
// ignored and the name is ended in its field before it is used.
void camera_on_reply(LINK_CHUNK *reply, LINK_SEND_NODE * /*request*/) {
    if (reply == nullptr || reply->data == nullptr || reply->length < static_cast<int32_t>(LINK_HEADER_SIZE)) return;
    LINK_HEADER h;
    memcpy(&h, reply->data, sizeof h);
    if (h.command != CAMERA_CMD_GET_STATE) return;
    uint32_t payload_length = static_cast<uint32_t>(reply->length) - LINK_HEADER_SIZE;
    if (h.length < payload_length) payload_length = h.length;
    if (payload_length < sizeof(CAMERA_USER)) return;
    CAMERA_USER user;
    memcpy(&user, reply->data + LINK_HEADER_SIZE, sizeof user);
    user.name[CAMERA_NAME_SIZE - 1] = '\0';
    pthread_mutex_lock(&g_client.reply_lock);
    g_client.active_user_id = user.userId;
    g_client.active_state = user.state;
    g_client.active_pid = static_cast<int32_t>(user.pid);
    memcpy(g_client.active_name, user.name, sizeof user.name);
    g_client.waiting.store(0, std::memory_order_release);
    pthread_mutex_unlock(&g_client.reply_lock);
    client_log("[CMD_Get_Camera Client] Recv LocalPid [%d] [%s] Pid [%d] State [%d]", getpid(), user.name,
               static_cast<int>(user.pid), static_cast<int>(user.state));
}

int camera_on_request(LINK_CHUNK *request) {
    if (request == nullptr || request->data == nullptr || request->length < static_cast<int32_t>(LINK_HEADER_SIZE)) {
        return 1;
    }
    LINK_HEADER h;
    memcpy(&h, request->data, sizeof h);
    client_log("camera_distribute UsedId [%d] cmd [%d]", static_cast<int>(g_client.user_id), h.command);
    if (g_client.user_id == 2) {
        if (h.command == CAMERA_CMD_SERVICE_4) camera_state_notify(CAMERA_NOTIFY_STALLED, 0, 0);
        if (h.command == CAMERA_CMD_SERVICE_5) camera_state_notify(CAMERA_NOTIFY_SERVICE_5, 0, 0);
    }
    return 1;
}

bool stream_on() {
    pthread_mutex_lock(&g_client.stream_lock);
    bool on = g_client.streaming;
    pthread_mutex_unlock(&g_client.stream_lock);
    return on;
}

void *camera_watchdog(void *) {
    while (__atomic_load_n(&g_client.watchdog.run, __ATOMIC_ACQUIRE) != 0) {
        while (sem_wait(&g_client.watchdog_sem) != 0) {
        }
        while (stream_on()) {
            msleep(kWatchdogTickMs);
            pthread_mutex_lock(&g_client.stream_lock);
            bool fire = false;
            if (g_client.ticks > kTicksBeforeFiring) {
                g_client.ticks = 0;
                fire = true;
            } else {
                ++g_client.ticks;
            }
            pthread_mutex_unlock(&g_client.stream_lock);
            if (!fire) continue;
            camera_state_notify(CAMERA_NOTIFY_STALLED, 0, 0);
            client_log("KILL CAMERA_TASK_NAME ========================= Stream");
            kill_task(CAMERA_DAEMON_NAME);
            camera_state_notify(CAMERA_NOTIFY_DAEMON_STOPPED, 0, 0);
            pthread_mutex_lock(&g_client.stream_lock);
            g_client.streaming = false;
            g_client.ticks = 0;
            pthread_mutex_unlock(&g_client.stream_lock);
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

int camera_client_init(uint32_t userId) {
    pthread_mutex_lock(&g_init_lock);
    if (client_ready()) {
        int result = g_client.init_result;
        pthread_mutex_unlock(&g_init_lock);
        return result;
    }
    g_client.user_id = userId;
    g_client.active_user_id = 0;
    g_client.active_state = 0;
    g_client.active_pid = -1;
    memset(g_client.active_name, 0, sizeof g_client.active_name);
    pthread_mutex_init(&g_client.reply_lock, nullptr);
    pthread_mutex_init(&g_client.stream_lock, nullptr);
    g_client.link = start_comm(0, nullptr);
    client_log("pocject_init ===================== Mode SOCKET_TYPE_CLIENT [%d]", static_cast<int>(userId));
    set_recivedata_func(g_client.link, kCameraType, camera_on_request, camera_on_reply);
    sem_init(&g_client.watchdog_sem, 0, 0);
    g_client.init_result = common_thread_Start(&g_client.watchdog, camera_watchdog, nullptr);
    g_client.ready.store(true, std::memory_order_release);
    int result = g_client.init_result;
    pthread_mutex_unlock(&g_init_lock);
    return result;
}

int camera_get_state(void) {
    if (!client_ready()) return -1;
    g_client.waiting.store(1, std::memory_order_release);
    net_direct_send(g_client.link, static_cast<uint16_t>(kCameraType << 8 | CAMERA_CMD_GET_STATE), nullptr, 0);
    for (int polls = 0; polls < kReplyPolls && g_client.waiting.load(std::memory_order_acquire) != 0; ++polls) {
        usleep(kReplyPollUs);
    }
    pthread_mutex_lock(&g_client.reply_lock);
    int32_t pid = g_client.active_pid;
    uint32_t state = g_client.active_state;
    char name[CAMERA_NAME_SIZE];
    memcpy(name, g_client.active_name, sizeof name);
    pthread_mutex_unlock(&g_client.reply_lock);
    client_log("[camera_get_state Client]NowPid [%d] Remote Active [%s] Pid [%d] State [%d] WaitEcho [%d]", getpid(),
               name, pid, static_cast<int>(state), static_cast<int>(g_client.waiting.load()));
    return pid == static_cast<int32_t>(getpid()) ? 0 : -1;
}

int camera_set_state(uint32_t state, const char *name) {
    if (!client_ready()) return 0;
    CAMERA_USER user = {CAMERA_KIND_STATE, g_client.user_id, state, own_pid(), {}};
    copy_name(user.name, name);
    client_log("[camera_set_state Client] Setting NowPid [%d] Name [%s] State [%d]", getpid(), user.name,
               static_cast<int>(state));
    send_camera_user(CAMERA_CMD_SET_STATE, user);
    return 0;
}

void kill_task(const char *name) {
    if (!client_ready()) return;
    CAMERA_USER user = {CAMERA_KIND_STOP, 0, 0, own_pid(), {}};
    copy_name(user.name, name);
    send_camera_user(CAMERA_CMD_STOP_PROCESS, user);
    int left = kPresencePolls;
    while (left > 0 && common_get_pid(user.name) == 0) {
        msleep(1);
        --left;
    }
    msleep(kSettleMs);
    client_log("%s Loop [%d]", "kill_task", left);
}

void camera_stream_start(void) {
    if (!client_ready()) return;
    pthread_mutex_lock(&g_client.stream_lock);
    bool was_on = g_client.streaming;
    g_client.streaming = true;
    g_client.ticks = 0;
    if (!was_on) sem_post(&g_client.watchdog_sem);
    pthread_mutex_unlock(&g_client.stream_lock);
    client_log("%s", "camera_stream_start");
}

void camera_stream_stop(void) {
    if (!client_ready()) return;
    pthread_mutex_lock(&g_client.stream_lock);
    g_client.streaming = false;
    g_client.ticks = 0;
    pthread_mutex_unlock(&g_client.stream_lock);
    client_log("%s", "camera_stream_stop");
}

void camera_stream_reset(void) {
    if (!client_ready()) return;
    pthread_mutex_lock(&g_client.stream_lock);
    g_client.ticks = 0;
    pthread_mutex_unlock(&g_client.stream_lock);
}

void camera_stream_set_notify(camera_notify_callback callback) {
    if (!client_ready()) return;
    g_client.notify.store(callback, std::memory_order_release);
}

void camera_state_notify(int code, int a, int b) {
    if (!client_ready()) return;
    camera_notify_callback callback = g_client.notify.load(std::memory_order_acquire);
    if (callback != nullptr) callback(code, a, b);
}

}  // extern "C"
