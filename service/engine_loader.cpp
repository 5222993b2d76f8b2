// The engine driver loader and the engine switch: every candidate engine's plug-in is
// loaded by name into a record filled from its encrypted engine file; a switch makes
// another loaded engine the device's current one.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "rt_log.h"
#include "service_internal.h"

struct list_head g_engine_list = {&g_engine_list, &g_engine_list};

namespace {

// Every value text of an engine file is read into a buffer of this size.
constexpr int kValueTextSize = 100;
// A switch names an engine in a buffer of this size.
constexpr size_t kSwitchNameSize = 20;
constexpr char kCommonCameraFile[] = "Engine2DEN";

// Family names that stand for one engine, tried in this order.
struct FamilyName {
    const char *family;
    const char *engine;
};
static constexpr FamilyName kFamilyNames[] = {
    {"RV2X", "RV21"},
    {"GT51X0", "GT5170"},
    {"RV1X", "RV21"},
};
static_assert(sizeof kFamilyNames / sizeof kFamilyNames[0] == 3, "three family names");

ENGINE_RECORD *record_of(struct list_head *node) {
    return reinterpret_cast<ENGINE_RECORD *>(reinterpret_cast<char *>(node) - offsetof(ENGINE_RECORD, node));
}

// A name field holds ENGINE_NAME_SIZE - 1 characters: a longer text is cut, and said so.
void copy_name(char (&field)[ENGINE_NAME_SIZE], const char *what, const char *text) {
    size_t n = strlen(text);
    if (n > ENGINE_NAME_SIZE - 1) {
        rt_log(LOG_LEVEL_OPER, "%s [%s] longer than %d characters, cut", what, text, ENGINE_NAME_SIZE - 1);
        n = ENGINE_NAME_SIZE - 1;
    }
    memcpy(field, text, n);
    field[n] = '\0';
}

// The text of the first element of that name in the engine file ("" when absent).
void read_value(XML_HANDLE *xml, const char *element, char (&out)[kValueTextSize]) {
    memset(out, 0, sizeof out);
    XMLReadString(xml, nullptr, element, nullptr, nullptr, out, kValueTextSize - 1);
}

int read_number(XML_HANDLE *xml, const char *element) {
    char text[kValueTextSize];
    read_value(xml, element, text);
    return atoi(text);
}

// The attribute's text into out (cut to its size), false when the element lacks it.
bool read_attribute(XML_NODE *node, const char *name, char *out, size_t size) {
    char *text = XMLNodeGetContent(XMLGetAtter(node, name));
    if (text == nullptr) return false;
    snprintf(out, size, "%s", text);
    free(text);
    return true;
}

// The name is joined into file names searched in fixed directories, from a file that
// may live on shared storage: it must stay a plain file name.
bool usable_engine_name(const char *text) {
    if (text[0] != '\0' && strchr(text, '/') == nullptr) return true;
    rt_log(LOG_LEVEL_OPER, "load_engine_driver Error Scan [%s] not loaded", text);
    return false;
}

// Opens the engine file of the Scan element into the record and names the record.
bool open_engine_file(ENGINE_RECORD *record, XML_NODE *scan, const char *text) {
    char file[RT_PATH_MAX];
    char path[RT_PATH_MAX] = {};
    char value[kValueTextSize];
    if (snprintf(file, sizeof file, "%sEN", text) >= static_cast<int>(sizeof file)) return false;
    if (GetConfigPath(path, file) > 0) {
        record->engineXml = XMLOpenDecrypt(path, kServiceConfigKey);
        if (record->engineXml == nullptr) return false;
        read_value(record->engineXml, "Scaninfo", value);
        copy_name(record->name, "Scaninfo", value);
        return true;
    }
    char scan_type[kValueTextSize] = {};
    if (!read_attribute(scan, "ScanType", scan_type, sizeof scan_type) || strcmp(scan_type, "2D") != 0) return false;
    if (GetConfigPath(path, kCommonCameraFile) <= 0) return false;
    record->engineXml = XMLOpenDecrypt(path, kServiceConfigKey);
    if (record->engineXml == nullptr) return false;
    copy_name(record->name, "Scan", text);
    return true;
}

void read_engine_fields(ENGINE_RECORD *record, XML_NODE *scan) {
    snprintf(record->display, sizeof record->display, "%s", "Unknow");
    XML_HANDLE *xml = record->engineXml;
    record->Scantype = read_number(xml, "Scantype");
    record->ScanWakeUp = read_number(xml, "ScanWakeUp");
    record->DriverChannel = read_number(xml, "DriverChannel");
    record->PowerChannel = read_number(xml, "PowerChannel");
    record->TrigChannel = read_number(xml, "TrigChannel");
    char display[kValueTextSize];
    if (read_attribute(scan, "DisPlay", display, sizeof display)) copy_name(record->display, "DisPlay", display);
    record->powerLocked = 0;
    record->platformType = 0;
    record->opened = 0;
}

template <typename Slot>
void bind_slot(void *library, Slot &slot, const char *symbol) {
    slot = reinterpret_cast<Slot>(dlsym(library, symbol));
}

// A missing symbol leaves its slot empty: the callers treat it as not supported.
void bind_plugin(ENGINE_RECORD *r) {
    void *lib = r->libHandle;
    bind_slot(lib, r->scanner_probe, "scanner_probe");
    bind_slot(lib, r->scanner_init, "scanner_init");
    bind_slot(lib, r->scanner_deinit, "scanner_deinit");
    bind_slot(lib, r->scanner_open, "scanner_open");
    bind_slot(lib, r->scanner_close, "scanner_close");
    bind_slot(lib, r->scanner_start_decode, "scanner_start_decode");
    bind_slot(lib, r->scanner_stop_decode, "scanner_stop_decode");
    bind_slot(lib, r->scanner_set, "scanner_set");
    bind_slot(lib, r->scanner_get, "scanner_get");
    bind_slot(lib, r->scanner_ioctrl, "scanner_ioctrl");
    bind_slot(lib, r->scanner_version, "scanner_version");
    bind_slot(lib, r->scanner_pack, "scanner_pack");
    bind_slot(lib, r->scanner_unpack, "scanner_unpack");
    bind_slot(lib, r->scanner_sync, "scanner_sync");
}

bool load_library(ENGINE_RECORD *record, const char *text) {
    char library[RT_PATH_MAX];
    if (snprintf(library, sizeof library, "lib%s.so", text) >= static_cast<int>(sizeof library)) return false;
    record->libHandle = GetLibHandle(library);
    if (record->libHandle == nullptr) {
        const char *error = dlerror();
        rt_log(LOG_LEVEL_OPER, "dlopen Error [%s]", error != nullptr ? error : "");
        return false;
    }
    bind_plugin(record);
    return true;
}

// One cleanup path for a record that is not listed and for every record at close.
void discard_record(ENGINE_RECORD *record) {
    if (record->libHandle != nullptr) dlclose(record->libHandle);
    if (record->engineXml != nullptr) XMLClose(record->engineXml);
    free(record);
}

}  // namespace

int load_engine_driver(XML_NODE *scan, const char *text, void *) {
    if (text == nullptr || !usable_engine_name(text)) return -1;
    ENGINE_RECORD *record = static_cast<ENGINE_RECORD *>(calloc(1, sizeof(ENGINE_RECORD)));
    if (record == nullptr) return -1;
    if (!open_engine_file(record, scan, text)) {
        discard_record(record);
        return -1;
    }
    read_engine_fields(record, scan);
    if (!load_library(record, text)) {
        discard_record(record);
        return -1;
    }
    list_add_tail(&g_engine_list, &record->node);
    rt_log(LOG_LEVEL_OPER, "Loading [%s]", text);
    return 0;
}

int load_engine_drivers(XML_HANDLE *config) {
    int loaded = 0;
    XMLFindCurCallProc(
        config, nullptr, "Scan",
        [](XML_NODE *scan, char *text, void *count) {
            if (load_engine_driver(scan, text, nullptr) == 0) ++*static_cast<int *>(count);
        },
        &loaded);
    return loaded;
}

void release_engine_list() {
    while (g_engine_list.next != &g_engine_list) {
        ENGINE_RECORD *record = record_of(g_engine_list.next);
        list_del(&record->node);
        if (record->common != nullptr && record->scanner_deinit != nullptr) record->scanner_deinit(record);
        discard_record(record);
    }
}

ENGINE_RECORD *find_engine(const char *name) {
    if (name == nullptr) return nullptr;
    for (struct list_head *n = g_engine_list.next; n != &g_engine_list; n = n->next)
        if (strcmp(record_of(n)->name, name) == 0) return record_of(n);
    return nullptr;
}

int change_engine(DEVICE_OBJECT *device, const char *name, int arg) {
    if (device == nullptr || name == nullptr) return -1;
    if (strlen(name) > kSwitchNameSize - 1) {
        rt_log(LOG_LEVEL_OPER, "change_engine Error name [%s] longer than %zu characters", name, kSwitchNameSize - 1);
        return -1;
    }
    char wanted[kSwitchNameSize];
    snprintf(wanted, sizeof wanted, "%s", name);
    for (const FamilyName &f : kFamilyNames) {
        if (strcmp(wanted, f.family) != 0) continue;
        snprintf(wanted, sizeof wanted, "%s", f.engine);
        break;
    }
    ENGINE_RECORD *old = device_current(device);
    if (old != nullptr && strcmp(old->name, wanted) == 0) return 0;
    ENGINE_RECORD *next = find_engine(wanted);
    if (next == nullptr) return -1;
    if (old != nullptr) {
        // A cycle may be running on the engine left: it ends before its camera or line
        // goes down, and its decode thread is not left polling a closed engine.
        if (old->scanner_stop_decode != nullptr) old->scanner_stop_decode(old, 0);
        if (old->scanner_close != nullptr) old->scanner_close(old);
    }
    next->device = device;
    next->platformType = arg;
    device_set_current(device, next);
    // An engine met before keeps its runtime state and threads: it is only opened again.
    if (next->common == nullptr && next->scanner_init != nullptr) next->scanner_init(next);
    if (next->scanner_open != nullptr) next->scanner_open(next);
    rt_log(LOG_LEVEL_OPER, "Change [%s] ==> [%s]", old != nullptr ? old->name : "", next->name);
    return 0;
}
