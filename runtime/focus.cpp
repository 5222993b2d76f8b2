// Focus area: the aimer found in camera frames by the spot-finding library, averaged
// over a calibration, and turned into the band the decoder searches first.
#include <dlfcn.h>
#include <string.h>

#include <mutex>

#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

namespace {

constexpr int kRing = 20;
constexpr int kDefaultWidth = 100;
constexpr uint32_t kTypeDots = 0;
constexpr uint32_t kTypeCross = 1;
constexpr uint32_t kTypeBrightCross = 2;
// The outline detector writes four points; one slot more is logged, so it is ours.
constexpr int kOutlinePoints = 5;
constexpr const char *kStars51 = "***************************************************";
static_assert(sizeof("***************************************************") == 52, "51 asterisks");

struct Rect {
    int32_t left, top, right, bottom;
};
struct Point {
    int32_t x, y;
};

using LightDotsFn = int (*)(const uint8_t *, int, int, Rect *, int *);
using DetectCrossFn = int (*)(const uint8_t *, int, int, int *);
using CrossLightFn = int (*)(const uint8_t *, int, int, int *, double *);

struct FocusState {
    void *handle = nullptr;
    uint32_t type = kTypeCross;
    CrossLightFn cross_light = nullptr;
    DetectCrossFn detect_cross = nullptr;
    LightDotsFn light_dots = nullptr;
    uint8_t calibrating = 0;
    uint8_t index = 0;
    int32_t width = 0;
    int32_t height = 0;
    FOCUS_CALLBACK callback = nullptr;
    void *argument = nullptr;
    int32_t band[kRing] = {};
    Point line_start[kRing] = {};
    Point line_end[kRing] = {};
    Point points[kRing] = {};
    int32_t result[4] = {};
    uint32_t level = FOCUS_LEVEL_MIDDLE;
    int32_t values[3] = {};
    int32_t user = 0;
};

FocusState g_focus;
// The decode thread runs frames through the state while a maintenance request (a socket
// thread) starts or ends a calibration: every entry point holds the lock. The calibration's
// callback runs after it is released, since it may reach the focus functions again.
std::mutex g_focus_lock;

// Of the twenty values: the sum less one largest and one smallest, over 18.
template <typename Get>
int32_t trimmed_mean(Get get) {
    int64_t sum = 0;
    int32_t lo = get(0), hi = get(0);
    for (int i = 0; i < kRing; ++i) {
        int32_t v = get(i);
        sum += v;
        if (v < lo) lo = v;
        if (v > hi) hi = v;
    }
    return static_cast<int32_t>((sum - lo - hi) / (kRing - 2));
}

int32_t band_width() {
    switch (g_focus.level) {
    case FOCUS_LEVEL_HIGH: return g_focus.values[0];
    case FOCUS_LEVEL_MIDDLE: return g_focus.values[1];
    case FOCUS_LEVEL_LOW: return g_focus.values[2];
    case FOCUS_LEVEL_USER: return g_focus.user;
    default: return kDefaultWidth;
    }
}

void decode_area(int *area) {
    int32_t half = band_width() / 2;
    const int32_t *r = g_focus.result;
    area[0] = r[0] > half ? r[0] - half : 0;
    area[1] = r[1];
    area[2] = r[2];
    area[3] = r[3] + half < g_focus.height ? r[3] + half : r[3];
}

void banner(uint32_t mask, const char *name) {
    rt_log(mask, "************************%s*************************", name);
}

// One detection of the current type into line (type 0) or point; the outputs are cleared
// first, so a detector that finds nothing leaves zeros.
int detect(const uint8_t *pixels, int width, int height, int line[4], int point[2]) {
    memset(line, 0, 4 * sizeof(int));
    memset(point, 0, 2 * sizeof(int));
    if (g_focus.handle == nullptr) return -1;
    switch (g_focus.type) {
    case kTypeDots: {
        if (g_focus.light_dots == nullptr) return -1;
        Rect whole = {0, 0, width - 1, height - 1};
        return g_focus.light_dots(pixels, width, height, &whole, line);
    }
    case kTypeCross: {
        if (g_focus.detect_cross == nullptr) return -1;
        int r = g_focus.detect_cross(pixels, width, height, point);
        rt_log(LOG_LEVEL_DETAIL, "%s", kStars51);
        rt_log(LOG_LEVEL_DETAIL, "FOCUS_POINT_LOW x [%d] y [%d]", point[0], point[1]);
        rt_log(LOG_LEVEL_DETAIL, "%s", kStars51);
        return r;
    }
    case kTypeBrightCross: {
        if (g_focus.cross_light == nullptr) return -1;
        int outline[kOutlinePoints * 2] = {};
        double angles[2] = {};
        int r = g_focus.cross_light(pixels, width, height, outline, angles);
        point[0] = outline[4];  // the topmost point
        point[1] = outline[5];
        rt_log(LOG_LEVEL_DETAIL, "%s", kStars51);
        for (int i = 0; i < kOutlinePoints; ++i) {
            rt_log(LOG_LEVEL_DETAIL, "FOCUS_POINT_HIGH x [%d] y [%d]", outline[2 * i], outline[2 * i + 1]);
        }
        rt_log(LOG_LEVEL_DETAIL, "%s", kStars51);
        return r;
    }
    default:
        return -1;
    }
}

void advance() { g_focus.index = static_cast<uint8_t>((g_focus.index + 1) % kRing); }

void finish_points(int32_t area[4]) {
    int32_t x = trimmed_mean([](int i) { return g_focus.points[i].x; });
    int32_t y = trimmed_mean([](int i) { return g_focus.points[i].y; });
    area[0] = y;
    area[1] = 0;
    area[2] = g_focus.width;
    area[3] = y;
    banner(LOG_LEVEL_OPER, "X3Focus_Oper");
    rt_log(LOG_LEVEL_OPER, "x [%d] y [%d]", x, y);
    rt_log(LOG_LEVEL_OPER, "Left [%d] Right [%d] Top [%d] Bottom [%d]", area[1], area[2], area[0], area[3]);
    banner(LOG_LEVEL_OPER, "X3Focus_Oper");
}

void finish_band(int32_t area[4]) {
    int32_t sx = trimmed_mean([](int i) { return g_focus.line_start[i].x; });
    int32_t sy = trimmed_mean([](int i) { return g_focus.line_start[i].y; });
    int32_t ex = trimmed_mean([](int i) { return g_focus.line_end[i].x; });
    int32_t ey = trimmed_mean([](int i) { return g_focus.line_end[i].y; });
    int32_t h = trimmed_mean([](int i) { return g_focus.band[i]; });
    int32_t mid = (sy + ey) / 2;
    area[0] = mid - h / 2;
    area[1] = sx;
    area[2] = ex;
    area[3] = mid + h / 2;
    banner(LOG_LEVEL_OPER, "X3Focus_Oper");
    rt_log(LOG_LEVEL_OPER, "x [%d] y [%d]", sx, sy);
    rt_log(LOG_LEVEL_OPER, "x [%d] y [%d]", ex, ey);
    rt_log(LOG_LEVEL_OPER, "Range [%d]", h);
    rt_log(LOG_LEVEL_OPER, "Left [%d] Right [%d] Top [%d] Bottom [%d]", area[1], area[2], area[0], area[3]);
    banner(LOG_LEVEL_OPER, "X3Focus_Oper");
}

}  // namespace

namespace {

void release_library_locked() {
    if (g_focus.handle != nullptr) dlclose(g_focus.handle);
    g_focus.handle = nullptr;
    g_focus.cross_light = nullptr;
    g_focus.detect_cross = nullptr;
    g_focus.light_dots = nullptr;
}

}  // namespace

void focus_test_reset() {
    std::lock_guard<std::mutex> hold(g_focus_lock);
    release_library_locked();
    g_focus = FocusState{};
}

extern "C" int InitX3Focus(const FOCUS_INIT *init) {
    if (init == nullptr) return -1;
    std::lock_guard<std::mutex> hold(g_focus_lock);
    g_focus.width = static_cast<int32_t>(init->width);
    g_focus.height = static_cast<int32_t>(init->height);
    release_library_locked();
    void *handle = GetLibHandle("libspotfind.so");
    if (handle == nullptr) {
        const char *error = dlerror();
        rt_log(LOG_LEVEL_DETAIL, "%s Error [%s]", "InitX3Focus", error != nullptr ? error : "");
        return -1;
    }
    g_focus.handle = handle;
    g_focus.type = init->type;
    g_focus.cross_light = reinterpret_cast<CrossLightFn>(dlsym(handle, "Img_Cross_light"));
    g_focus.detect_cross = reinterpret_cast<DetectCrossFn>(dlsym(handle, "Img_Detect_Cross"));
    g_focus.light_dots = reinterpret_cast<LightDotsFn>(dlsym(handle, "Img_Light_Dots"));
    bool any = g_focus.cross_light != nullptr || g_focus.detect_cross != nullptr || g_focus.light_dots != nullptr;
    return any ? 0 : -1;
}

extern "C" void DeInitX3Focus(void) {
    std::lock_guard<std::mutex> hold(g_focus_lock);
    release_library_locked();
}

extern "C" void X3Focus_Set_Result(const int *area) {
    if (area == nullptr) return;
    std::lock_guard<std::mutex> hold(g_focus_lock);
    memcpy(g_focus.result, area, sizeof g_focus.result);
}

extern "C" void X3Focus_Set_Level(uint32_t level) {
    std::lock_guard<std::mutex> hold(g_focus_lock);
    g_focus.level = level;
}

extern "C" void X3Focus_Set_UserValue(int value) {
    std::lock_guard<std::mutex> hold(g_focus_lock);
    if (g_focus.level == FOCUS_LEVEL_USER) g_focus.user = value;
}

extern "C" void X3Focus_Set_FocusValue(const int *values) {
    if (values == nullptr) return;
    std::lock_guard<std::mutex> hold(g_focus_lock);
    memcpy(g_focus.values, values, sizeof g_focus.values);
}

extern "C" void X3Focus_Get_AreaParam(int *area) {
    if (area == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(g_focus_lock);
        decode_area(area);
    }
    banner(LOG_LEVEL_OPER, "X3Focus_Get_AreaParam");
    rt_log(LOG_LEVEL_OPER, "[%d] [%d] [%d] [%d]", area[1], area[2], area[0], area[3]);
    banner(LOG_LEVEL_OPER, "X3Focus_Get_AreaParam");
}

extern "C" int X3Focus_Running(const uint8_t *pixels, int width, int height, int *area, int *point) {
    std::lock_guard<std::mutex> hold(g_focus_lock);
    if (g_focus.calibrating == 0) {
        if (area != nullptr) decode_area(area);
        return 0;
    }
    int line[4];
    int found[2];
    uint8_t i = g_focus.index;
    if (g_focus.type == kTypeDots) {
        int thickness = detect(pixels, width, height, line, found);
        g_focus.band[i] = thickness;
        g_focus.line_start[i] = {line[0], line[1]};
        g_focus.line_end[i] = {line[2], line[3]};
        if (area != nullptr) {
            int mid = (line[1] + line[3]) / 2;
            int half = static_cast<int>(static_cast<uint32_t>(thickness) / 2);
            area[0] = mid - half;
            area[1] = line[0];
            area[2] = line[2];
            area[3] = mid + half;
        }
        advance();
        return 0;
    }
    if (g_focus.type != kTypeCross && g_focus.type != kTypeBrightCross) return -1;
    detect(pixels, width, height, line, found);
    g_focus.points[i] = {found[0], found[1]};
    if (point != nullptr) {
        point[0] = found[0];
        point[1] = found[1];
    }
    advance();
    if (area != nullptr) {
        area[0] = found[1];
        area[1] = 0;
        area[2] = width;
        area[3] = found[1];
    }
    return 0;
}

extern "C" int X3Focus_Oper(uint8_t op, int, FOCUS_CALLBACK callback, void *argument) {
    std::unique_lock<std::mutex> hold(g_focus_lock);
    if (g_focus.handle == nullptr) return -1;
    if (op == g_focus.calibrating) return 0;
    g_focus.calibrating = 0;
    if (op == 1) {
        memset(g_focus.band, 0, sizeof g_focus.band);
        memset(g_focus.line_start, 0, sizeof g_focus.line_start);
        memset(g_focus.line_end, 0, sizeof g_focus.line_end);
        memset(g_focus.points, 0, sizeof g_focus.points);
        g_focus.index = 0;
        g_focus.callback = callback;
        g_focus.argument = argument;
        g_focus.calibrating = 1;
        return 0;
    }
    // A type without a detector of its own keeps the stored area and reports it.
    int32_t area[4];
    memcpy(area, g_focus.result, sizeof area);
    if (g_focus.type == kTypeCross || g_focus.type == kTypeBrightCross) {
        finish_points(area);
    } else if (g_focus.type == kTypeDots) {
        finish_band(area);
    }
    memcpy(g_focus.result, area, sizeof area);
    FOCUS_CALLBACK report = g_focus.callback;
    void *report_argument = g_focus.argument;
    hold.unlock();
    if (report != nullptr) report(0, report_argument, area);
    return 0;
}
