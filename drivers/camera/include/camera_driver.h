// The camera engine driver skeleton: the twelve scanner_ exports, the decode-cycle
// callbacks, the code settings and the engine controls, shared by every camera plug-in.
// A plug-in links this library whole and defines g_camera_driver, the description of what
// its engine does differently.
#pragma once

#include <pthread.h>
#include <stddef.h>
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

// What a driver does differently; a description names only what differs from these.
struct CAMERA_DRIVER_DESC {
    const char *engine = "";                 // the record's name after setup
    const char *probeProc = "scanner_camera_probe"; // the probe callback's name in log lines
    uint32_t defaultWidth = 640;             // frame size when Width or Height is 0 or absent
    uint32_t defaultHeight = 480;
    uint32_t directionMax = 1;               // ScanDirection values above it become 1
    bool directProbe = false;                // accepts "direct" probe commands
    const char *onlyPlatform = nullptr;      // when set, the one platform a found path is accepted for
    uint32_t codeIdProperty = VEXO_ID_EXTERNAL_SYMBOLOGY; // decoder property of the step's code id
    bool nullFrameCheck = false;             // a frame without pixels is skipped
    bool clearResultHead = false;            // a decoded frame clears the result's first 8 bytes
    bool sizeEachStep = false;               // width and height set with every frame
    bool platformLine = true;                // setup logs the platform name
    const char *lowerMaxLine = "LowerMax      [%d] "; // setup's line of the low-power timeout
    const char *scanMinLine = nullptr;       // when set, setup's line of the repeat limit
    bool pixelsAfterInit = false;            // setup hands the decoder the (null) frame
    const char *dbOpenLine = nullptr;        // when set, setup's lines on opening the database
    const char *dbKeptLine = nullptr;        //   and on finding one open
    bool debugWithoutData = false;           // the step's debug hook only while no data is pending
    const char *decodeOkLine = nullptr;      // when set, the step's result line at LOG_LEVEL_RESULT
    const char *syncAttribute = "default";   // attribute of the default that scanner_sync reads
    bool syncOnesForFlags = false;           // "Enable", "CodeNum" and "NumFixed" default to 1
    bool settingLine = false;                // scanner_set and scanner_sync log the value before X3_Set
    bool logBusy = false;                    // a supplied image during a cycle logs "Device Is Busy"
    const char *decodeImageLine = "%d %s";   // result line of a supplied image, and its level
    uint32_t decodeImageLevel = LOG_LEVEL_DRIVER;
    const char *version = "";                // scanner_version's text
    CAM_NOTIFY_CALLBACK notify = nullptr;
    size_t extraSize = 0;                    // when set, setup allocates `extra` zero-filled and cleanup frees it
    bool openCoreResult = false;             // scanner_open answers the core's result instead of 0
    // Hooks (any may be NULL but closeEngine).
    int (*probeAccept)(ENGINE_RECORD *record, const char *platform) = nullptr; // after a path was found: 0 accepts
    void (*beforeSetup)(ENGINE_RECORD *record) = nullptr;     // setup, once the private record is attached
    const char *(*platformLogName)(ENGINE_RECORD *record) = nullptr; // the "Platform" line's name; NULL: the probe's
    void (*setupLines)(ENGINE_RECORD *record) = nullptr;      // setup's own lines, before the closing star line
    void (*afterDecoderInit)(ENGINE_RECORD *record) = nullptr; // setup, after the decoder's size and beep record
    void (*afterI2cOpen)(ENGINE_RECORD *record) = nullptr;                     // setup, right after i2c_open
    const char *(*setupName)(ENGINE_RECORD *record) = nullptr; // name and banner by model; NULL: name kept
    const char *unknownBanner = nullptr;     // banner when setupName answers NULL
    void (*afterSetup)(ENGINE_RECORD *record) = nullptr;      // setup's last step
    void (*beforeCleanup)(ENGINE_RECORD *record) = nullptr;   // cleanup's first step
    void (*afterGrab)(ENGINE_RECORD *record) = nullptr;       // step, after a successful grab
    const uint8_t *(*debugExtra)(ENGINE_RECORD *record) = nullptr; // step, the debug hook's extra
    void (*beforeDecode)(ENGINE_RECORD *record) = nullptr;    // step, after the debug hook
    // Step, after a decode read n bytes into the result record: kind, second length, log and
    // event (when NULL: one code, pending event 1).
    void (*decoded)(ENGINE_RECORD *record, uint32_t n) = nullptr;
    int (*versionText)(ENGINE_RECORD *record, char *out) = nullptr; // replaces the fixed version
    COMMON_PROC open = nullptr;
    COMMON_PROC close = nullptr;
    // Before a supplied image's decode: above 0 answers 0 without decoding; otherwise it is decoded.
    int (*decodeImagePrepare)(ENGINE_RECORD *record, const IMAGE_REQUEST *request) = nullptr;
    void (*decodeImageFinish)(ENGINE_RECORD *record) = nullptr; // after a supplied image's decode
    void (*afterOpen)(ENGINE_RECORD *record) = nullptr;          // scanner_open, after the core's open
    // Handles a control the driver owns: true with *result set, false for the common table.
    bool (*ioctrl)(ENGINE_RECORD *record, int cmd, int arg, void *ptr, int *result) = nullptr;
    int (*closeEngine)(ENGINE_RECORD *record) = common_scanner_close; // scanner_close's result
};

extern "C" const CAMERA_DRIVER_DESC g_camera_driver;

// After a successful decode: the text with a zero byte after it, its length and the code id
// into the result record; the length.
uint32_t camera_read_result(COMMON_STATE *cs);

// The firmware upgrade through a running boot loader: Upgrade_Init with the engine's address
// and register access, Upgrade_Running with the request, and 0x00 written to doneRegister
// after a good upgrade; the result is the upgrade's.
int camera_upgrade_run(uint8_t address, int doneRegister, const UPGRADE_REQUEST *request,
                       UPGRADE_REG_WRITE write, UPGRADE_REG_READ read);
// The result of a read that ended an upgrade before it began: its byte count, or -1.
inline int camera_early_result(int read_result) { return read_result > 0 ? read_result : -1; }

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
