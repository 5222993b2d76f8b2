// The exported scanner API: thin functions over the one device of the process. Each
// tests the device, its readiness and the operation it needs before calling, and answers
// its failure value (with its "No init" line) when one is missing.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>

#include "rt_log.h"
#include "service_internal.h"

DEVICE_OBJECT *m_scanner_dev = nullptr;

namespace {

constexpr char kUnknownEngine[] = "Unkown Engine";

DEVICE_OBJECT *the_device() { return std::atomic_ref<DEVICE_OBJECT *>(m_scanner_dev).load(std::memory_order_acquire); }

void set_device(DEVICE_OBJECT *device) {
    std::atomic_ref<DEVICE_OBJECT *>(m_scanner_dev).store(device, std::memory_order_release);
}

// The device when it is ready and has the operation, else NULL (and the line logged).
template <typename Op>
DEVICE_OBJECT *ready_with(Op DEVICE_OBJECT::*op, const char *no_init) {
    DEVICE_OBJECT *device = the_device();
    if (device != nullptr && device_state(device) != 0 && device->*op != nullptr) return device;
    if (no_init != nullptr) rt_log(LOG_LEVEL_DETAIL, "%s", no_init);
    return nullptr;
}

}  // namespace

extern "C" void zpt_scan_setenv(void *vm) { SetJavaVM(vm); }

extern "C" int zpt_scan_getapi(void) { return property_get_integer("ro.build.scanner.api", "0"); }

extern "C" int zpt_scaninit(void) {
    // A second start-up would load every engine again beside the first.
    if (the_device() != nullptr) return 1;
    DEVICE_OBJECT *device = scanner_device_open();
    set_device(device);
    return device != nullptr ? 1 : 0;
}

extern "C" int zpt_scandeinit(void) {
    DEVICE_OBJECT *device = the_device();
    if (device != nullptr) {
        scanner_device_close(device);
        set_device(nullptr);
    }
    return 1;
}

namespace {

// Open and close: the operation's answer 0 is true, and it is logged under the caller's name.
int engine_power_call(DEVICE_OPEN_PROC DEVICE_OBJECT::*op, const char *name, const char *no_init) {
    DEVICE_OBJECT *device = ready_with(op, no_init);
    if (device == nullptr) return 0;
    int result = (device->*op)(device);
    rt_log(LOG_LEVEL_DETAIL, "%s [%d]", name, result);
    return result == 0 ? 1 : 0;
}

}  // namespace

extern "C" int zpt_scanopen(void) { return engine_power_call(&DEVICE_OBJECT::open, "zpt_scanopen", "ScanOpen No init"); }

extern "C" int zpt_scanclose(void) {
    return engine_power_call(&DEVICE_OBJECT::close, "zpt_scanclose", "ScanClose No init");
}

extern "C" int zpt_scanstartdecode(SCAN_EVENT_CALLBACK callback, int arg) {
    if (callback == nullptr) return 0;
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::start_decode, "ScanStartDecode No init");
    if (device == nullptr) return 0;
    int result = device->start_decode(device, callback, nullptr, arg);
    rt_log(LOG_LEVEL_DETAIL, "%s [%d]", "zpt_scanstartdecode", result);
    return result == 0 ? 1 : 0;
}

extern "C" int zpt_scanstopdecode(int arg) {
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::stop_decode, "ScanStopDecode No init");
    if (device == nullptr) return 0;
    int result = device->stop_decode(device, arg);
    rt_log(LOG_LEVEL_DETAIL, "%s [%d]", "zpt_scanstopdecode", result);
    return result == 0 ? 1 : 0;
}

extern "C" int zpt_scansetparam(const char *code, const char *param, const char *value) {
    if (code == nullptr || param == nullptr || value == nullptr) return 0;
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::set_param, "ScansetParam No init");
    if (device == nullptr) return 0;
    rt_log(LOG_LEVEL_DETAIL, "ScansetParam [%s] [%s] [%s]", code, param, value);
    return device->set_param(device, code, param, value) == 0 ? 1 : 0;
}

extern "C" int zpt_scansetparam_ticai(const char *name, const char *value) {
    int result = X3TiCai_Set(name, value);
    rt_log(LOG_LEVEL_DETAIL, "zpt_scansetparam_ticai [%s] [%s] [%d]", name != nullptr ? name : "",
           value != nullptr ? value : "", result);
    rt_log(LOG_LEVEL_DETAIL, "zpt_scansetparam_ticai return %d", result == 0 ? 1 : 0);
    return result == 0 ? 1 : 0;
}

extern "C" int zpt_scangetparam(const char *code, const char *param, char *out) {
    if (code == nullptr || param == nullptr || out == nullptr) return 0;
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::get_param, "ScangetParam No init");
    if (device == nullptr) return 0;
    int length = device->get_param(device, code, param, out);
    return length > 0 ? length : 0;
}

extern "C" int zpt_getengine(char *out) {
    if (out == nullptr) return -1;
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::get_engine, nullptr);
    ENGINE_RECORD *engine = device != nullptr ? device->get_engine(device) : nullptr;
    snprintf(out, ZPT_ENGINE_TEXT_MAX, "%s", engine != nullptr ? engine->name : kUnknownEngine);
    return 0;
}

extern "C" int zpt_getversion(char *out) {
    DEVICE_OBJECT *device = the_device();
    if (device == nullptr || device->version == nullptr || out == nullptr) return 0;
    char version[ENGINE_VERSION_SIZE] = {};
    // A driver may fill all its bytes without a terminator: never more than those are read.
    if (device->version(device, version) < 1)
        snprintf(out, ZPT_VERSION_TEXT_MAX, "JNI: %s", ZPT_SCANNER_VERSION);
    else
        snprintf(out, ZPT_VERSION_TEXT_MAX, "JNI: %s\n%.*s", ZPT_SCANNER_VERSION, ENGINE_VERSION_SIZE, version);
    ENGINE_RECORD *engine = device_current(device);
    if (engine != nullptr) rt_log(LOG_LEVEL_DETAIL, "%s GetVersion [%s]", engine->name, out);
    return 1;
}

extern "C" int zpt_setserialno(const char *text, int length) {
    PORT_DEVICE *port = get_module_ops(PORT_KIND_MTD, 1);
    if (port == nullptr || text == nullptr) return 0;
    rt_log(LOG_LEVEL_DETAIL, "%s %s", "zpt_setserialno", text);
    // The length comes from the caller: never more than the text holds or the record takes.
    if (length < 0) return 0;
    size_t n = strnlen(text, ZPT_SERIAL_MAX);
    if (static_cast<size_t>(length) < n) n = static_cast<size_t>(length);
    uint8_t serial[ZPT_SERIAL_MAX] = {};
    memcpy(serial, text, n);
    if (port->open != nullptr) port->open(port, nullptr);
    if (port->write != nullptr) port->write(port, serial, static_cast<int>(n));
    if (port->close != nullptr) port->close(port, 0);
    return 1;
}

extern "C" int zpt_getscantype(void) {
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::get_scan_type, nullptr);
    return device != nullptr ? device->get_scan_type(device) : 0;
}

extern "C" int zpt_setscanioctrl(int code, int arg, void *pointer) {
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::ioctrl, "SetScanIOCtrl No init");
    return device != nullptr && device->ioctrl(device, code, arg, pointer) >= 0 ? 1 : 0;
}

extern "C" int zpt_scangetstate(void) {
    DEVICE_OBJECT *device = the_device();
    return device != nullptr ? static_cast<int>(device_state(device)) : 0;
}

extern "C" int zpt_scanewimage(uint8_t *image, int width, int height) {
    if (image == nullptr || width < 1 || height < 1) return 0;
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::ioctrl, nullptr);
    if (device == nullptr) return 0;
    IMAGE_REQUEST *request = static_cast<IMAGE_REQUEST *>(calloc(1, sizeof(IMAGE_REQUEST)));
    if (request == nullptr) return 0;
    request->width = static_cast<uint32_t>(width);
    request->height = static_cast<uint32_t>(height);
    request->image = image;
    int result = device->ioctrl(device, SCANNER_IOCTRL_DECODE_IMAGE, 0, request);
    free(request);
    return result >= 0 ? 1 : 0;
}

extern "C" int zpt_setcontext(void *vm, void *context) {
    rt_log(LOG_LEVEL_DETAIL, "%s", "zpt_setcontext");
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::ioctrl, nullptr);
    if (device == nullptr || vm == nullptr || context == nullptr) return 0;
    if (device->ioctrl(device, SCANNER_IOCTRL_JAVA_ENV, 0, vm) < 0) return 0;
    return device->ioctrl(device, SCANNER_IOCTRL_JAVA_CONTEXT, 0, context) >= 0 ? 1 : 0;
}

extern "C" int zpt_setJavaEnv(void *vm, void *env) {
    rt_log(LOG_LEVEL_DETAIL, "%s", "zpt_setJavaEnv");
    DEVICE_OBJECT *device = ready_with(&DEVICE_OBJECT::ioctrl, nullptr);
    if (device == nullptr || vm == nullptr || env == nullptr) return 0;
    if (device->ioctrl(device, SCANNER_IOCTRL_JAVA_VM, 0, vm) < 0) return 0;
    return device->ioctrl(device, SCANNER_IOCTRL_JAVA_ENV, 0, env) >= 0 ? 1 : 0;
}
