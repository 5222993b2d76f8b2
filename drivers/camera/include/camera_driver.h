// The camera engine driver skeleton: the twelve scanner_ exports, the decode-cycle
// callbacks, the code settings and the engine controls, shared by every camera plug-in.
// A plug-in links this library whole and defines g_camera_driver, the description of what
// its engine does differently.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include "framesource.h"
#include "readercore.h"
#include "zptlog.h"

// The platform name field: a probe command's name attribute must fit it with its terminator.
#define CAMERA_PLATFORM_SIZE 20

// One engine's driver state, reached through the COMMON_STATE's mPrivate.
struct CAMERA_PRIVATE {
    uint32_t format;
    uint32_t direction;
    uint32_t bufferCount;
    pthread_mutex_t lock; // serialises opening and closing the camera stream
    sqlite3 *database;
    uint32_t width;
    uint32_t height;
    uint32_t frameLength;
    uint8_t *frame;
    int64_t camera;
    void *extra; // the driver's own additions
};

struct CAMERA_DRIVER_DESC {
    const char *engine;          // the record's name after setup
    const char *probeProc;       // the probe callback's name in log lines
    uint32_t defaultWidth;       // frame size when Width or Height is 0 or absent
    uint32_t defaultHeight;
    uint32_t directionMax;       // ScanDirection values above it become 1
    bool directProbe;            // accepts "direct" probe commands
    const char *onlyPlatform;    // when set, the one platform a found path is accepted for
    uint32_t codeIdProperty;     // decoder property of the step's code id
    bool nullFrameCheck;         // a frame without pixels is skipped
    bool sizeEachStep;           // width and height set with every frame
    bool platformLine;           // setup logs the platform name
    const char *lowerMaxLine;    // setup's line of the low-power timeout
    const char *syncAttribute;   // attribute of the default that scanner_sync reads
    bool syncOnesForFlags;       // "Enable", "CodeNum" and "NumFixed" default to 1
    bool logBusy;                // a supplied image during a cycle logs "Device Is Busy"
    const char *decodeImageLine; // result line of a supplied image, and its level
    uint32_t decodeImageLevel;
    const char *version;         // scanner_version's text
    CAM_NOTIFY_CALLBACK notify;
    // Hooks (any may be NULL).
    int (*probeAccept)(ENGINE_RECORD *record, const char *platform); // after a path was found: 0 accepts
    void (*afterI2cOpen)(ENGINE_RECORD *record);                     // setup, right after i2c_open
    COMMON_PROC open;
    COMMON_PROC close;
    int (*decodeImagePrepare)(ENGINE_RECORD *record);
    // Handles a control the driver owns: true with *result set, false for the common table.
    bool (*ioctrl)(ENGINE_RECORD *record, int cmd, int arg, void *ptr, int *result);
    int (*closeEngine)(ENGINE_RECORD *record); // scanner_close's result
};

extern "C" const CAMERA_DRIVER_DESC g_camera_driver;

// After a successful decode: the text with a zero byte after it, its length and the code id
// into the result record; the length.
uint32_t camera_read_result(COMMON_STATE *cs);

// Driver-wide values: one engine per driver library and process.
extern int g_camera_channel;
extern int g_camera_model;
extern char g_camera_platform[CAMERA_PLATFORM_SIZE];
extern int g_camera_stored;

// The private record of an engine, NULL when the record, its state or its private is missing.
CAMERA_PRIVATE *camera_private(ENGINE_RECORD *record);
// Text of element below parent (node or NULL for the root) as atoi, 0 when absent.
int camera_read_int(XML_HANDLE *xml, XML_NODE *parent, const char *name);
// Calls the logging library's writer with the driver's mask.
#define CAM_LOG(mask, ...) log_write((mask), __VA_ARGS__)

// The core's callbacks: setup, the decode step and the cleanup.
int camera_driver_setup(ENGINE_RECORD *record);
void camera_decode_step(ENGINE_RECORD *record);
void camera_driver_cleanup(ENGINE_RECORD *record);

// Settings and controls (camera_settings.cpp).
int camera_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value);
int camera_sync(ENGINE_RECORD *record, const char *code, const char *param);
int camera_get(ENGINE_RECORD *record, const char *code, const char *param, char *out);
int camera_ioctrl(ENGINE_RECORD *record, int cmd, int arg, void *ptr);
