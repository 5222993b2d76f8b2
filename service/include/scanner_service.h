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

/* The settings cache: one CODE_GROUP per code the bound engine's configuration declares,
 * one CODE_PARAM per parameter of that code. Names hold at most CODE_NAME_SIZE - 1
 * characters (a longer one is cut). */
#define CODE_NAME_SIZE 52

typedef struct CODE_PARAM {
    char name[CODE_NAME_SIZE];
    int32_t value; /* the engine's value as last read back or written; 0 before */
} CODE_PARAM;

typedef struct CODE_GROUP {
    char name[CODE_NAME_SIZE];
    int32_t count;
    CODE_PARAM *entries; /* count entries, NULL when the code declares no parameter */
    struct list_head node;
} CODE_GROUP;

#if defined(__LP64__)
#ifdef __cplusplus
static_assert(sizeof(CODE_PARAM) == 56, "code parameter layout");
static_assert(sizeof(CODE_GROUP) == 80 && __builtin_offsetof(CODE_GROUP, node) == 64, "code group layout");
#else
_Static_assert(sizeof(CODE_PARAM) == 56, "code parameter layout");
_Static_assert(sizeof(CODE_GROUP) == 80, "code group layout");
#endif
#endif

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

/* ---- The exported scanner API ----
 * Every function works on the one device m_scanner_dev. "Ready" means: the device is
 * built, its state is 1 and the operation needed is present; a function gated by
 * readiness that finds it missing logs its "No init" line and answers its failure value.
 * Boolean results are 1 (true) and 0 (false). Each is safe from any thread. */

/* The library's version text, reported by zpt_getversion. */
#define ZPT_SCANNER_VERSION "V1.01.026"
/* zpt_getversion writes at most this many bytes, terminator included. */
#define ZPT_VERSION_TEXT_MAX (sizeof "JNI: " ZPT_SCANNER_VERSION "\n" + ENGINE_VERSION_SIZE)
/* zpt_getengine writes at most this many bytes, terminator included. */
#define ZPT_ENGINE_TEXT_MAX 14
/* zpt_setserialno stores at most this many bytes of the text. */
#define ZPT_SERIAL_MAX 50

/* The device, NULL before zpt_scaninit and after zpt_scandeinit. */
SCANNER_SERVICE_EXPORT extern DEVICE_OBJECT *m_scanner_dev;

/* Hands the Java VM (JavaVM *) to the runtime's worker threads. */
SCANNER_SERVICE_EXPORT void zpt_scan_setenv(void *vm);
/* The property "ro.build.scanner.api" as a number, 0 when unset. */
SCANNER_SERVICE_EXPORT int zpt_scan_getapi(void);
/* Builds the device and starts its probe: true when built (also when it already was). */
SCANNER_SERVICE_EXPORT int zpt_scaninit(void);
/* Closes the device when built: 1. */
SCANNER_SERVICE_EXPORT int zpt_scandeinit(void);
/* Opens, closes the bound engine: true when its plug-in answered 0. */
SCANNER_SERVICE_EXPORT int zpt_scanopen(void);
SCANNER_SERVICE_EXPORT int zpt_scanclose(void);
/* Starts a decode cycle reporting through callback (required); arg is kept by the cycle. */
SCANNER_SERVICE_EXPORT int zpt_scanstartdecode(SCAN_EVENT_CALLBACK callback, int arg);
SCANNER_SERVICE_EXPORT int zpt_scanstopdecode(int arg);
/* Sets one setting (three texts required): true when set or unchanged. */
SCANNER_SERVICE_EXPORT int zpt_scansetparam(const char *code, const char *param, const char *value);
/* A lottery-terminal setting by name (X3TiCai_Set); needs no device: true when it gave 0. */
SCANNER_SERVICE_EXPORT int zpt_scansetparam_ticai(const char *name, const char *value);
/* The cached value as decimal text into out (at least 12 bytes): its length, 0 when
 * nothing was written. */
SCANNER_SERVICE_EXPORT int zpt_scangetparam(const char *code, const char *param, char *out);
/* The bound engine's name, or "Unkown Engine" while not ready, into out
 * (ZPT_ENGINE_TEXT_MAX bytes): 0; -1 for a NULL out. */
SCANNER_SERVICE_EXPORT int zpt_getengine(char *out);
/* "JNI: <version>" and, when the engine gave one, a newline and the engine's version
 * text (at most ENGINE_VERSION_SIZE bytes of it) into out (ZPT_VERSION_TEXT_MAX bytes):
 * 1; 0 without a device. Not gated by readiness. */
SCANNER_SERVICE_EXPORT int zpt_getversion(char *out);
/* Writes at most the smaller of length, the text's length and ZPT_SERIAL_MAX bytes of text
 * to the MTD port of channel 1: 1; 0 without the port or text, or for a negative length. */
SCANNER_SERVICE_EXPORT int zpt_setserialno(const char *text, int length);
/* The engine kind (1 serial, 2 camera), 0 while not ready. */
SCANNER_SERVICE_EXPORT int zpt_getscantype(void);
/* One engine control (engine_record.h): true when it answered 0 or more. */
SCANNER_SERVICE_EXPORT int zpt_setscanioctrl(int code, int arg, void *pointer);
/* The device's state: 1 ready, 0 not (or no device). */
SCANNER_SERVICE_EXPORT int zpt_scangetstate(void);
/* Has the engine decode a supplied grey image (width x height bytes): true when the
 * engine answered 0 or more; false for no image or a size below 1. */
SCANNER_SERVICE_EXPORT int zpt_scanewimage(uint8_t *image, int width, int height);
/* Hands the engine the Java VM and a Java context (global reference): true when both
 * controls were accepted. */
SCANNER_SERVICE_EXPORT int zpt_setcontext(void *vm, void *context);
/* Hands the engine the Java VM and a JNI environment: true when both were accepted. */
SCANNER_SERVICE_EXPORT int zpt_setJavaEnv(void *vm, void *env);

#ifdef __cplusplus
}
#endif
