// A ready device with one camera engine "MOCKA" ("DISPA" on display) whose controls are
// the caller's, for the service socket's tests, fuzz target and benchmark.
#pragma once

#include <string.h>

#include "readercore.h"
#include "scanner_service.h"

inline void net_test_device(ENGINE_RECORD *engine, DEVICE_OBJECT *device, SCANNER_IOCTRL_PROC ioctrl,
                            SCANNER_SYNC_PROC sync, DEVICE_CHANGE_ENGINE_PROC change) {
    strcpy(engine->name, "MOCKA");
    strcpy(engine->display, "DISPA");
    engine->Scantype = ENGINE_KIND_CAMERA;
    engine->scanner_ioctrl = ioctrl;
    engine->scanner_sync = sync;
    device->current = engine;
    device->state = 1;
    device->change_engine = change;
    list_init(&device->codeGroups);
    list_init(&device->settings);
}
