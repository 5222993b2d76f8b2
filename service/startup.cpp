// Service start-up and engine probing: device open builds the device, registers the
// terminal's devices and loads every candidate engine; the probe thread finds the fitted
// engine, binds, initialises and opens it; the post-probe thread applies a pending upgrade
// and reads the settings back; device close tears it all down.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <libxml/tree.h>

#include "common_atomic.h"
#include "plat.h"
#include "rt_log.h"
#include "service_internal.h"

char g_wait_path[PROPERTY_VALUE_MAX];
THREAD_RECORD g_probe_thread;
THREAD_RECORD g_post_probe_thread;

namespace {

constexpr char kConfigFile[] = "CONFIG.xml";
constexpr char kDriverFile[] = "DRIVEREN";
constexpr char kNoEngine[] = "none";
constexpr char kUnknownEngine[] = "Unkown Engine";
constexpr char kNoAnswer[] = "Unknow";
constexpr char kNoUpgrade[] = "NONE";
constexpr int kWaitRounds = 30;
constexpr int kWaitRoundMs = 100;
constexpr int kWakeSettleMs = 200;
constexpr int kScannerTypeSize = 128;
constexpr useconds_t kThreadPollUs = 1000;

// Walks "DRIVEREN" with proc; error is logged when the file is there but cannot be read.
void walk_driver_file(XML_ATTR_PROC proc, const char *error) {
    char path[RT_PATH_MAX] = {};
    if (GetConfigPath(path, kDriverFile) <= 0) return;
    rt_log(LOG_LEVEL_OPER, "Fount Driver XML [%s]", path);
    XML_HANDLE *drivers = XMLOpenDecrypt(path, kServiceConfigKey);
    if (drivers == nullptr) {
        rt_log(LOG_LEVEL_OPER, "%s", error);
        return;
    }
    XMLFindCurCallProcForSubName(drivers, nullptr, "name", proc, nullptr);
    XMLClose(drivers);
}

// The cached CONFIG.xml, copied from the configuration directories when there is none.
XML_HANDLE *open_cached_config() {
    char cache[RT_PATH_MAX] = {};
    if (GetCachePath(cache, kConfigFile) <= 0) {
        char source[RT_PATH_MAX] = {};
        int found = GetConfigPath(source, kConfigFile);
        if (found <= 0 || GetCachePathForIndex(cache, kConfigFile, found - 1) != 0) return nullptr;
        rt_log(LOG_LEVEL_OPER, "Found Sensor XML Src [%s] Cache [%s] Index [%d]", source, cache, found - 1);
        copy_xml(source, cache, 0, nullptr);
    }
    return XMLOpen(cache);
}

void wait_for_system() {
    if (strcmp(g_wait_path, "unknow") == 0) {
        rt_log(LOG_LEVEL_OPER, "Wait For System No Need");
        return;
    }
    for (int count = kWaitRounds; u_fileexist(g_wait_path) != 0 && count != 0; --count) {
        rt_log(LOG_LEVEL_OPER, "Wait For System Ready [%s] [%d]", g_wait_path, count);
        plat_sleep_ms(kWaitRoundMs);
    }
    rt_log(LOG_LEVEL_OPER, "Wait For System Finish");
}

void wake_for_probe(ENGINE_RECORD *r) {
    control_wake(r->TrigChannel, r->ScanWakeUp);
    plat_sleep_ms(kWakeSettleMs);
}

void save_scanner_type(DEVICE_OBJECT *device, const char *cache, const char *name) {
    XMLSetCurNodeContent(device->configXml, nullptr, "ScannerType", name);
    XMLSave(device->configXml, cache);
}

// One probe run's outcome.
struct ProbeRun {
    ENGINE_RECORD *engine = nullptr; // the engine to bind, NULL when there is none
    bool found = false;
    bool isNew = false;
    bool fullProbe = false;
};

// The recorded engine on its own: true when it answered. Any answer but 0 counts as
// silent. *last_wake: the wake mode the full probe starts from.
bool probe_recorded(const char *type, int *last_wake, ENGINE_RECORD **answered) {
    *last_wake = 0;
    if (strcmp(type, kNoEngine) == 0) {
        rt_log(LOG_LEVEL_OPER, "Not Found Scanner Engine [%s]", type);
        return false;
    }
    rt_log(LOG_LEVEL_OPER, "Read Now ScannerType [%s]", type);
    for (struct list_head *n = g_engine_list.next; n != &g_engine_list; n = n->next) {
        ENGINE_RECORD *r = reinterpret_cast<ENGINE_RECORD *>(reinterpret_cast<char *>(n) - offsetof(ENGINE_RECORD, node));
        if (r->scanner_probe == nullptr || strcmp(r->name, type) != 0) continue;
        wake_for_probe(r);
        if (r->scanner_probe(r) == 0) {
            *answered = r;
            return true;
        }
        *last_wake = r->ScanWakeUp;
        return false;
    }
    return false;
}

// Every candidate in list order: the first that answers, or NULL; *fallback is the first
// that could be probed.
ENGINE_RECORD *probe_all(int last_wake, ENGINE_RECORD **fallback) {
    *fallback = nullptr;
    for (struct list_head *n = g_engine_list.next; n != &g_engine_list; n = n->next) {
        ENGINE_RECORD *r = reinterpret_cast<ENGINE_RECORD *>(reinterpret_cast<char *>(n) - offsetof(ENGINE_RECORD, node));
        if (r->scanner_probe == nullptr) continue;
        if (*fallback == nullptr || r->ScanWakeUp != last_wake) {
            wake_for_probe(r);
            last_wake = r->ScanWakeUp;
        }
        if (*fallback == nullptr) *fallback = r;
        rt_log(LOG_LEVEL_OPER, "Now Scanner [%s] probe ", r->name);
        if (r->scanner_probe(r) == 0) return r;
    }
    return nullptr;
}

ProbeRun find_engine_to_bind(DEVICE_OBJECT *device, const char *cache, const char *type) {
    ProbeRun run;
    int last_wake = 0;
    if (probe_recorded(type, &last_wake, &run.engine)) {
        run.found = true;
        return run;
    }
    // Recorded as "none" while probing, so that a start that dies here probes fully again.
    run.fullProbe = true;
    save_scanner_type(device, cache, kNoEngine);
    ENGINE_RECORD *fallback = nullptr;
    run.engine = probe_all(last_wake, &fallback);
    if (run.engine == nullptr) {
        run.engine = fallback;
        return run;
    }
    run.found = true;
    if (strcmp(type, kNoEngine) == 0 || strcmp(type, run.engine->name) != 0) {
        save_scanner_type(device, cache, run.engine->name);
        run.isNew = true;
    } else {
        // The recorded engine answered late: its name goes back in place of the marker,
        // and its stored settings are kept.
        save_scanner_type(device, cache, run.engine->name);
    }
    return run;
}

void bind_engine(DEVICE_OBJECT *device, ENGINE_RECORD *r) {
    XMLClose(device->configXml);
    device->configXml = nullptr;
    r->device = device;
    device_set_current(device, r);
}

void publish_engine(ENGINE_RECORD *r, bool found) {
    if (!found) {
        property_set("persist.sys.scan.info", kNoAnswer);
        property_set("persist.sys.scan.display", kNoAnswer);
        return;
    }
    property_set("persist.sys.scan.info", r->name);
    property_set("persist.sys.scan.display", strcmp(r->display, kNoAnswer) == 0 ? r->name : r->display);
}

int probe_proc(void *arg) {
    DEVICE_OBJECT *device = static_cast<DEVICE_OBJECT *>(arg);
    wait_for_system();
    char cache[RT_PATH_MAX] = {};
    int cached = GetCachePath(cache, kConfigFile);
    rt_log(LOG_LEVEL_OPER, "probe_proc Cache Path [%s] [%d]", cache, cached);
    char type[kScannerTypeSize] = {};
    XMLReadString(device->configXml, nullptr, "ScannerType", nullptr, nullptr, type, kScannerTypeSize - 1);
    control_all_power(1);
    ProbeRun run = find_engine_to_bind(device, cache, type);
    ENGINE_RECORD *r = run.engine;
    if (r == nullptr) {
        rt_log(LOG_LEVEL_OPER, "probe_proc No Engine To Bind");
        return 0;
    }
    bind_engine(device, r);
    build_settings_cache(device, r);
    if (r->scanner_init != nullptr && r->scanner_init(r) < 0) return 0;
    if (r->scanner_open != nullptr && r->scanner_open(r) < 0) return 0;
    if (run.isNew) sync_default_setting(device);
    zpt_net_init(device);
    common_scanner_debug_init(r);
    rt_log(LOG_LEVEL_OPER, "Tpye %s [%d]", r->name, run.isNew ? 1 : 0);
    publish_engine(r, run.found);
    if (run.found)
        ThreadStart(&g_post_probe_thread, post_probe_proc, device);
    else
        device_set_state(device, 1);
    return 0;
}

void apply_pending_upgrade(ENGINE_RECORD *r) {
    char file[PROPERTY_VALUE_MAX] = {};
    property_get("persist.sys.upgrade.filename", file, kNoUpgrade);
    if (file[0] == '\0' || strcmp(file, kNoUpgrade) == 0) return;
    uint8_t *data = nullptr;
    int32_t length = 0;
    if (ReadBinFile(file, &data, &length) < 1 || data == nullptr || length < 1) {
        free(data);
        property_set("persist.sys.upgrade.filename", kNoUpgrade);
        return;
    }
    // Zero-filled: FirmwareOper 0 is an ordinary start, never the forced upgrade mode.
    UPGRADE_REQUEST request{};
    request.FirmwareType = static_cast<uint32_t>(property_get_integer("persist.sys.upgrade.type", "2"));
    request.len = static_cast<uint32_t>(length);
    request.Buf = data;
    rt_log(LOG_LEVEL_OPER, "[%s] Fount Upgrade Type [%x] Filename [%s]", r->name, request.FirmwareType, file);
    if (r->scanner_ioctrl == nullptr) {
        property_set("persist.sys.upgrade.filename", kNoUpgrade);
        rt_log(LOG_LEVEL_OPER, "API ========== NULL");
    } else if (r->scanner_ioctrl(r, SCANNER_IOCTRL_UPGRADE, 0, &request) == 0) {
        property_set("persist.sys.upgrade.filename", kNoUpgrade);
    }
    free(data);
}

void wait_thread_end(THREAD_RECORD *thread) {
    while (common_load(thread->running) != 0) usleep(kThreadPollUs);
}

// Released at close, in this order.
struct RuntimeRelease {
    const char *name;
    void (*release)(void);
};
static constexpr RuntimeRelease kRuntimeReleases[] = {
    {"zptconfig_deinit", zptconfig_deinit}, {"ExposureFree", ExposureFree}, {"OpensslFree", OpensslFree},
    {"SqliteFree", SqliteFree},             {"XmlLibFree", XmlLibFree},     {"X3_Free", X3_Free},
};
static_assert(sizeof kRuntimeReleases / sizeof kRuntimeReleases[0] == 6, "six runtime releases");

}  // namespace

int post_probe_proc(void *arg) {
    DEVICE_OBJECT *device = static_cast<DEVICE_OBJECT *>(arg);
    ENGINE_RECORD *r = device != nullptr ? device_current(device) : nullptr;
    if (r == nullptr || r->scanner_sync == nullptr) return 0;
    apply_pending_upgrade(r);
    read_back_settings(device, r);
    device_set_state(device, 1);
    return 0;
}

void driver_deinit() { walk_driver_file(unregister_driver_node, "driver_deinit=================Error"); }

DEVICE_OBJECT *scanner_device_open() {
    DEVICE_OBJECT *device = static_cast<DEVICE_OBJECT *>(calloc(1, sizeof(DEVICE_OBJECT)));
    if (device == nullptr) return nullptr;
    zptconfig_init();
    device->configXml = open_cached_config();
    if (device->configXml == nullptr) {
        free(device);
        return nullptr;
    }
    walk_driver_file(register_driver_node, "driver_init=================Error");
    property_get("persist.sys.wait", g_wait_path, "unknow");
    property_set("persist.sys.scan.display", kUnknownEngine);
    property_set("persist.sys.scan.info", kUnknownEngine);
    load_engine_drivers(device->configXml);
    list_init(&device->codeGroups);
    list_init(&device->settings);
    device_fill_operations(device);
    device_set_state(device, 0);
    ThreadStart(&g_probe_thread, probe_proc, device);
    return device;
}

int scanner_device_close(DEVICE_OBJECT *device) {
    if (device == nullptr) return -1;
    // The start-up threads fill the device in: nothing is torn down under them.
    wait_thread_end(&g_probe_thread);
    wait_thread_end(&g_post_probe_thread);
    // The service socket's commands run on the engine and the device: stopped before
    // either is freed.
    int result = zpt_net_deinit();
    ENGINE_RECORD *r = device_current(device);
    if (r != nullptr) {
        if (r->scanner_deinit != nullptr) r->scanner_deinit(r);
        release_settings_cache(device);
        XMLClose(r->codeXml);
        r->codeXml = nullptr;
    }
    release_engine_list();
    driver_deinit();
    if (device->configXml != nullptr) XMLClose(device->configXml);
    free(device);
    for (const RuntimeRelease &step : kRuntimeReleases) {
        rt_log(LOG_LEVEL_OPER, "scanner_device_close %s", step.name);
        step.release();
    }
    rt_log(LOG_LEVEL_OPER, "scanner_device_close %s [%d]", "zpt_net_deinit", result);
    return result;
}
