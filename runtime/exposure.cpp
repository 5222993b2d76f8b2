// Exposure library wrappers: the auto-exposure library loaded on demand, so that a
// missing library only makes the calls fail softly. The wrappers carry the library's own
// names: every function is bound on the library's handle, never resolved globally.
#include <dlfcn.h>

#include <mutex>

#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

namespace {

using InitFn = int (*)(EXPOSURE_I2C_WRITE, EXPOSURE_I2C_READ, EXPOSURE_SLEEP, uint8_t);
using LuxFn = int (*)(const uint8_t *, int, int);
using AjustFn = int (*)(int, int);
using VersionFn = const char *(*)();
using StandbyFn = void (*)(int);

struct Exposure {
    void *handle = nullptr;
    InitFn init = nullptr;
    LuxFn lux = nullptr;
    AjustFn ajust = nullptr;
    VersionFn version = nullptr;
    StandbyFn standby = nullptr;
    int state = -1;  // 0 once initialised
};

// The decode thread measures and adjusts while a service thread may ask the version.
std::mutex g_lock;
Exposure g_exposure;

template <typename Fn>
Fn bind(const char *name) {
    return reinterpret_cast<Fn>(dlsym(g_exposure.handle, name));
}

void load_locked() {
    if (g_exposure.handle != nullptr) return;
    g_exposure.handle = GetLibHandle("liblumactl.so");
    if (g_exposure.handle == nullptr) {
        const char *error = dlerror();
        rt_log(LOG_LEVEL_DETAIL, "dlopen Error [%s]\n", error != nullptr ? error : "");
        return;
    }
    g_exposure.init = bind<InitFn>("ExposureInit");
    g_exposure.lux = bind<LuxFn>("GetImageLux");
    g_exposure.ajust = bind<AjustFn>("ExposureAjust");
    g_exposure.version = bind<VersionFn>("GetVisionString");
    g_exposure.standby = bind<StandbyFn>("CmosStandby");
}

// A library loaded again starts uninitialised: without the state's reset it would never
// be set up and every step would answer -1.
void unload_locked() {
    if (g_exposure.handle != nullptr) dlclose(g_exposure.handle);
    g_exposure = Exposure{};
}

}  // namespace

void exposure_test_reset() { ExposureFree(); }

extern "C" int ExposureInit(EXPOSURE_I2C_WRITE i2c_write, EXPOSURE_I2C_READ i2c_read, EXPOSURE_SLEEP sleep_ms,
                            uint32_t sensor_init) {
    std::lock_guard<std::mutex> hold(g_lock);
    load_locked();
    if (g_exposure.state != 0 && g_exposure.init != nullptr) {
        g_exposure.state = g_exposure.init(i2c_write, i2c_read, sleep_ms, static_cast<uint8_t>(sensor_init));
    }
    return 0;
}

extern "C" void ExposureDeInit(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_exposure.state = 0;
}

extern "C" int GetImageLux(const uint8_t *pixels, int width, int height) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_exposure.lux != nullptr ? g_exposure.lux(pixels, width, height) : -1;
}

extern "C" int ExposureAjust(int target, int current, int) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_exposure.ajust != nullptr ? g_exposure.ajust(target, current) : -1;
}

extern "C" const char *GetVisionString(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    load_locked();
    return g_exposure.version != nullptr ? g_exposure.version() : nullptr;
}

extern "C" void CmosStandby(int on) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_exposure.standby == nullptr) return;
    g_exposure.standby(on);
    rt_log(LOG_LEVEL_DETAIL, "%s [%d]", "CmosStandby", on);
}

extern "C" void ExposureFree(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    unload_locked();
}
