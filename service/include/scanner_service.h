/* libzpt-scanner.default: the scanner service. It finds the fitted engine among the
 * candidates the configuration lists, loads each candidate's driver plug-in by name and
 * holds the one device object of the process, through which every request reaches the
 * bound engine.
 *
 * The device object's layout is shared: the runtime's service socket works on it through
 * its operations, and the settings lookups read its leading fields (SETTING_OWNER,
 * readercore.h). */
#pragma once

#include <stdint.h>

#include "engine_record.h"
#include "hwports.h"
#include "xmlcfg.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SCANNER_SERVICE_EXPORT __attribute__((visibility("default")))

/* The device's operations. Each takes the device first and forwards to the current
 * engine's plug-in function; without device, engine or slot it answers -1 (version: 0). */
typedef int (*DEVICE_OPEN_PROC)(DEVICE_OBJECT *device);
typedef int (*DEVICE_CLOSE_PROC)(DEVICE_OBJECT *device);
typedef int (*DEVICE_START_DECODE_PROC)(DEVICE_OBJECT *device, SCAN_EVENT_CALLBACK callback, void *reserved, int arg);
typedef int (*DEVICE_STOP_DECODE_PROC)(DEVICE_OBJECT *device, int arg);
/* 0 set (or nothing to do), -1 refused or failed. */
typedef int (*DEVICE_SET_PARAM_PROC)(DEVICE_OBJECT *device, const char *code, const char *param, const char *value);
/* The cached value as text into out: its length, 0 when not cached, -1 without engine or
 * without the engine's scanner_get. */
typedef int (*DEVICE_GET_PARAM_PROC)(DEVICE_OBJECT *device, const char *code, const char *param, char *out);
/* The bound engine, NULL without one. */
typedef ENGINE_RECORD *(*DEVICE_GET_ENGINE_PROC)(DEVICE_OBJECT *device);
/* The engine's Scantype, -1 without device or engine. */
typedef int (*DEVICE_GET_SCAN_TYPE_PROC)(DEVICE_OBJECT *device);
typedef int (*DEVICE_IOCTRL_PROC)(DEVICE_OBJECT *device, int code, int arg, void *pointer);
/* out: ENGINE_VERSION_SIZE bytes. */
typedef int (*DEVICE_VERSION_PROC)(DEVICE_OBJECT *device, char *out);
/* Makes the loaded engine of that name current: 0, or -1 when none has it. */
typedef int (*DEVICE_CHANGE_ENGINE_PROC)(DEVICE_OBJECT *device, const char *name, int arg);

/* The device: built by the start-up, filled in by its probe and post-probe threads while
 * callers may already arrive. state is written last, with release order, and read with
 * acquire order; current likewise (an engine switch replaces it). */
struct DEVICE_OBJECT {
    uint32_t state;             /* 0 not ready, 1 ready */
    ENGINE_RECORD *current;     /* the bound engine, NULL until the probe binds one */
    XML_HANDLE *configXml;      /* the cached CONFIG.xml, until the probe binds an engine */
    struct list_head codeGroups; /* CODE_GROUPs of the settings cache */
    struct list_head settings;   /* SETTING_NODEs of a bound camera engine */
    DEVICE_OPEN_PROC open;
    DEVICE_CLOSE_PROC close;
    DEVICE_START_DECODE_PROC start_decode;
    DEVICE_STOP_DECODE_PROC stop_decode;
    DEVICE_SET_PARAM_PROC set_param;
    DEVICE_GET_PARAM_PROC get_param;
    DEVICE_GET_ENGINE_PROC get_engine;
    DEVICE_GET_SCAN_TYPE_PROC get_scan_type;
    DEVICE_IOCTRL_PROC ioctrl;
    DEVICE_VERSION_PROC version;
    DEVICE_CHANGE_ENGINE_PROC change_engine;
};

#if defined(__LP64__)
#ifdef __cplusplus
static_assert(sizeof(DEVICE_OBJECT) == 144, "device object layout");
static_assert(__builtin_offsetof(DEVICE_OBJECT, settings) == 40, "device object layout");
static_assert(__builtin_offsetof(DEVICE_OBJECT, open) == 56, "device object layout");
#else
_Static_assert(sizeof(DEVICE_OBJECT) == 144, "device object layout");
#endif
#endif

#ifdef __cplusplus
}
#endif
