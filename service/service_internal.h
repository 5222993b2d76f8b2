// Internals of the scanner service shared by its sources (hidden from the exports).
#pragma once

#include <stdint.h>

#include <atomic>

#include "driver_nodes.h"
#include "readercore.h"
#include "scanner_service.h"


// ---- Engine list and loader ----

// Every engine record the loader could load, in the order of the Scan elements of
// CONFIG.xml. Filled by device open, emptied by device close.
extern struct list_head g_engine_list;

// Loads the driver of one Scan element (text: its text, the engine name): a new record
// filled from the engine file, with the library's plug-in functions bound, appended to
// the engine list. 0, or -1 when nothing was listed (no engine file, a library that does
// not load, a name that could leave the search directories).
int load_engine_driver(XML_NODE *scan, const char *text, void *unused);
// load_engine_driver for every direct child of the root named Scan that has a text, in
// document order: the number of engines listed.
int load_engine_drivers(XML_HANDLE *config);
// Unlinks and frees every record of the engine list: a record still holding its runtime
// state is deinitialised first (its threads run the library about to be unloaded), then
// its library is unloaded and its engine file closed.
void release_engine_list();
// The first record of the list named name exactly, or NULL.
ENGINE_RECORD *find_engine(const char *name);

// The engine switch (the device's change_engine operation).
int change_engine(DEVICE_OBJECT *device, const char *name, int arg);

// ---- The device's two words that other threads read without a lock ----
// The start-up threads and the switch store them with release order after everything
// they publish; readers load with acquire order, so a reader that sees the new value
// sees the rest of the device too.

inline ENGINE_RECORD *device_current(DEVICE_OBJECT *device) {
    return std::atomic_ref<ENGINE_RECORD *>(device->current).load(std::memory_order_acquire);
}
inline void device_set_current(DEVICE_OBJECT *device, ENGINE_RECORD *record) {
    std::atomic_ref<ENGINE_RECORD *>(device->current).store(record, std::memory_order_release);
}
inline uint32_t device_state(DEVICE_OBJECT *device) {
    return std::atomic_ref<uint32_t>(device->state).load(std::memory_order_acquire);
}
inline void device_set_state(DEVICE_OBJECT *device, uint32_t state) {
    std::atomic_ref<uint32_t>(device->state).store(state, std::memory_order_release);
}

// The cache's values: set on a caller's thread, read back by the service socket.
inline int32_t code_param_value(CODE_PARAM *entry) {
    return std::atomic_ref<int32_t>(entry->value).load(std::memory_order_relaxed);
}
inline void code_param_store(CODE_PARAM *entry, int32_t value) {
    std::atomic_ref<int32_t>(entry->value).store(value, std::memory_order_relaxed);
}

// ---- Device ----

// Installs the eleven operations.
void device_fill_operations(DEVICE_OBJECT *device);

// ---- Settings cache and defaults ----

// The walk procedures that build the cache: one CODE_GROUP for a code element (appended to
// the device's list; -1 for a NULL name or device), one entry for a parameter element
// (fill: the group being filled and its capacity), one SETTING_NODE for an element of
// EngineSetCodeValue with a value attribute (-1 for a NULL element or device).
int add_code_group(XML_NODE *code, const char *name, DEVICE_OBJECT *device);
int add_code_param(XML_NODE *param, const char *name, void *fill);
int add_setting_value(XML_NODE *element, char *name, char *text, void *device);
// The cache of the engine just bound: for a camera engine its setting names and codes from
// "EngineSettingCodeEN" (kept open in codeXml), otherwise the codes of its engine file.
void build_settings_cache(DEVICE_OBJECT *device, ENGINE_RECORD *r);
// Frees every setting node and every code group with its entries.
void release_settings_cache(DEVICE_OBJECT *device);
// Pushes the bound engine's defaults from "DEFAULTEN" into it (the cache is untouched).
void sync_default_setting(DEVICE_OBJECT *device);
// Reads every cached setting back from the engine's scanner_sync into the cache.
void read_back_settings(DEVICE_OBJECT *device, ENGINE_RECORD *r);
// The device's set_param and get_param operations and the cache lookup behind them.
int set_code_param(DEVICE_OBJECT *device, const char *code, const char *param, const char *value);
int dev_get_param(DEVICE_OBJECT *device, const char *code, const char *param, char *out);
int lookup_cached_value(DEVICE_OBJECT *device, const char *code, const char *param, char *out);

// ---- Start-up ----

// The value of "persist.sys.wait" ("unknow" when unset) and the two start-up threads.
extern char g_wait_path[PROPERTY_VALUE_MAX];
extern THREAD_RECORD g_probe_thread;
extern THREAD_RECORD g_post_probe_thread;

// Builds the device and starts its probe thread: the device, not yet ready, or NULL when
// it cannot be built (no memory, no CONFIG.xml to open).
DEVICE_OBJECT *scanner_device_open();
// Waits until both start-up threads have ended, then tears everything down: the result
// of closing the service socket; -1 for a NULL device.
int scanner_device_close(DEVICE_OBJECT *device);
// Unregisters the devices of "DRIVEREN" (the walk procedures: driver_nodes.h).
void driver_deinit();
int post_probe_proc(void *device);
