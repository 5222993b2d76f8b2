// The decoder wrapper: the image decoder loaded by name, bound by symbol name, steered
// through one process-wide record. The decoder keeps its state in static storage and
// takes one caller at a time, while settings come from service threads during decodes:
// one lock guards every call into it and into the external decoder.
#include <dlfcn.h>
#include <stdint.h>

#include <atomic>
#include <mutex>

#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

namespace {

using DeinitFn = void (*)();

struct DecoderFns {
    VexoDecInitFn init = nullptr;
    VexoDecSetFn set = nullptr;
    VexoDecGetFn get = nullptr;
    VexoDecDecodeFn decode = nullptr;
    DeinitFn deinit = nullptr;
};

struct NameFamily {
    const char *init;
    const char *set;
    const char *get;
    const char *decode;
    const char *deinit;
};

constexpr NameFamily kShortNames = {"X3_Init", "X3_Set", "X3_Get", "X3_Decode", "X3_DeInit"};
constexpr NameFamily kLongNames = {"ZPT_SE_VexoDec_Init", "ZPT_SE_VexoDec_Set", "ZPT_SE_VexoDec_Get",
                                   "ZPT_SE_VexoDec_Decode", "ZPT_SE_VexoDec_Deinit"};

struct Wrapper {
    void *handle = nullptr;
    DecoderFns fns;
    uint8_t initialised = 0;
    uint8_t external = 0;
    COMMON_STATE *beep = nullptr;
};

std::mutex g_lock;
Wrapper g_wrapper;  // guarded by g_lock
// Read by X3_Get's wrapper id and written by X3_TiCai outside the lock.
std::atomic<uint8_t> g_lottery{0};

template <typename Fn>
Fn bind(void *handle, const char *name) {
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

// dlsym on the library's own handle: the runtime exports the same short names.
DecoderFns bind_family(void *handle, const NameFamily &names) {
    DecoderFns fns;
    fns.init = bind<VexoDecInitFn>(handle, names.init);
    fns.set = bind<VexoDecSetFn>(handle, names.set);
    fns.get = bind<VexoDecGetFn>(handle, names.get);
    fns.decode = bind<VexoDecDecodeFn>(handle, names.decode);
    fns.deinit = bind<DeinitFn>(handle, names.deinit);
    return fns;
}

bool complete(const DecoderFns &fns) {
    return fns.init != nullptr && fns.set != nullptr && fns.get != nullptr && fns.decode != nullptr;
}

void unload_locked() {
    if (g_wrapper.handle != nullptr) dlclose(g_wrapper.handle);
    g_wrapper.handle = nullptr;
    g_wrapper.fns = DecoderFns{};
}

// The beep target's callback, read under the lock and called after it is released: the
// callback reaches Java, whose handler may come straight back with settings.
SCAN_EVENT_CALLBACK beep_callback_locked() {
    if (g_wrapper.beep == nullptr) return nullptr;
    return std::atomic_ref<SCAN_EVENT_CALLBACK>(g_wrapper.beep->mCallback).load(std::memory_order_acquire);
}

}  // namespace

void decoder_wrapper_forget_beep(COMMON_STATE *state) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_wrapper.beep == state) g_wrapper.beep = nullptr;
}

void decoder_wrapper_test_reset() {
    std::lock_guard<std::mutex> hold(g_lock);
    unload_locked();
    g_wrapper = Wrapper{};
    g_lottery.store(0);
}

extern "C" int X3_Init(void) {
    int result;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        unload_locked();
        void *handle = GetLibHandle("libvexo3.so");
        if (handle == nullptr) {
            const char *error = dlerror();
            rt_log(LOG_LEVEL_DETAIL, "%s Error [%s]", "X3_Init", error != nullptr ? error : "");
            return 0;
        }
        g_wrapper.handle = handle;
        DecoderFns fns = bind_family(handle, kShortNames);
        if (!complete(fns)) fns = bind_family(handle, kLongNames);
        if (fns.init == nullptr) {
            // Nothing of such a library is ever called.
            unload_locked();
            return -1;
        }
        g_wrapper.fns = fns;
        result = fns.init();
        g_wrapper.initialised = result != 0 ? 1 : 0;
        ExDecode_Init();
        rt_log(LOG_LEVEL_DETAIL, "%s ret [%x] [%x]", "X3_Init", static_cast<unsigned>(result),
               static_cast<unsigned>(g_lottery.load()));
    }
    if (property_get_integer("ro.build.scanner.api", "0") == 1) X3_TiCai(1);
    // The lottery configuration writes through X3_Set: after the lock is released.
    if (g_lottery.load() != 0) X3TiCai_Init();
    return result;
}

extern "C" int X3_SetVexoFocus(void) {
    int area[4];
    X3Focus_Get_AreaParam(area);
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_wrapper.fns.set == nullptr || g_wrapper.initialised == 0) return 0;
    rt_log(LOG_LEVEL_OPER, "********************%s*******************", "X3_SetVexoFocus");
    rt_log(LOG_LEVEL_OPER, " [%d] [%d] [%d] [%d]", area[0], area[1], area[2], area[3]);
    rt_log(LOG_LEVEL_OPER, "********************%s*******************", "X3_SetVexoFocus");
    DECODE_REGION region = {area[0], area[1], area[2], area[3], 1};
    return g_wrapper.fns.set(VEXO_ID_ROI_RECORD, reinterpret_cast<uintptr_t>(&region));
}

extern "C" int X3_Set(uint32_t id, uint64_t value) {
    switch (id) {
    case X3_ID_FOCUS_LEVEL:
        X3Focus_Set_Level(static_cast<uint32_t>(value));
        return X3_SetVexoFocus();
    case X3_ID_FOCUS_USER_VALUE:
        X3Focus_Set_UserValue(static_cast<int>(value));
        return X3_SetVexoFocus();
    case X3_ID_FOCUS_INIT:
        InitX3Focus(reinterpret_cast<const FOCUS_INIT *>(static_cast<uintptr_t>(value)));
        return 1;
    case X3_ID_FOCUS_VALUES:
        X3Focus_Set_FocusValue(reinterpret_cast<const int *>(static_cast<uintptr_t>(value)));
        return 1;
    case VEXO_ID_ROI_RECORD:
        // The caller's record only moves the focus area; the decoder gets the area.
        X3Focus_Set_Result(reinterpret_cast<const int *>(static_cast<uintptr_t>(value)));
        return X3_SetVexoFocus();
    case X3_ID_BEEP_TARGET: {
        std::lock_guard<std::mutex> hold(g_lock);
        g_wrapper.beep = reinterpret_cast<COMMON_STATE *>(static_cast<uintptr_t>(value));
        return 1;
    }
    default:
        break;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_wrapper.fns.set == nullptr || g_wrapper.initialised == 0) return 0;
    ExDecode_Set(id, value);
    return g_wrapper.fns.set(id, value);
}

extern "C" int X3_Get(uint32_t id, void *out) {
    if (id == X3_ID_LOTTERY) {
        if (out != nullptr) *static_cast<uint32_t *>(out) = g_lottery.load();
        return 0;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_wrapper.fns.get == nullptr) return 0;
    if (g_wrapper.external != 0) return ExDecode_Get(id, out);
    return g_wrapper.fns.get(id, out);
}

extern "C" int X3_Decode(void) {
    int result;
    SCAN_EVENT_CALLBACK beep = nullptr;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (g_wrapper.fns.decode == nullptr) return 0;
        g_wrapper.external = 0;
        result = ExDecode_Decode();
        if (result == 1) {
            g_wrapper.external = 1;
        } else {
            result = g_wrapper.fns.decode();
            if (result == 0) return 0;
        }
        beep = beep_callback_locked();
    }
    if (beep != nullptr) beep(SCN_EVENT_BEEP, nullptr, 0);
    return result;
}

extern "C" int X3_DecodeNoBeep(void) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_wrapper.fns.decode == nullptr) return 0;
    g_wrapper.external = 0;
    int result = g_wrapper.fns.decode();
    if (result != 0) return result;
    result = ExDecode_Decode();
    if (result == 1) g_wrapper.external = 1;
    return result;
}

extern "C" void X3_TiCai(uint8_t flag) { g_lottery.store(flag); }

extern "C" void X3_Free(void) {
    rt_log(LOG_LEVEL_DETAIL, "%s in", "X3_Free");
    std::lock_guard<std::mutex> hold(g_lock);
    ExDecode_Free();
    DeInitX3Focus();
    if (g_wrapper.fns.deinit != nullptr) g_wrapper.fns.deinit();
    unload_locked();
}
