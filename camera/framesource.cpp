// The frame source: the camera library loaded at run time, the camera state under the
// camera lock, the ring behind the frame callback and the notification thread.
#include <dlfcn.h>
#include <errno.h>
#include <stdlib.h>

#include "frame_ring.h"
#include "framesource.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

// Created by the first cam_init, released by cam_deinit. The camera library's threads
// reach it through the callbacks, hence the atomic pointer.
std::atomic<CAMERA_PARAM *> g_param{nullptr};

CAMERA_PARAM *param() { return g_param.load(std::memory_order_acquire); }

void log_state(CAMERA_PARAM *p, const char *what) {
    rt_log(LOG_LEVEL_PORT, "%s mCameraParam->mCameraState [%d]", what, static_cast<int>(p->mCameraState));
}

int cam_frame_proc(uint64_t, const uint8_t *data, uint64_t length) {
    if (data == nullptr || length == 0) return -1;
    CAMERA_PARAM *p = param();
    if (p == nullptr || p->ring == nullptr) return 0;
    return ring_store(p, data, length);
}

int cam_notify_proc(uint32_t command) {
    rt_log(LOG_LEVEL_PORT, "%s Cmd [%d]", "cam_notify_proc", static_cast<int>(command));
    CAMERA_PARAM *p = param();
    if (p == nullptr) return 0;
    // Only the last command is kept: two before the thread runs are delivered as the newer.
    p->notify_command.store(command);
    sem_post(&p->notify_sem);
    return 0;
}

void *cam_thread_func(void *arg) {
    CAMERA_PARAM *p = static_cast<CAMERA_PARAM *>(arg);
    while (p->notify_run.load() != 0) {
        if (sem_wait(&p->notify_sem) != 0) continue;  // EINTR
        if (p->notify_run.load() == 0) break;
        const uint32_t command = p->notify_command.load();
        rt_log(LOG_LEVEL_PORT, "%s Cmd [%d]", "Cam_Thread_Func", static_cast<int>(command));
        pthread_mutex_lock(&p->camera_lock);
        CAM_NOTIFY_CALLBACK notify = p->notify;
        void *user = p->user_data;
        pthread_mutex_unlock(&p->camera_lock);
        // Called without the lock: a driver's callback closes the camera through it.
        if (notify != nullptr) notify(static_cast<int>(command), 0, user);
    }
    return nullptr;
}

void unbind_library(CAMERA_PARAM *p) {
    if (p->library != nullptr) dlclose(p->library);
    p->library = nullptr;
    p->lib_init = nullptr;
    p->lib_deinit = p->lib_open = p->lib_close = p->lib_start = p->lib_stop = nullptr;
    p->lib_ioctrl = nullptr;
}

template <typename Fn>
Fn bind(void *library, const char *name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

void bind_library(CAMERA_PARAM *p, void *library) {
    p->library = library;
    if (p->library == nullptr) {
        rt_log(LOG_LEVEL_PORT, "Camera Init Error\n");
        return;
    }
    p->lib_init = bind<FRAMECAM_INIT_FN>(p->library, "cam_init");
    p->lib_open = bind<FRAMECAM_HANDLE_FN>(p->library, "cam_open");
    p->lib_close = bind<FRAMECAM_HANDLE_FN>(p->library, "cam_close");
    p->lib_start = bind<FRAMECAM_HANDLE_FN>(p->library, "cam_start");
    p->lib_stop = bind<FRAMECAM_HANDLE_FN>(p->library, "cam_stop");
    p->lib_ioctrl = bind<FRAMECAM_IOCTRL_FN>(p->library, "cam_ioctrl");
    p->lib_deinit = bind<FRAMECAM_HANDLE_FN>(p->library, "cam_deinit");
}

void release_param(CAMERA_PARAM *p, bool thread_started) {
    if (thread_started) {
        p->notify_run.store(0);
        sem_post(&p->notify_sem);
        pthread_join(p->notify_thread, nullptr);
    }
    unbind_library(p);
    ring_release(p->ring, p->count);
    sem_destroy(&p->notify_sem);
    pthread_mutex_destroy(&p->frame_lock);
    pthread_mutex_destroy(&p->camera_lock);
    delete p;
}

// The first cam_init's state: ring, locks, semaphore and the notification thread; null
// (nothing kept) when any of them cannot be made.
CAMERA_PARAM *create_param(uint32_t count, uint32_t width, uint32_t height, uint64_t slot_size) {
    CAMERA_PARAM *p = new CAMERA_PARAM{};
    p->width = width;
    p->height = height;
    p->count = count;
    p->slot_size = slot_size;
    p->current = kNoSlot;
    p->ring = ring_create(count, slot_size);
    pthread_mutex_init(&p->camera_lock, nullptr);
    pthread_mutex_init(&p->frame_lock, nullptr);
    sem_init(&p->notify_sem, 0, 0);
    p->notify_run.store(1);
    if (p->ring == nullptr || pthread_create(&p->notify_thread, nullptr, cam_thread_func, p) != 0) {
        release_param(p, false);
        return nullptr;
    }
    return p;
}

// A later cam_init: frames that no longer fit the slots need a ring of larger slots, which
// can only replace the old one while nothing reads or fills it.
bool fit_ring(CAMERA_PARAM *p, uint32_t width, uint32_t height, uint64_t slot_size) {
    if (uint64_t{width} * height <= p->slot_size) return true;
    if (p->mCameraState != 0) {
        rt_log(LOG_LEVEL_PORT, "%s frames [%ux%u] need larger slots, camera state [%u]", "cam_init", width, height,
               p->mCameraState);
        return false;
    }
    FRAME_SLOT *ring = ring_create(p->count, slot_size);
    if (ring == nullptr) {
        rt_log(LOG_LEVEL_PORT, "%s no memory for slots of [%llu]", "cam_init", static_cast<unsigned long long>(slot_size));
        return false;
    }
    if (!ring_replace(p, ring, slot_size)) {
        rt_log(LOG_LEVEL_PORT, "%s frames [%ux%u] need larger slots, a slot is in use", "cam_init", width, height);
        return false;
    }
    p->width = width;
    p->height = height;
    return true;
}

// Open and start: under the camera lock, 0 when the bit is set already (open covers every
// state but 0), -1 without the library's function, else its result, which sets the bit
// when 0.
int set_state_bit(uint32_t bit, FRAMECAM_HANDLE_FN CAMERA_PARAM::*fn, int64_t handle, const char *what) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return -1;
    pthread_mutex_lock(&p->camera_lock);
    int result = 0;
    if ((p->mCameraState & bit) == 0) {
        result = p->*fn != nullptr ? (p->*fn)(handle) : -1;
        if (result == 0) {
            p->mCameraState |= bit;
            log_state(p, what);
        }
    }
    pthread_mutex_unlock(&p->camera_lock);
    return result;
}

}  // namespace

extern "C" int64_t cam_init(uint32_t direction, uint32_t format, int32_t count, uint32_t width, uint32_t height,
                            CAM_NOTIFY_CALLBACK notify, void *userData) {
    uint64_t slot_size = 0;
    if (count <= 0 || !ring_slot_size(width, height, &slot_size)) {
        rt_log(LOG_LEVEL_PORT, "%s refused: count [%d] size [%ux%u]", "cam_init", count, width, height);
        return 0;
    }
    CAMERA_PARAM *p = param();
    if (p == nullptr) {
        p = create_param(static_cast<uint32_t>(count), width, height, slot_size);
        if (p == nullptr) return 0;
        g_param.store(p, std::memory_order_release);
    }
    pthread_mutex_lock(&p->camera_lock);
    if (!fit_ring(p, width, height, slot_size)) {
        pthread_mutex_unlock(&p->camera_lock);
        return 0;
    }
    // Loaded again before the earlier load is let go, so that the library stays in place; a
    // camera of an earlier call goes back to it first.
    void *library = GetLibHandle("libframecam.so");
    if (p->camera != 0 && p->lib_deinit != nullptr) p->lib_deinit(p->camera);
    p->camera = 0;
    unbind_library(p);
    bind_library(p, library);
    p->user_data = userData;
    p->notify = notify;
    p->mCameraState = 0;
    if (p->lib_init != nullptr) p->camera = p->lib_init(direction, format, width, height, cam_frame_proc, cam_notify_proc);
    const int64_t camera = p->camera;
    pthread_mutex_unlock(&p->camera_lock);
    return camera;
}

extern "C" int cam_open(int64_t handle) { return set_state_bit(CAM_STATE_OPEN, &CAMERA_PARAM::lib_open, handle, "cam_open"); }

extern "C" int cam_close_interface(int64_t handle) {
    CAMERA_PARAM *p = param();
    if (p == nullptr || p->lib_close == nullptr) return -1;
    const int result = p->lib_close(handle);
    p->mCameraState = 0;
    log_state(p, "cam_close_interface");
    return result;
}

extern "C" int cam_close(int64_t handle) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return -1;
    pthread_mutex_lock(&p->camera_lock);
    const int result = p->mCameraState == 0 ? 0 : cam_close_interface(handle);
    pthread_mutex_unlock(&p->camera_lock);
    return result;
}

extern "C" int cam_stream_start(int64_t handle) {
    return set_state_bit(CAM_STATE_STREAMING, &CAMERA_PARAM::lib_start, handle, "cam_stream_start");
}

extern "C" int cam_stream_stop_interface(int64_t handle) {
    CAMERA_PARAM *p = param();
    if (p == nullptr || p->lib_stop == nullptr) return -1;
    const int result = p->lib_stop(handle);
    p->mCameraState = CAM_STATE_OPEN;
    log_state(p, "cam_stream_stop_interface");
    return result;
}

extern "C" int cam_stream_stop(int64_t handle) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return -1;
    pthread_mutex_lock(&p->camera_lock);
    const int result = (p->mCameraState & CAM_STATE_STREAMING) == 0 ? -1 : cam_stream_stop_interface(handle);
    pthread_mutex_unlock(&p->camera_lock);
    return result;
}

extern "C" int cam_ioctrl(int64_t handle, int cmd, int arg, void *pointer) {
    CAMERA_PARAM *p = param();
    if (p == nullptr || p->lib_ioctrl == nullptr) return -1;
    return p->lib_ioctrl(handle, cmd, arg, pointer);
}

extern "C" uint32_t cam_get_state(void) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return 0;
    pthread_mutex_lock(&p->camera_lock);
    const uint32_t state = p->mCameraState;
    pthread_mutex_unlock(&p->camera_lock);
    return state;
}

extern "C" int cam_rawframe_grab(int64_t, uint8_t **buffer, int32_t *length) {
    CAMERA_PARAM *p = param();
    if (p == nullptr || buffer == nullptr || length == nullptr) return -1;
    return ring_grab(p, buffer, length);
}

extern "C" int cam_rawframe_grab_free(int64_t) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return -1;
    ring_give_back(p);
    return 0;
}

extern "C" int cam_rawframe_grab_free_all(int64_t) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return -1;
    ring_give_back_all(p);
    return 0;
}

extern "C" int cam_deinit(int64_t handle) {
    CAMERA_PARAM *p = param();
    if (p == nullptr) return 0;
    // After the library's cam_deinit no frame callback runs; the notification thread is
    // stopped and joined before anything it reads is released.
    if (p->lib_deinit != nullptr) p->lib_deinit(handle);
    g_param.store(nullptr, std::memory_order_release);
    release_param(p, true);
    return 0;
}
