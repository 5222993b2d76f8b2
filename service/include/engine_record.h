/* The engine record: one loaded engine driver plug-in, shared by the scanner service that
 * loads it, the runtime that runs its decode cycles and the driver itself. Every party
 * reads and writes its fields directly, so their order and types are fixed.
 *
 * The plug-in functions all take the record first and return an int; a slot is NULL when
 * the driver library lacks the symbol, and a caller then treats the operation as not
 * supported. */
#pragma once

#include <stdint.h>

#include "hwports.h"
#include "xmlcfg.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ENGINE_RECORD ENGINE_RECORD;
/* Defined by the runtime (readercore.h) and the service. */
typedef struct COMMON_STATE COMMON_STATE;
typedef struct DECODE_RESULT DECODE_RESULT;
typedef struct DEVICE_OBJECT DEVICE_OBJECT;

/* Engine kinds (Scantype). */
enum {
    ENGINE_KIND_SERIAL = 1,
    ENGINE_KIND_CAMERA = 2,
};

/* Decode-cycle events: the first argument of the event callback. */
enum {
    SCN_EVENT_NONE = 0,
    SCN_EVENT_DATA = 1,         /* a code was read; the result holds it; ends the cycle */
    SCN_EVENT_FAIL = 4,         /* any failure the driver reports; ends the cycle */
    SCN_EVENT_OPEN_FAIL = 5,    /* left by the open procedure; ends the cycle unstepped */
    SCN_EVENT_BEEP = 6,         /* delivered directly, with a NULL result, never stored */
    SCN_EVENT_DELIVER_KEEP = 7, /* delivered after each step; the cycle goes on */
};

/* The event callback of a decode cycle: (event, result or NULL, 0). */
typedef int (*SCAN_EVENT_CALLBACK)(int event, DECODE_RESULT *result, int reserved);

/* Engine name and display name: at most ENGINE_NAME_SIZE - 1 characters. */
#define ENGINE_NAME_SIZE 10
/* scanner_version writes at most this many bytes. */
#define ENGINE_VERSION_SIZE 96
/* scanner_pack builds into a buffer of this many bytes. */
#define ENGINE_PACKET_SIZE 512

typedef int (*SCANNER_PROBE_PROC)(ENGINE_RECORD *record);
typedef int (*SCANNER_INIT_PROC)(ENGINE_RECORD *record);
typedef int (*SCANNER_DEINIT_PROC)(ENGINE_RECORD *record);
typedef int (*SCANNER_OPEN_PROC)(ENGINE_RECORD *record);
typedef int (*SCANNER_CLOSE_PROC)(ENGINE_RECORD *record);
/* (callback, pointer: always NULL, int: stored only) - 0 when the cycle started. */
typedef int (*SCANNER_START_DECODE_PROC)(ENGINE_RECORD *record, SCAN_EVENT_CALLBACK callback, void *reserved,
                                         int arg);
typedef int (*SCANNER_STOP_DECODE_PROC)(ENGINE_RECORD *record, int arg);
typedef int (*SCANNER_SET_PROC)(ENGINE_RECORD *record, const char *code, const char *param, const char *value);
typedef int (*SCANNER_GET_PROC)(ENGINE_RECORD *record, const char *code, const char *param, char *out);
typedef int (*SCANNER_IOCTRL_PROC)(ENGINE_RECORD *record, int code, int arg, void *pointer);
/* Writes at most ENGINE_VERSION_SIZE bytes; above 0 when a text was written. */
typedef int (*SCANNER_VERSION_PROC)(ENGINE_RECORD *record, char *out);
typedef int (*SCANNER_SYNC_PROC)(ENGINE_RECORD *record, const char *code, const char *param);
/* Builds the packet of a named command into out (ENGINE_PACKET_SIZE bytes): its length,
 * 0 when nothing was built. */
typedef int (*SCANNER_PACK_PROC)(ENGINE_RECORD *record, const char *name, const char *key, const char *value,
                                 uint8_t *out);
/* 0 when reply (reply_len bytes, possibly 0) answers the sent packet. */
typedef int (*SCANNER_UNPACK_PROC)(ENGINE_RECORD *record, const char *name, const uint8_t *sent, int sent_len,
                                   const uint8_t *reply, int reply_len);

/* Engine control codes: the code argument of scanner_ioctrl. Codes below 0x100 belong to
 * the camera library behind a camera engine and are passed to it unchanged; from 0x100 up
 * they are the system's own. A driver hands every code it does not handle to the debug
 * fallback common_scanner_debug_ioctrl_proc (readercore.h), which acts on 0x102 and 0x103
 * and answers 0 for every code. Every driver answers -1 for a record without common. */
#define SCANNER_IOCTRL_JAVA_VM 0xf0          /* 0, the Java VM: >= 0 accepted */
#define SCANNER_IOCTRL_JAVA_ENV 0xf1         /* 0, the JNI environment or the Java VM */
#define SCANNER_IOCTRL_JAVA_CONTEXT 0xf2     /* 0, a global reference to the Java context */
#define SCANNER_IOCTRL_GET_SIZE 0x101        /* 0, SCANNER_FRAME_SIZE *: 0 answer valid */
#define SCANNER_IOCTRL_SAVE_BMP 0x102        /* the switch value: 0 */
#define SCANNER_IOCTRL_SEND_BMP 0x103        /* the switch value: 0 */
#define SCANNER_IOCTRL_DECODE_IMAGE 0x104    /* 0, IMAGE_REQUEST *: 0 decoded, -1 not or busy */
#define SCANNER_IOCTRL_UPGRADE 0x105         /* 0, UPGRADE_REQUEST *: 0 done */
#define SCANNER_IOCTRL_LOWPOWER 0x106        /* 0, none: sent by the low-power thread */
#define SCANNER_IOCTRL_SENSOR_ADJUST 0x107   /* the adjustment value 0-255: 0 accepted */
#define SCANNER_IOCTRL_SET_SENSOR_SN 0x108   /* 32, 32 bytes to store: 0 stored */
#define SCANNER_IOCTRL_GET_SENSOR_SN 0x109   /* 32, 32-byte buffer: 0 filled */
#define SCANNER_IOCTRL_SET_SENSOR_DATA 0x10a /* 16, 16 bytes to store: 0 stored */
#define SCANNER_IOCTRL_GET_SENSOR_DATA 0x10b /* 16, 16-byte buffer: 0 filled */
#define SCANNER_IOCTRL_SAVE_ADJUST 0x10c     /* 16, 16 bytes of adjustment data: 0 stored */
#define SCANNER_IOCTRL_CHECK_LENGTH 0x201    /* 0, none: 1 = the service checks Minlen against Maxlen */

/* The pointer of SCANNER_IOCTRL_DECODE_IMAGE, lent for the call: grey pixels, one byte
 * each, row after row, stride = width. The sender owns the image. */
typedef struct IMAGE_REQUEST {
    uint32_t width;
    uint32_t height;
    uint8_t *image;
} IMAGE_REQUEST;

/* The pointer of SCANNER_IOCTRL_UPGRADE: the firmware type, the operation (1 forces a
 * serial engine into its upgrade mode, any other value is an ordinary start) and the
 * firmware file's bytes. */
typedef struct UPGRADE_REQUEST {
    uint32_t FirmwareType;
    uint32_t FirmwareOper;
    uint32_t len;
    uint8_t *Buf;
} UPGRADE_REQUEST;

/* The answer of SCANNER_IOCTRL_GET_SIZE, written by the driver into the sender's record. */
typedef struct SCANNER_FRAME_SIZE {
    uint32_t width;
    uint32_t height;
} SCANNER_FRAME_SIZE;

struct ENGINE_RECORD {
    char name[ENGINE_NAME_SIZE];
    char display[ENGINE_NAME_SIZE];
    int32_t Scantype;      /* ENGINE_KIND_SERIAL or ENGINE_KIND_CAMERA */
    int32_t ScanWakeUp;    /* wake line while probing: non-zero on, 0 off */
    int32_t DriverChannel; /* UART channel (serial) or I2C channel (camera) */
    int32_t PowerChannel;  /* switch channel of power, aimer and illumination */
    int32_t TrigChannel;   /* switch channel of trigger, wake and RTS/CTS */
    int32_t powerLocked;   /* 1 while a firmware upgrade must not lose power */
    int32_t opened;        /* 1 while the runtime holds the engine powered open */
    int32_t platformType;  /* set by an engine switch */
    XML_HANDLE *engineXml;
    XML_HANDLE *codeXml;
    SCANNER_PROBE_PROC scanner_probe;
    SCANNER_INIT_PROC scanner_init;
    SCANNER_DEINIT_PROC scanner_deinit;
    SCANNER_OPEN_PROC scanner_open;
    SCANNER_CLOSE_PROC scanner_close;
    SCANNER_START_DECODE_PROC scanner_start_decode;
    SCANNER_STOP_DECODE_PROC scanner_stop_decode;
    SCANNER_SET_PROC scanner_set;
    SCANNER_GET_PROC scanner_get;
    SCANNER_IOCTRL_PROC scanner_ioctrl;
    SCANNER_VERSION_PROC scanner_version;
    SCANNER_SYNC_PROC scanner_sync;
    SCANNER_PACK_PROC scanner_pack;
    SCANNER_UNPACK_PROC scanner_unpack;
    uint32_t debugEnable;
    uint32_t debugSaveImage;
    uint32_t debugSendImage;
    uint32_t debugImageCount; /* n of the next "/data/yuv/<n>.bmp" */
    void *libHandle;
    DEVICE_OBJECT *device;
    COMMON_STATE *common; /* set by common_scanner_init, NULL before */
    struct list_head node;
};

#if defined(__LP64__)
#ifdef __cplusplus
static_assert(sizeof(IMAGE_REQUEST) == 16 && __builtin_offsetof(IMAGE_REQUEST, image) == 8, "image request layout");
static_assert(sizeof(UPGRADE_REQUEST) == 24 && __builtin_offsetof(UPGRADE_REQUEST, len) == 8 &&
                  __builtin_offsetof(UPGRADE_REQUEST, Buf) == 16,
              "upgrade request layout");
static_assert(sizeof(ENGINE_RECORD) == 240, "engine record layout");
static_assert(__builtin_offsetof(ENGINE_RECORD, scanner_probe) == 72, "engine record layout");
static_assert(__builtin_offsetof(ENGINE_RECORD, common) == 216, "engine record layout");
#else
_Static_assert(sizeof(IMAGE_REQUEST) == 16, "image request layout");
_Static_assert(sizeof(UPGRADE_REQUEST) == 24, "upgrade request layout");
_Static_assert(sizeof(ENGINE_RECORD) == 240, "engine record layout");
#endif
#endif

#ifdef __cplusplus
static_assert(sizeof(SCANNER_FRAME_SIZE) == 8, "frame size answer layout");
#else
_Static_assert(sizeof(SCANNER_FRAME_SIZE) == 8, "frame size answer layout");
#endif

#ifdef __cplusplus
}
#endif
