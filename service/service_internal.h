// Internals of the scanner service shared by its sources (hidden from the exports).
#pragma once

#include <stdint.h>

#include <atomic>

#include "readercore.h"
#include "scanner_service.h"

// The key text of the encrypted configuration files.
inline constexpr char kServiceConfigKey[] = "Kwd7315";

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
