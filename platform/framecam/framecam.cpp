// The host's camera library: a camera per handle that streams generated frames or image
// files at a set rate on a thread of its own, and a journal of every call for the tests.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "framecam.h"
#include "imageio/image_io.h"
#include "imageio/scale.h"
#include "plat.h"

#define FRAMECAM_EXPORT extern "C" __attribute__((visibility("default")))

FRAMECAM_EXPORT int64_t cam_init(uint32_t direction, uint32_t format, uint32_t width, uint32_t height,
                                 FRAMECAM_FRAME_FN frame, FRAMECAM_NOTIFY_FN notify);
FRAMECAM_EXPORT int cam_open(int64_t handle);
FRAMECAM_EXPORT int cam_close(int64_t handle);
FRAMECAM_EXPORT int cam_start(int64_t handle);
FRAMECAM_EXPORT int cam_stop(int64_t handle);
FRAMECAM_EXPORT int cam_ioctrl(int64_t handle, int cmd, int arg, void *pointer);
FRAMECAM_EXPORT int cam_deinit(int64_t handle);

// The frame source binds these by name: their types must be the ones it casts to.
static_assert(std::is_same_v<decltype(&cam_init), FRAMECAM_INIT_FN>);
static_assert(std::is_same_v<decltype(&cam_open), FRAMECAM_HANDLE_FN>);
static_assert(std::is_same_v<decltype(&cam_close), FRAMECAM_HANDLE_FN>);
static_assert(std::is_same_v<decltype(&cam_start), FRAMECAM_HANDLE_FN>);
static_assert(std::is_same_v<decltype(&cam_stop), FRAMECAM_HANDLE_FN>);
static_assert(std::is_same_v<decltype(&cam_deinit), FRAMECAM_HANDLE_FN>);
static_assert(std::is_same_v<decltype(&cam_ioctrl), FRAMECAM_IOCTRL_FN>);

namespace {

constexpr int kDefaultRate = 30;
constexpr int kMaxRate = 1000;
constexpr int kDefaultBackground = 255;
// Largest frame served: far above any engine sensor, small enough to allocate.
constexpr uint64_t kMaxFramePixels = uint64_t{4096} * 4096;
constexpr int kMaxCameras = 16;
constexpr int kMaxImages = 256;

struct Camera {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t delivered_cond = PTHREAD_COND_INITIALIZER;
    uint32_t width = 0, height = 0;
    FRAMECAM_FRAME_FN frame_fn = nullptr;
    FRAMECAM_NOTIFY_FN notify_fn = nullptr;
    int rate = kDefaultRate;
    uint8_t background = kDefaultBackground;
    bool open = false;
    bool streaming = false;
    bool fail_open = false, fail_start = false;
    int next_answer = 0; // of the next control the library does not know itself
    int coded_control = -1; // the control that answers coded_answer next, -1 none
    int coded_answer = 0;
    bool run = false;  // the frame thread's run flag, under lock
    pthread_t thread{};
    // Selection: 0 generated frames, n the n-th image; the serial counts selections, and a
    // frame delivered carries the serial it was made under.
    int selection = 0;
    uint64_t selection_serial = 1;
    uint64_t delivered_serial = 0;
    std::vector<uint8_t> image;  // the selected image as a whole frame
    uint32_t frame_number = 0;
};

pthread_mutex_t g_cameras_lock = PTHREAD_MUTEX_INITIALIZER;
Camera *g_cameras[kMaxCameras];

void journal(const char *format, ...) __attribute__((format(printf, 1, 2)));
void journal(const char *format, ...) {
    char line[256];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line, sizeof line - 1, format, ap);
    va_end(ap);
    if (n < 0) return;
    size_t len = static_cast<size_t>(n) < sizeof line - 2 ? static_cast<size_t>(n) : sizeof line - 2;
    line[len++] = '\n';
    plat_mkdir("/data", 0755);
    plat_mkdir("/data/framecam", 0755);
    int fd = plat_open(FRAMECAM_JOURNAL_PATH, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    // One write per line: lines of several threads do not mix.
    ssize_t written = write(fd, line, len);
    (void)written;
    close(fd);
}

// The camera of a handle this library gave out and has not taken back; null otherwise.
Camera *find_camera(int64_t handle) {
    Camera *found = nullptr;
    pthread_mutex_lock(&g_cameras_lock);
    for (Camera *c : g_cameras)
        if (c != nullptr && reinterpret_cast<int64_t>(c) == handle) found = c;
    pthread_mutex_unlock(&g_cameras_lock);
    return found;
}

bool add_camera(Camera *camera) {
    bool added = false;
    pthread_mutex_lock(&g_cameras_lock);
    for (Camera *&slot : g_cameras) {
        if (slot == nullptr) {
            slot = camera;
            added = true;
            break;
        }
    }
    pthread_mutex_unlock(&g_cameras_lock);
    return added;
}

void remove_camera(Camera *camera) {
    pthread_mutex_lock(&g_cameras_lock);
    for (Camera *&slot : g_cameras)
        if (slot == camera) slot = nullptr;
    pthread_mutex_unlock(&g_cameras_lock);
}

bool read_device_text(const char *path, std::string *text) {
    FILE *f = plat_fopen(path, "rb");
    if (f == nullptr) return false;
    char buf[4096];
    size_t n;
    // Settings and lists are small; a runaway file is cut.
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text->size() < (1u << 20)) text->append(buf, n);
    fclose(f);
    return true;
}

std::vector<std::string> text_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size() && lines.size() < kMaxImages) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void read_settings(Camera *camera) {
    std::string text;
    if (!read_device_text(FRAMECAM_CONFIG_PATH, &text)) return;
    for (const std::string &line : text_lines(text)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        long value = strtol(line.c_str() + eq + 1, nullptr, 10);
        if (key == "rate" && value >= 1 && value <= kMaxRate) camera->rate = static_cast<int>(value);
        if (key == "background" && value >= 0 && value <= 255) camera->background = static_cast<uint8_t>(value);
    }
}

// Image n of the list as a whole frame: read, made grey, scaled down to fit when larger,
// placed centred on the background.
bool load_selection(const Camera &camera, int n, std::vector<uint8_t> *frame) {
    std::string text;
    if (n < 1 || !read_device_text(FRAMECAM_IMAGES_PATH, &text)) return false;
    std::vector<std::string> names = text_lines(text);
    if (static_cast<size_t>(n) > names.size()) return false;
    char host[PLAT_PATH_MAX];
    if (plat_path(names[static_cast<size_t>(n) - 1].c_str(), host, sizeof host) < 0) return false;
    imageio::Frame image;
    std::string error;
    if (!imageio::LoadImage(host, &image, &error)) return false;
    const int64_t fw = camera.width, fh = camera.height;
    if (image.width > fw || image.height > fh) {
        // The side that overflows more decides the scale; the other keeps the proportions.
        int w = static_cast<int>(fw), h = static_cast<int>(fh);
        if (int64_t{image.width} * fh > int64_t{image.height} * fw)
            h = static_cast<int>(std::max<int64_t>(1, int64_t{image.height} * fw / image.width));
        else
            w = static_cast<int>(std::max<int64_t>(1, int64_t{image.width} * fh / image.height));
        image = imageio::ScaleDown(image, w, h);
    }
    frame->assign(static_cast<size_t>(fw * fh), camera.background);
    const int64_t x0 = (fw - image.width) / 2, y0 = (fh - image.height) / 2;
    for (int y = 0; y < image.height; ++y)
        memcpy(frame->data() + (y0 + y) * fw + x0, image.pixels.data() + int64_t{y} * image.width,
               static_cast<size_t>(image.width));
    return true;
}

void stamp_frame(std::vector<uint8_t> *frame, uint32_t number) {
    memset(frame->data(), static_cast<int>(number & 0xFF), frame->size());
    for (size_t i = 0; i < FRAMECAM_STAMP_BYTES && i < frame->size(); ++i)
        (*frame)[i] = static_cast<uint8_t>(number >> (8 * i));
}

void add_ns(struct timespec *t, int64_t ns) {
    t->tv_nsec += ns;
    while (t->tv_nsec >= 1000000000) {
        t->tv_nsec -= 1000000000;
        ++t->tv_sec;
    }
}

bool before(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Makes the next frame into out under the camera's lock: the serial it belongs to.
uint64_t make_frame(Camera *camera, std::vector<uint8_t> *out) {
    pthread_mutex_lock(&camera->lock);
    uint64_t serial = camera->selection_serial;
    if (camera->selection == 0)
        stamp_frame(out, ++camera->frame_number);
    else
        memcpy(out->data(), camera->image.data(), out->size());
    pthread_mutex_unlock(&camera->lock);
    return serial;
}

void *frame_thread(void *arg) {
    Camera *camera = static_cast<Camera *>(arg);
    std::vector<uint8_t> frame(static_cast<size_t>(uint64_t{camera->width} * camera->height));
    const int64_t period_ns = 1000000000 / camera->rate;
    struct timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        pthread_mutex_lock(&camera->lock);
        bool run = camera->run;
        pthread_mutex_unlock(&camera->lock);
        if (!run) break;
        uint64_t serial = make_frame(camera, &frame);
        camera->frame_fn(0, frame.data(), frame.size());
        pthread_mutex_lock(&camera->lock);
        camera->delivered_serial = serial;
        pthread_cond_broadcast(&camera->delivered_cond);
        pthread_mutex_unlock(&camera->lock);
        add_ns(&next, period_ns);
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        // A late frame shifts the schedule rather than sending a burst to catch up.
        if (before(next, now)) next = now;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
        }
    }
    return nullptr;
}

int wait_frame(Camera *camera, int timeout_ms) {
    struct timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    add_ns(&deadline, int64_t{timeout_ms < 0 ? 0 : timeout_ms} * 1000000);
    pthread_mutex_lock(&camera->lock);
    int result = 0;
    // While stopped the next frame will be of the selection: nothing to wait for.
    while (camera->streaming && camera->delivered_serial < camera->selection_serial) {
        if (pthread_cond_timedwait(&camera->delivered_cond, &camera->lock, &deadline) == ETIMEDOUT) {
            result = camera->delivered_serial < camera->selection_serial ? -1 : 0;
            break;
        }
    }
    pthread_mutex_unlock(&camera->lock);
    return result;
}

int select_image(Camera *camera, int n) {
    std::vector<uint8_t> image;
    if (n != 0 && !load_selection(*camera, n, &image)) return -1;
    pthread_mutex_lock(&camera->lock);
    camera->selection = n;
    camera->image.swap(image);
    ++camera->selection_serial;
    pthread_mutex_unlock(&camera->lock);
    return 0;
}

Camera *new_camera(uint32_t width, uint32_t height, FRAMECAM_FRAME_FN frame, FRAMECAM_NOTIFY_FN notify) {
    Camera *camera = new Camera;
    camera->width = width;
    camera->height = height;
    camera->frame_fn = frame;
    camera->notify_fn = notify;
    read_settings(camera);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&camera->delivered_cond, &attr);
    pthread_condattr_destroy(&attr);
    return camera;
}

}  // namespace

FRAMECAM_EXPORT int64_t cam_init(uint32_t direction, uint32_t format, uint32_t width, uint32_t height,
                                 FRAMECAM_FRAME_FN frame, FRAMECAM_NOTIFY_FN notify) {
    const uint64_t pixels = uint64_t{width} * height;
    Camera *camera = nullptr;
    if (pixels > 0 && pixels <= kMaxFramePixels && frame != nullptr) {
        camera = new_camera(width, height, frame, notify);
        if (!add_camera(camera)) {
            pthread_cond_destroy(&camera->delivered_cond);
            delete camera;
            camera = nullptr;
        }
    }
    const int64_t handle = reinterpret_cast<int64_t>(camera);
    journal("cam_init %u %u %u %u = %lld", direction, format, width, height, static_cast<long long>(handle));
    return handle;
}

FRAMECAM_EXPORT int cam_open(int64_t handle) {
    journal("cam_open %lld", static_cast<long long>(handle));
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    pthread_mutex_lock(&camera->lock);
    int result = camera->fail_open ? -1 : 0;
    camera->fail_open = false;
    if (result == 0) camera->open = true;
    pthread_mutex_unlock(&camera->lock);
    return result;
}

FRAMECAM_EXPORT int cam_start(int64_t handle) {
    journal("cam_start %lld", static_cast<long long>(handle));
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    pthread_mutex_lock(&camera->lock);
    int result = 0;
    if (camera->fail_start || !camera->open) {
        result = -1;
    } else if (!camera->streaming) {
        camera->run = true;
        if (pthread_create(&camera->thread, nullptr, frame_thread, camera) == 0)
            camera->streaming = true;
        else
            result = -1;
    }
    camera->fail_start = false;
    pthread_mutex_unlock(&camera->lock);
    return result;
}

FRAMECAM_EXPORT int cam_stop(int64_t handle) {
    journal("cam_stop %lld", static_cast<long long>(handle));
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    pthread_mutex_lock(&camera->lock);
    bool streaming = camera->streaming;
    camera->run = false;
    pthread_mutex_unlock(&camera->lock);
    // Joined before returning: no frame callback runs once cam_stop is back.
    if (streaming) pthread_join(camera->thread, nullptr);
    pthread_mutex_lock(&camera->lock);
    camera->streaming = false;
    pthread_cond_broadcast(&camera->delivered_cond);
    pthread_mutex_unlock(&camera->lock);
    return 0;
}

FRAMECAM_EXPORT int cam_close(int64_t handle) {
    journal("cam_close %lld", static_cast<long long>(handle));
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    pthread_mutex_lock(&camera->lock);
    bool streaming = camera->streaming;
    pthread_mutex_unlock(&camera->lock);
    if (streaming) cam_stop(handle);
    pthread_mutex_lock(&camera->lock);
    camera->open = false;
    pthread_mutex_unlock(&camera->lock);
    return 0;
}

FRAMECAM_EXPORT int cam_ioctrl(int64_t handle, int cmd, int arg, void *pointer) {
    journal("cam_ioctrl %lld 0x%x %d", static_cast<long long>(handle), static_cast<unsigned>(cmd), arg);
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    switch (cmd) {
        case FRAMECAM_IOCTRL_SELECT: return select_image(camera, arg);
        case FRAMECAM_IOCTRL_WAIT_FRAME: return wait_frame(camera, arg);
        case FRAMECAM_IOCTRL_NOTIFY:
            return camera->notify_fn != nullptr ? camera->notify_fn(static_cast<uint32_t>(arg)) : -1;
        case FRAMECAM_IOCTRL_FAIL_NEXT:
            pthread_mutex_lock(&camera->lock);
            camera->fail_open = (arg & FRAMECAM_FAIL_OPEN) != 0;
            camera->fail_start = (arg & FRAMECAM_FAIL_START) != 0;
            pthread_mutex_unlock(&camera->lock);
            return 0;
        case FRAMECAM_IOCTRL_ANSWER_NEXT:
            pthread_mutex_lock(&camera->lock);
            camera->next_answer = arg;
            pthread_mutex_unlock(&camera->lock);
            return 0;
        case FRAMECAM_IOCTRL_ANSWER_CODE:
            if (pointer == nullptr) return -1;
            pthread_mutex_lock(&camera->lock);
            camera->coded_control = arg;
            camera->coded_answer = *static_cast<const int *>(pointer);
            pthread_mutex_unlock(&camera->lock);
            return 0;
        case FRAMECAM_IOCTRL_NOTIFY_FN:
            if (pointer == nullptr) return -1;
            *static_cast<FRAMECAM_NOTIFY_FN *>(pointer) = camera->notify_fn;
            return 0;
        default: {
            pthread_mutex_lock(&camera->lock);
            int answer = 0;
            if (cmd == camera->coded_control) {
                answer = camera->coded_answer;
                camera->coded_control = -1;
            } else {
                answer = camera->next_answer;
                camera->next_answer = 0;
            }
            pthread_mutex_unlock(&camera->lock);
            return answer;
        }
    }
}

FRAMECAM_EXPORT int cam_deinit(int64_t handle) {
    journal("cam_deinit %lld", static_cast<long long>(handle));
    Camera *camera = find_camera(handle);
    if (camera == nullptr) return -1;
    pthread_mutex_lock(&camera->lock);
    bool open = camera->open;
    pthread_mutex_unlock(&camera->lock);
    // The library's own close (and stop): -Bsymbolic keeps these calls here even when the
    // frame source, with functions of the same names, came first in the process.
    if (open) cam_close(handle);
    remove_camera(camera);
    pthread_cond_destroy(&camera->delivered_cond);
    pthread_mutex_destroy(&camera->lock);
    delete camera;
    return 0;
}
