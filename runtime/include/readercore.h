/* libreadercore: the scanner runtime that every engine driver builds on.
 *
 * Every function reports through its result: 0 or a count on success, a negative value
 * on failure, unless its line says otherwise. Paths are device paths. */
#pragma once

#include <pthread.h>
#include <semaphore.h>
#include <stdint.h>
#include <sys/time.h>

#include "engine_record.h"
#include "hwports.h"
#include "vexo3.h"
#include "xmlcfg.h"

#ifdef __cplusplus
extern "C" {
#endif

#define READERCORE_EXPORT __attribute__((visibility("default")))

/* ---- System properties ---- */

#ifndef PROPERTY_VALUE_MAX
#define PROPERTY_VALUE_MAX 92
#endif

/* The property's value into value (PROPERTY_VALUE_MAX bytes). When it is empty or missing
 * and default_value is given, the default (cut to PROPERTY_VALUE_MAX - 1 characters) is
 * copied instead and its length returned; otherwise the value's length (0 when empty).
 * -1 for a NULL name or value. */
READERCORE_EXPORT int property_get(const char *name, char *value, const char *default_value);
/* 0, or a negative value when the property cannot be set. */
READERCORE_EXPORT int property_set(const char *name, const char *value);
/* atoi of the value read by property_get with default_text. */
READERCORE_EXPORT int property_get_integer(const char *name, const char *default_text);

/* ---- Files and directories ---- */

/* Search results and candidate paths hold at most RT_PATH_MAX - 1 characters; every
 * out buffer of the path searches holds RT_PATH_MAX bytes. */
#define RT_PATH_MAX 500
/* CreateDir takes paths of at most this many characters. */
#define RT_CREATE_DIR_MAX 254

/* 0 when the file can be opened for reading, -1 otherwise. */
READERCORE_EXPORT int u_fileexist(const char *path);
/* 0 when the directory can be opened, -1 otherwise. */
READERCORE_EXPORT int is_dir_exit(const char *path);
/* Creates the path and every missing parent (mode 0755): 0, or -1 at the first failure or
 * for a path longer than RT_CREATE_DIR_MAX. */
READERCORE_EXPORT int CreateDir(const char *path);
/* The file's size, 0 when its status cannot be read. */
READERCORE_EXPORT int64_t get_file_size(const char *path);

/* Directory searches: the first directory of the list holding name wins; out receives
 * directory + name and the result is the directory's position (1-3); 0 when none holds it
 * or an argument is NULL. Candidates longer than RT_PATH_MAX - 1 are not tried.
 *   configuration: /storage/sdcard0/Tessaline/xml/, /unrecoverable/xml/, /system/usr/xml/
 *   user configuration: /data/corvane/, /mnt/sdcard/, /system/usr/xml/
 *   cache: /storage/sdcard0/Tessaline/cache/, /cache/, /cache/ */
READERCORE_EXPORT int GetConfigPath(char *out, const char *name);
READERCORE_EXPORT int GetUserConfigPath(char *out, const char *name);
READERCORE_EXPORT int GetCachePath(char *out, const char *name);
/* out = cache directory number index (0-2) + name, not tested: 0, or -1. */
READERCORE_EXPORT int GetCachePathForIndex(char *out, const char *name, int index);
/* Loads name (lazy binding) from the first of ./, /unrecoverable/lib64/,
 * /unrecoverable/lib/, /system/lib64/, /system/lib/ where it loads; NULL when none. */
READERCORE_EXPORT void *GetLibHandle(const char *name);

/* Copies source to destination (created or truncated): the bytes written; 0 and nothing
 * done for an empty or missing source; -1 when a file cannot be opened or written. */
READERCORE_EXPORT int copy_file(const char *source, const char *destination);
/* As copy_file; mode 1 encrypts and mode 2 decrypts the content under key_text on the
 * way (same length). Mode 0 or a NULL key copies unchanged. When the content cannot be
 * transformed the destination is not written and the result is negative. */
READERCORE_EXPORT int copy_xml(const char *source, const char *destination, int mode, const char *key_text);

/* ---- Conversions ---- */

/* The value of a hex digit ('0'-'9', 'a'-'f', 'A'-'F'); 0 for a byte at or below '/';
 * any other byte gives its code minus 48. */
READERCORE_EXPORT uint8_t BCDToHEX(char c);
/* A packed BCD byte to its number (0x25 gives 25). */
READERCORE_EXPORT int HEXToBCD(uint8_t b);
READERCORE_EXPORT uint8_t HEXHigh(uint8_t b);
READERCORE_EXPORT uint8_t HEXLow(uint8_t b);
/* Splits text at every '#' (text is modified) and turns each token into one byte: two hex
 * digits when its second character is one, else its first digit alone. Writes at most
 * capacity bytes to out: the count; -1 when out cannot hold every token (the first
 * capacity bytes are written) or an argument is NULL. */
READERCORE_EXPORT int StringToHex8Bit(char *text, uint8_t *out, int capacity);
/* Hex digits of text, at most n characters: value * 16 + digit, where a character that
 * is not a hex digit counts 255; wraps modulo 2^64. 0 for n <= 0 or an empty text. */
READERCORE_EXPORT int64_t ConverStrtoHex(const char *text, int n);
/* table: byte pairs {code, value} ended by a code 0. The value of the first pair whose
 * code is code's low byte; 0xFF when none. */
READERCORE_EXPORT uint8_t searchcodeid(const uint8_t *table, int code);
/* Platform identifiers: "MSM8X12_TX52" 1, "MSM8909_TX07" 2, "MT6735_TX52W" 3, else 0. */
READERCORE_EXPORT int get_platform_type(const char *identifier);
/* The identifier of 1-3, "Unknow" otherwise. */
READERCORE_EXPORT const char *get_platform_name(int type);

/* ---- Other ---- */

/* end - start in microseconds; 0 when end lies before start or an argument is NULL. */
READERCORE_EXPORT int64_t time_subtract(const struct timeval *start, const struct timeval *end);
/* Logs "<title> (<length> Bytes)", then the bytes 16 to a line ("%08X: " offset, "%02X "
 * per byte, "- " before the ninth), at level 0x08. */
READERCORE_EXPORT void LogPrintHex(const char *title, const uint8_t *bytes, int length);

/* ---- Settings list ---- */

/* A setting name holds at most SETTING_NAME_MAX - 1 characters; a longer one is cut. */
#define SETTING_NAME_MAX 52
/* get_setting_value parses at most this many characters of a value text. */
#define SETTING_VALUE_TEXT_MAX 19

/* One named number of the engine configuration. */
typedef struct SETTING_NODE {
    char name[SETTING_NAME_MAX];
    uint32_t nameSum; /* sum of the name's bytes, the first key of every lookup */
    uint64_t value;
    struct list_head link;
} SETTING_NODE;

/* The leading fields of the service's device object, up to the settings list: an owner
 * given to the lookups starts with this layout. */
typedef struct SETTING_OWNER {
    uint32_t state;
    void *current;
    void *configXml;
    struct list_head codeGroups;
    struct list_head settings; /* SETTING_NODEs in configuration order */
} SETTING_OWNER;

#if defined(__LP64__) && defined(__cplusplus)
static_assert(sizeof(SETTING_NODE) == 80, "setting node layout");
static_assert(sizeof(SETTING_OWNER) == 56, "device object prefix layout");
#endif

/* A new zero-filled node (freed with free) with the name, its byte sum and the value of
 * value_text: hex digits, any other character counting 255, at most SETTING_VALUE_TEXT_MAX
 * characters, wrapping at 64 bits. The caller links it. NULL for a NULL name or no memory. */
READERCORE_EXPORT SETTING_NODE *get_setting_value(const char *name, const char *value_text);
/* The value of the first node named name, found by the byte sum of name's first name_len
 * bytes (a larger count over a zero-filled buffer adds nothing) and then the full name;
 * 0 when none or owner is NULL. */
READERCORE_EXPORT uint64_t GetSettingValueFromList(void *owner, const char *name, int32_t name_len);
/* When a node holds value, writes it in decimal (at most 21 bytes) into out: 0; else -1. */
READERCORE_EXPORT int GetSettingStringFromList(void *owner, uint64_t value, char *out);
/* The index N (0-9) of the first attribute "value<N>" of node whose text is value in
 * decimal; 0 when none matches, no setting holds value, or owner is NULL. */
READERCORE_EXPORT int GetSettingEcho(void *owner, uint64_t value, XML_NODE *node);

/* ---- Settings database ---- */

typedef struct sqlite3 sqlite3;
/* Called by SQLite once per row: (context, column count, column texts, column names);
 * non-zero stops the query. */
typedef int (*SQLITE_ROW_PROC)(void *context, int columns, char **texts, char **names);

/* Statements are built in a buffer of this size; a longer one is refused. */
#define SQLITE_STATEMENT_MAX 200

/* Loads SQLite ("/system/lib64/libsqlite.so") when not loaded: 0, or -1. */
READERCORE_EXPORT int SqliteInit(void);
/* Unloads SQLite; the next open loads it again. */
READERCORE_EXPORT void SqliteFree(void);
/* Opens (creating) a database (device path): 0 with *out set, else -1 and *out NULL. */
READERCORE_EXPORT int SqliteOpen(const char *path, sqlite3 **out);
READERCORE_EXPORT void SqliteClose(sqlite3 *db);
/* The statements: 0 when SQLite executed them, -1 otherwise (also for a NULL database or
 * a statement that does not fit). Texts are inserted as they are, unquoted. */
READERCORE_EXPORT int SqliteCreateDefault(sqlite3 *db, const char *table);
READERCORE_EXPORT int SqliteInsertDefault(sqlite3 *db, const char *table, const char *code_id,
                                          const char *attribute, int state);
READERCORE_EXPORT int SqliteSelectDefalut(sqlite3 *db, const char *table, const char *code_id,
                                          const char *attribute, SQLITE_ROW_PROC proc, void *context);
READERCORE_EXPORT int SqliteUpdateDefalut(sqlite3 *db, const char *table, const char *code_id,
                                          const char *attribute, const char *state);
/* The working copy "/cache/Decode.db", checked by a read of its table "Decode"; a copy
 * that fails to open or to pass the check is deleted and replaced by the master copy
 * "/unrecoverable/db/Decode.db" when that passes the same check, else recreated empty.
 * NULL when SQLite is missing. */
READERCORE_EXPORT sqlite3 *OpenX3DecodeDB(void);
/* The master copy itself, creating its directory, file and table when needed. */
READERCORE_EXPORT sqlite3 *OpenDefaultConfigDB(void);

/* ---- System configuration and external decoder ---- */

/* Opens "ZPTConfig.xml" of the user configuration directories and applies DebugLevel and
 * DebugFile to the logging library: 0, or -1 when the file is missing or does not parse.
 * The document stays open until zptconfig_deinit. */
READERCORE_EXPORT int zptconfig_init(void);
/* The text of the first Config element whose name attribute is key, with its terminator,
 * into out (out_size bytes): 0. -1 when no configuration is open, no element matches or
 * the value does not fit (nothing copied). */
READERCORE_EXPORT int zptconfig_read_string(const char *key, char *out, int out_size);
/* atoi of the value (at most 19 characters) into *out: 0, or -1. */
READERCORE_EXPORT int zptconfig_read_int(const char *key, int *out);
READERCORE_EXPORT void zptconfig_deinit(void);

/* Property id through which the external decoder receives its code type. */
#define EXDECODE_CODE_TYPE_ID 0x100501u

/* Loads the external decoder named by LibExDecode (a plain file name) through the library
 * search, binds its five functions and, when it has an init function, calls it and hands
 * it LibExDecodeType: the init function's result; 0 when the library does not load or has
 * no init function; -1 when none is configured. */
READERCORE_EXPORT int ExDecode_Init(void);
/* Calls the external free function, unloads the library and forgets it. */
READERCORE_EXPORT void ExDecode_Free(void);
/* The external functions' results; 0 when not bound. */
READERCORE_EXPORT int ExDecode_Decode(void);
READERCORE_EXPORT int ExDecode_Set(uint32_t id, uint64_t value);
READERCORE_EXPORT int ExDecode_Get(uint32_t id, void *out);

/* ---- Intrusive lists (struct list_head) ---- */

READERCORE_EXPORT void list_init(struct list_head *head);
/* Links entry between two neighbours. */
READERCORE_EXPORT void __list_add(struct list_head *entry, struct list_head *prev, struct list_head *next);
/* Inserts entry right after head (stack order). */
READERCORE_EXPORT void list_add(struct list_head *entry, struct list_head *head);
/* Inserts entry at the end, right before head (queue order). Note: head first. */
READERCORE_EXPORT void list_add_tail(struct list_head *head, struct list_head *entry);
/* Joins two neighbours. */
READERCORE_EXPORT void __list_del(struct list_head *prev, struct list_head *next);
/* Unlinks entry and clears both of its pointers. */
READERCORE_EXPORT void list_del(struct list_head *entry);

/* ---- Image and file output ---- */

/* Size of the header WriteBmp puts before the pixels. */
#define RT_BMP_HEADER_SIZE 1078

/* Writes length bytes to path (created or truncated, mode 0777): 0, or -1. */
READERCORE_EXPORT int SaveFile(const char *path, const uint8_t *data, int32_t length);
/* Writes a grey frame as an 8-bit BMP: the 1078-byte header (grey palette, positive
 * height) and the rows as they stand in memory, unpadded: 0, or -1. */
READERCORE_EXPORT int WriteBmp(const char *path, const uint8_t *pixels, int32_t width, int32_t height);
/* Reads up to width * height pixel bytes of a WriteBmp file into out: the count read, or
 * -1 when the file cannot be opened or the size is not positive. */
READERCORE_EXPORT int ReadBmp(const char *path, uint8_t *out, int32_t width, int32_t height);
/* Reads a whole file: *length = its size; for an empty file nothing else happens (0).
 * Otherwise *buffer receives a new buffer of size + 1 bytes (the caller frees it) and
 * *length the count read. -1 with *length 0 when the file cannot be read or held. */
READERCORE_EXPORT int ReadBinFile(const char *path, uint8_t **buffer, int32_t *length);

/* ---- Worker threads ---- */

typedef int (*THREAD_PROC)(void *arg);
/* The calling thread's JNI environment (JNIEnv *), NULL without a Java VM. */
typedef void *(*THREAD_ATTACH_PROC)(void);
/* Detaches the calling thread: 1, or -1 without a Java VM. */
typedef int (*THREAD_DETACH_PROC)(void);

/* One worker thread. run and running are read and written by two threads: outside this
 * library use atomic loads and stores on them (common_atomic.h). */
typedef struct THREAD_RECORD {
    uint32_t run;     /* 1 while the thread is to keep running */
    uint32_t running; /* 1 until the thread function has returned */
    pthread_t thread;
    THREAD_PROC func;
    void *arg;
    THREAD_ATTACH_PROC attach;
    THREAD_DETACH_PROC detach;
} THREAD_RECORD;

/* Fills the record (run 1, running 1, function, argument, the JNI attach and detach
 * functions) and starts a detached thread that runs func (arg) and then clears running:
 * 0. -1 for a NULL record or function, or when no thread can be made (run and running
 * cleared). */
READERCORE_EXPORT int ThreadStart(THREAD_RECORD *record, THREAD_PROC func, void *arg);
/* Clears run, posts wake when given, then polls running every 100 us, at most 2000 times:
 * 0 whether or not the thread ended; -1 for a NULL record. */
READERCORE_EXPORT int ThreadStop(THREAD_RECORD *record, sem_t *wake);
/* Stores the process's Java VM (JavaVM *) for the attach and detach functions. */
READERCORE_EXPORT void SetJavaVM(void *vm);

/* ---- Common scanner core: decode cycles ---- */

/* Bytes of the result buffer. */
#define DECODE_RESULT_CAPACITY 51200

/* The result of one cycle, filled by the driver's step procedure. Two codes stand in
 * data as: u16 LE 2, u16 LE len1, the first code, u16 LE len2, the second code. */
struct DECODE_RESULT {
    uint32_t codeId;
    uint32_t capacity; /* DECODE_RESULT_CAPACITY */
    uint32_t kind;     /* 1 one code, 2 two codes */
    uint32_t len1;
    uint32_t len2;
    uint8_t *data; /* owned by the COMMON_STATE */
};

/* Driver procedures run on the decode thread. */
typedef void (*COMMON_PROC)(ENGINE_RECORD *record);
typedef int (*COMMON_INIT_PROC)(ENGINE_RECORD *record);

/* Per-engine decode-cycle state, read and written by the drivers through this layout.
 * mLock guards mState, mScanCount, mEvent and the idle counting; a field touched outside
 * it (mState, mEvent, mScanCount on the decode thread, mAwake) is read and written with
 * atomic loads and stores (common_atomic.h). */
struct COMMON_STATE {
    uint32_t mScanMinImage; /* the cycle steps while mScanCount is below it */
    uint32_t mScanCount;
    uint32_t mAwake;        /* 1 from a start until low power is entered */
    uint32_t mIdleSeconds;
    uint32_t mLowerMax;     /* idle seconds before low power; 0 never */
    pthread_mutex_t mLock;
    sem_t mDecodeSem;
    sem_t mLowPowerSem;
    DECODE_RESULT mResult;
    uint32_t mState; /* COMMON_STATE_IDLE or COMMON_STATE_DECODING */
    uint32_t mEvent; /* pending SCN_EVENT_ */
    int32_t mStartArg;
    SCAN_EVENT_CALLBACK mCallback;
    COMMON_PROC mDecodeProc;
    COMMON_PROC mOpenProc;
    COMMON_PROC mCloseProc;
    THREAD_RECORD mDecodeThread;
    THREAD_RECORD mLowPowerThread;
    void *mPrivate; /* the driver's own state */
};

enum {
    COMMON_STATE_IDLE = 0,
    COMMON_STATE_DECODING = 2,
};

/* Service command of a debug image sent to the Java side. */
#define SERVICE_CMD_DEBUG_IMAGE 0x204

/* Every entry point gives -1 for a NULL record or one without its state where needed. */

/* Creates the state with the procedures, calls init (when given; below 0 fails), then
 * starts the low-power and the decode thread: the decode thread's start result. On any
 * failure before the threads everything is released and common stays NULL. */
READERCORE_EXPORT int common_scanner_init(ENGINE_RECORD *record, COMMON_INIT_PROC init, COMMON_PROC decode,
                                          COMMON_PROC open, COMMON_PROC close);
/* Ends a running cycle as a stop does, stops both threads and waits until both have
 * left, releases the state, calls cleanup (when given), switches the engine off (not
 * while powerLocked is 1) and clears common: 0. */
READERCORE_EXPORT int common_scanner_deinit(ENGINE_RECORD *record, COMMON_PROC cleanup);
/* Powers the engine by its kind and sets opened: 0 whatever the switching gave. */
READERCORE_EXPORT int common_scanner_open(ENGINE_RECORD *record);
/* Powers the engine down and clears opened: 0; -1 without state or while powerLocked. */
READERCORE_EXPORT int common_scanner_close(ENGINE_RECORD *record);
/* Starts (or restarts) a cycle reporting through callback: the post's result; -1 while an
 * upgrade holds the engine (powerLocked, or a serial upgrade through its power cycles). */
READERCORE_EXPORT int common_scanner_start_decode(ENGINE_RECORD *record, SCAN_EVENT_CALLBACK callback,
                                                  void *reserved, int arg);
/* Ends the cycle at the next check: the post's result, 0 when idle. */
READERCORE_EXPORT int common_scanner_stop_decode(ENGINE_RECORD *record, int arg);
/* From a driver procedure on the decode thread: ends the cycle with event. 0. */
READERCORE_EXPORT int common_scanner_stop_oper(ENGINE_RECORD *record, int event);
/* Clears the four debug-image fields. */
READERCORE_EXPORT int common_scanner_debug_init(ENGINE_RECORD *record);
/* The drivers' ioctrl fallback: 0x102 sets debugSaveImage, 0x103 debugSendImage: 0. */
READERCORE_EXPORT int common_scanner_debug_ioctrl_proc(ENGINE_RECORD *record, int code, int value, void *pointer);
/* For each frame (*image: width x height grey pixels; trailer NULL or 16 bytes, copied
 * behind the pixels in the frame buffer before sending): saves "/data/yuv/<n>.bmp"
 * and/or sends the pixels to the Java side while debugEnable is set. The send's result
 * when sending, else 0; -1 for a NULL record or image. */
READERCORE_EXPORT int common_scanner_debug_proc(ENGINE_RECORD *record, uint8_t **image, int width, int height,
                                                const uint8_t *trailer);

/* ---- Service socket ----
 * A server link of the message link library (loaded by file name) on the abstract name
 * "com.corvane.brevik.jnisocket". Its records are the library's: a chunk is
 * {next, i32 length, data: 16-byte header then payload}. */

struct LINK_CHUNK;
struct LINK_SEND_NODE;

/* Keeps the device (a later call takes the new one and keeps a running link) and opens the
 * link: 0, or -1 when the link library cannot be loaded. */
READERCORE_EXPORT int zpt_net_init(DEVICE_OBJECT *device);
/* Stops the link, frees the image buffer and releases the library: 0, or -1 when the
 * link's stop was not bound. */
READERCORE_EXPORT int zpt_net_deinit(void);
/* The message's sequence number, or 0 when nothing was sent. Any thread. */
READERCORE_EXPORT int zpt_net_direct_send(uint16_t command, const void *payload, int length);
/* The queued send: the sequence number, or 0 when nothing was queued. */
READERCORE_EXPORT int zpt_net_send(uint16_t command, const void *payload, int length, int retries, int timeout);
/* Answers a received request; nothing while no link runs. */
READERCORE_EXPORT void zpt_send_echo_packet(struct LINK_CHUNK *request, uint8_t status, const void *payload,
                                            int length);
/* The service commands' request handler: always 1. */
READERCORE_EXPORT int zpt_net_distribute(struct LINK_CHUNK *request);
/* The reply handler: answers to the stack's reports are dropped. */
READERCORE_EXPORT void zpt_net_responsion(struct LINK_CHUNK *reply, struct LINK_SEND_NODE *request);
/* The serial read command: always 1. */
READERCORE_EXPORT int zpt_net_com_read(struct LINK_CHUNK *request);

/* ---- Port and control wrappers ----
 * Each looks its port up by kind and channel at every call; a missing port gives -1
 * unless stated. Fixed waits go through the platform's sleep seam. */

READERCORE_EXPORT int control_power_oper(int channel, int on);
READERCORE_EXPORT int control_2dpower_oper(int channel, int on);
READERCORE_EXPORT int control_wake(int channel, int on);
/* -1 while powerLocked (on and off); otherwise the switch's result after 300 ms. */
READERCORE_EXPORT int control_power(ENGINE_RECORD *record, int on);
/* Off refused while powerLocked; 0 after 300 ms on success, a failure at once. */
READERCORE_EXPORT int control_2dpower(ENGINE_RECORD *record, int on);
/* Wake off and both powers on channels 0-9 (missing ports skipped), then 500 ms: 0. */
READERCORE_EXPORT int control_all_power(int on);
/* Drains the engine's pending serial input, then the trigger line (1 on, other off). */
READERCORE_EXPORT int control_trig(ENGINE_RECORD *record, int on);
READERCORE_EXPORT int control_set_rts(ENGINE_RECORD *record, int level);
/* The CTS level 0 or 1. */
READERCORE_EXPORT int control_get_cts(ENGINE_RECORD *record);
READERCORE_EXPORT int control_aimer(ENGINE_RECORD *record, int on);
READERCORE_EXPORT int control_illum(ENGINE_RECORD *record, int on);
READERCORE_EXPORT int control_uhf(int level);

/* UART. The remembered speed (115200 at load, one for all channels) sets the reply gap. */
READERCORE_EXPORT int serial_speed(int channel, int speed);
/* A closed port is opened (8N1): its descriptor or -1; an open one gets serial_speed. */
READERCORE_EXPORT int serial_open(int channel, int speed, int blocking);
READERCORE_EXPORT int serial_open_param(int channel, int speed, int blocking, int data_bits, int stop_bits,
                                        int parity);
READERCORE_EXPORT int serial_close(int channel);
/* Bytes read, 0 on time-out. */
READERCORE_EXPORT int serial_read(int channel, uint8_t *buffer, int length, int timeout_ms);
READERCORE_EXPORT int serial_write(int channel, const uint8_t *bytes, int length);
READERCORE_EXPORT int serial_ctsrts(int channel, int on);
READERCORE_EXPORT int serial_clear(int channel);
/* The serial reply gap in ms: 40000 / remembered speed + 1. */
READERCORE_EXPORT int getBaydrateDelay(void);

/* I2C. tries below 1 allow one attempt; the delay follows every failed attempt. */
READERCORE_EXPORT PORT_DEVICE *i2c_open(int channel);
READERCORE_EXPORT int i2c_close(int channel);
/* len, or -1 when the attempts are used up. */
READERCORE_EXPORT int i2c_read(int channel, uint8_t slave, int reg, uint8_t *buffer, int len, int delay_ms, int tries);
/* len, or 0 when the attempts are used up. */
READERCORE_EXPORT int i2c_write(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len, int delay_ms,
                                int tries);
READERCORE_EXPORT int i2c_read_word(int channel, uint8_t slave, int reg, uint8_t *buffer, int len, int delay_ms,
                                    int tries);
READERCORE_EXPORT int i2c_write_word(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len,
                                     int delay_ms, int tries);
READERCORE_EXPORT int i2c_read_direct(int channel, uint8_t slave, int reg, uint8_t *buffer, int len);
READERCORE_EXPORT int i2c_write_direct(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len);
/* Write, wait, read one byte back: len when it equals bytes[0]; when the attempts are
 * used up, the last write's status (0 or -1). */
READERCORE_EXPORT int i2c_write_echo(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len,
                                     int delay_ms, int tries);
/* Sleeps ms through the sleep seam: 0. */
READERCORE_EXPORT int msleep(int ms);

/* ---- Serial packet transport ---- */

/* One named engine command; the byte sum of the name is filled at the first lookup. */
typedef struct PACKET_CMD {
    const char *name;
    uint32_t sum;
    uint32_t id;
} PACKET_CMD;

#define PACKET_CMD_COUNT 11
/* The ten commands and an end entry with no name. */
READERCORE_EXPORT extern PACKET_CMD gCmdProcs[PACKET_CMD_COUNT];

/* Replies are collected into buffers of this many bytes. */
#define PACKET_REPLY_SIZE 512
#define PACKET_SLOT_DATA 30
#define PACKET_SLOT_COUNT 30

typedef struct PACKET_SLOT {
    uint32_t used; /* 1 while queued or being sent; the sender clears it */
    uint32_t id;
    uint32_t reserved;
    uint32_t length;
    uint8_t data[PACKET_SLOT_DATA];
} PACKET_SLOT;

#ifdef __cplusplus
static_assert(sizeof(PACKET_SLOT) == 48, "packet slot layout");
#endif

/* The command's id, 0 for NULL or an unknown name. */
READERCORE_EXPORT int PacketCmd(const char *name);
/* The name of id, NULL for any other id. */
READERCORE_EXPORT const char *PacketCmdString(int id);
/* Milliseconds from start to end; -1 when end lies before start or an argument is NULL. */
READERCORE_EXPORT int tim_subtract(const struct timeval *start, const struct timeval *end);

/* gaps: empty reads in a row that end a reply (-1: 2; 0: only the first read). */
READERCORE_EXPORT int WritePacketWithName(ENGINE_RECORD *record, const char *name, const char *key, const char *value,
                                          int timeout_ms, int gaps);
READERCORE_EXPORT int WritePacket(ENGINE_RECORD *record, const char *name, int timeout_ms, int gaps);
READERCORE_EXPORT int WritePacketNoAck(ENGINE_RECORD *record, const char *name, const char *key, const char *value);
/* reply: PACKET_REPLY_SIZE bytes. The reply length (0 when nothing came), or -1. */
READERCORE_EXPORT int WritePacketDirect(ENGINE_RECORD *record, const uint8_t *bytes, int length, uint8_t *reply,
                                        int timeout_ms, int gaps);
READERCORE_EXPORT int WritePacketDirectTs(ENGINE_RECORD *record, const uint8_t *bytes, int length, uint8_t *reply,
                                          int timeout_ms, int gaps);
READERCORE_EXPORT int WritePacketDirectTsWithName(ENGINE_RECORD *record, const char *name, const char *key,
                                                  const char *value, int timeout_ms, int gaps);
READERCORE_EXPORT int WritePacketTsNoAck(ENGINE_RECORD *record, const uint8_t *bytes, int length);
/* Reads decoded data into buffer (capacity bytes, never more): the count; 0 when the
 * first read brings nothing; -1 for a NULL record or buffer, a capacity below 1, or no
 * decode-cycle state. gaps: empty reads that end it (0: 6). Beeps once on data. */
READERCORE_EXPORT int ReadPacket(ENGINE_RECORD *record, uint8_t *buffer, int capacity, int timeout_ms, int gaps);
/* Drains pending input: the bytes discarded, or -1. */
READERCORE_EXPORT int ReadPacketClearSerial(ENGINE_RECORD *record, int timeout_ms);

/* The process's packet queue. */
READERCORE_EXPORT int PacketListInit(void);
/* 0 (also when the queue is full and nothing is stored); -1 for NULL, a length of 0 or
 * more than PACKET_SLOT_DATA bytes. */
READERCORE_EXPORT int PacketListPush(const uint8_t *bytes, int length);
/* The lowest used slot, or NULL; it stays used until the caller clears used. */
READERCORE_EXPORT PACKET_SLOT *PacketListPull(void);

/* ---- Firmware upgrade ---- */

/* Upgrade types of UPGRADE_REQUEST.FirmwareType. */
#define UPGRADE_TYPE_NONE 0
#define UPGRADE_TYPE_BOOT 1
#define UPGRADE_TYPE_KERNEL 2
#define UPGRADE_TYPE_CONFIG 4
/* UPGRADE_REQUEST.FirmwareOper: force a serial engine into its upgrade mode. */
#define UPGRADE_FORCE 1

/* Service command of a progress report (u32 percent) sent to the Java side. */
#define SERVICE_CMD_UPGRADE_PROGRESS 0x20d
/* Bytes of the firmware file header of the serial engines. */
#define UPGRADE_FILE_HEADER_SIZE 2268

/* Engine register access of the I2C upgrade: the bytes transferred. */
typedef int (*UPGRADE_REG_WRITE)(uint8_t address, int reg, const uint8_t *bytes, int count);
typedef int (*UPGRADE_REG_READ)(uint8_t address, int reg, uint8_t *bytes, int count);
typedef void (*UPGRADE_PROGRESS_PROC)(int percent);

/* Stores the engine's address, its register functions and the progress function (may be
 * NULL: reports then go to the Java side). */
READERCORE_EXPORT void Upgrade_Init(uint8_t address, UPGRADE_REG_WRITE write_register, UPGRADE_REG_READ read_register,
                                    UPGRADE_PROGRESS_PROC progress);
/* One firmware part (type KERNEL or CONFIG) to a camera engine over its upgrade registers:
 * 0, or -1 on any failure. */
READERCORE_EXPORT int Upgrade_Running(int type, const uint8_t *data, uint32_t length);
/* The parts of a firmware file: 1 boot, 2 kernel, 4 configuration ORed; their pointers into
 * the file and lengths are written only for the parts present. 0, with nothing written, for
 * a NULL argument, a file shorter than its header, or a flagged part not inside the file. */
READERCORE_EXPORT int upgrade_parse_header(const uint8_t **boot_data, uint32_t *boot_size, const uint8_t **kernel_data,
                                           uint32_t *kernel_size, const uint8_t **config_data, uint32_t *config_size,
                                           const uint8_t *file, uint32_t file_length);
/* To the progress function when set; otherwise, when it differs from the last value sent,
 * to the Java side as SERVICE_CMD_UPGRADE_PROGRESS. */
READERCORE_EXPORT void upgrade_report_progress(int percent);

/* The standard CRC-32 (zlib's) of n bytes. */
READERCORE_EXPORT uint32_t upgrade_crc32(const uint8_t *bytes, uint32_t n);
/* Serial engines of the GT51X0 family: every part of a firmware file over the engine's UART
 * (oper UPGRADE_FORCE: forced entry by a power cycle). 0 when every kernel and
 * configuration part went through (a boot part alone cannot: -1); -1 otherwise, also while
 * the engine's decode cycle runs (nothing is written then). */
READERCORE_EXPORT int GT51X0_Upgrade_Running(ENGINE_RECORD *record, const uint8_t *file, uint32_t length, int oper);
/* Sets the progress function shared with the I2C upgrade. */
READERCORE_EXPORT void GT51X0_Upgrade_Init(UPGRADE_PROGRESS_PROC progress);
/* A command frame of n text bytes into out (n + 8 bytes): n + 8; 0 for NULL, n < 1 or
 * n above 65535. */
READERCORE_EXPORT int GT51X0_Upgrade_PackCmd(const char *text, int n, uint8_t *out);
/* A data frame of n bytes into out (n + 5 bytes): n + 5; 0 likewise. */
READERCORE_EXPORT int GT51X0_Upgrade_PackData(const uint8_t *data, int n, uint8_t *out);
/* One part (type 1 boot, 2 kernel, 4 configuration): 0, or -1. The line is left at 115200. */
READERCORE_EXPORT int gt51x0_upgrade_part(int type, ENGINE_RECORD *record, const uint8_t *part, uint32_t part_length,
                                          int oper);

/* ---- Decoder wrapper ----
 * The image decoder "libvexo3.so", loaded by name and bound by symbol name. One lock
 * guards every call into the decoder and the external decoder; the beep callback runs
 * after it is released, on the caller's thread. */

/* Wrapper-only property ids. */
#define X3_ID_FOCUS_LEVEL 0xFFFFF0u      /* Set: focus level, then the area is pushed */
#define X3_ID_FOCUS_USER_VALUE 0xFFFFF1u /* Set: user band width, then the area is pushed */
#define X3_ID_FOCUS_INIT 0xFFFFF2u       /* Set: const FOCUS_INIT * */
#define X3_ID_FOCUS_VALUES 0xFFFFF3u     /* Set: const int[3] */
#define X3_ID_LOTTERY 0xFFFFFDu          /* Get: the lottery flag as u32 */
#define X3_ID_BEEP_TARGET 0xFFFFFEu      /* Set: COMMON_STATE * that receives the beep */

/* The decode area handed to the decoder with VEXO_ID_ROI_RECORD. */
typedef ROI_RECORD DECODE_REGION;

/* Loads and binds the decoder (short names, else the long family), runs its init and the
 * external decoder's: the init result; 0 without the library; -1 without an init. */
READERCORE_EXPORT int X3_Init(void);
READERCORE_EXPORT int X3_Set(uint32_t id, uint64_t value);
READERCORE_EXPORT int X3_Get(uint32_t id, void *out);
/* External decoder first, then the decoder; beeps on success. */
READERCORE_EXPORT int X3_Decode(void);
/* Decoder first, then the external decoder; never beeps. */
READERCORE_EXPORT int X3_DecodeNoBeep(void);
/* Pushes the focus area to the decoder: the decoder's set result, 0 when not usable. */
READERCORE_EXPORT int X3_SetVexoFocus(void);
READERCORE_EXPORT void X3_TiCai(uint8_t flag);
READERCORE_EXPORT void X3_Free(void);

/* ---- Decode results ---- */

/* 2 when text is a two-code text of exactly total bytes, else 1; the lengths read inside
 * total are written. */
READERCORE_EXPORT int32_t Decode_Is_TwoCode_From_Decoder(const uint8_t *text, int32_t total, int32_t *len1,
                                                         int32_t *len2);
/* Logs the record's current result (kind 1 or 2) at LOG_LEVEL_RESULT. */
READERCORE_EXPORT void LogResult(ENGINE_RECORD *record, TEXT_DESC *text);
/* Copies source into out (length bytes room) without a leading AIM identifier and sets
 * the code type (0 when untranslated): the bytes copied. */
READERCORE_EXPORT int32_t ResultAIMIDTran(const char *source, int32_t length, char *out, int32_t *codeType);

/* ---- Focus area (aimer alignment) ---- */

typedef struct FOCUS_INIT {
    uint32_t type; /* 0 light-dot band, 1 projection cross, 2 bright cross outline */
    uint32_t width;
    uint32_t height;
} FOCUS_INIT;

/* (zero, argument, area {top, left, right, bottom}) at the end of a calibration. */
typedef void (*FOCUS_CALLBACK)(uint8_t zero, void *argument, int *area);

#define FOCUS_LEVEL_HIGH 0xA0001u
#define FOCUS_LEVEL_MIDDLE 0xA0002u
#define FOCUS_LEVEL_LOW 0xA0003u
#define FOCUS_LEVEL_USER 0xA0004u

/* Loads "libspotfind.so": 0 when a detector was bound, else -1. */
READERCORE_EXPORT int InitX3Focus(const FOCUS_INIT *init);
READERCORE_EXPORT void DeInitX3Focus(void);
READERCORE_EXPORT void X3Focus_Set_Result(const int *area);
READERCORE_EXPORT void X3Focus_Set_Level(uint32_t level);
READERCORE_EXPORT void X3Focus_Set_UserValue(int value);
READERCORE_EXPORT void X3Focus_Set_FocusValue(const int *values);
/* The current decode area {top, left, right, bottom}. */
READERCORE_EXPORT void X3Focus_Get_AreaParam(int *area);
READERCORE_EXPORT int X3Focus_Running(const uint8_t *pixels, int width, int height, int *area, int *point);
/* 1 starts a calibration, another value finishes it: 0, or -1 without the library. */
READERCORE_EXPORT int X3Focus_Oper(uint8_t op, int reserved, FOCUS_CALLBACK callback, void *argument);

/* ---- Exposure library wrappers ("liblumactl.so", loaded on demand) ---- */

/* Sensor register write (0 on success), read (bytes read) and millisecond sleep. */
typedef int (*EXPOSURE_I2C_WRITE)(uint16_t reg, const uint8_t *data, int length);
typedef int (*EXPOSURE_I2C_READ)(uint16_t reg, uint8_t *data, int length);
typedef void (*EXPOSURE_SLEEP)(int ms);

/* Runs the library's init until one succeeds: always 0. */
READERCORE_EXPORT int ExposureInit(EXPOSURE_I2C_WRITE i2c_write, EXPOSURE_I2C_READ i2c_read,
                                   EXPOSURE_SLEEP sleep_ms, uint32_t sensor_init);
/* Marks the exposure as initialised: the library's init never runs afterwards. */
READERCORE_EXPORT void ExposureDeInit(void);
/* -1 when the library is not bound. */
READERCORE_EXPORT int GetImageLux(const uint8_t *pixels, int width, int height);
/* Hands the library (target, current); flag has no use. -1 when not bound. */
READERCORE_EXPORT int ExposureAjust(int target, int current, int flag);
READERCORE_EXPORT const char *GetVisionString(void);
READERCORE_EXPORT void CmosStandby(int on);
READERCORE_EXPORT void ExposureFree(void);

/* ---- MIPI bridge (TC358746 at 0x0E, 16-bit registers) ---- */

/* Each: 0; I2C failures are not reported. */
READERCORE_EXPORT int tc358746_read_id(int channel);
READERCORE_EXPORT int tc358746_init(int channel);
READERCORE_EXPORT int tc358746_deinit(int channel);
/* on non-zero: tc358746_init on the I2C channel; 0: tc358746_deinit. */
READERCORE_EXPORT int control_mipi(int channel, int on);


/* ---- Lottery-terminal mode ----
 * With "ro.build.scanner.api" 1, X3_Init puts a fixed configuration into the decoder,
 * starts the image server, and setting names switch groups of decoder properties. */

/* A setting's handler: (context, ignored; value text, only its first character read):
 * 0, or -2 for a value it does not take. */
typedef int (*TICAI_SET_PROC)(void *context, const char *value);

/* One setting; the byte sum of the name is filled once, before the first lookup. */
typedef struct TICAI_SET_ENTRY {
    const char *name;
    int32_t sum;
    TICAI_SET_PROC proc;
} TICAI_SET_ENTRY;

#define TICAI_SET_COUNT 40
/* The 39 settings and an end entry with no name. */
READERCORE_EXPORT extern TICAI_SET_ENTRY grv26SetProcs[TICAI_SET_COUNT];

/* Fills the sums from entry to the table's end (entries of grv26SetProcs only). */
READERCORE_EXPORT void name_table_fill_sums(TICAI_SET_ENTRY *entry);
/* Called by X3_Init in lottery mode, outside the wrapper's lock: ALL_Enable "1" and the
 * image server. */
READERCORE_EXPORT void X3TiCai_Init(void);
/* The handler's result, or -3 when no setting has that name. */
READERCORE_EXPORT int X3TiCai_Set(const char *name, const char *value);

READERCORE_EXPORT int X3TiCai_ALL_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_DoubleSingleCode(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_ITF_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN8_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN8_Addon2(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN8_Addon5(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN13_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN13_Addon2(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_EAN13_Addon5(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCE_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCE_Addon2(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCE_Addon5(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCA_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCA_Addon2(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UPCA_Addon5(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_ISSN_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE128_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_UCCEAN128_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_ISBT128_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_COUPON_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE32_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE39_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE39_FullASCII(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE93_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CODE11_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_MATRIX25_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_STD25_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_CDB_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_MSIPLSY_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_Rss_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_DM_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_PDF417_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_MICROPDF_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_COMPLSITE_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_COMPLSITE_UPCEAN(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_MAXIC_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_QR_Enable(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_QR_Micro(void *context, const char *value);
READERCORE_EXPORT int X3TiCai_AZTEC_Enable(void *context, const char *value);

/* ---- Lottery-terminal image sockets ----
 * The last camera frame, one 752 x 480 YUV 4:2:0 buffer (the chroma neutral), served
 * whole to every process that connects to the abstract name
 * "com.corvane.brevik.servicesocket" and saved as "/data/barcode.yuv". */

#define TICAI_IMAGE_SIZE 541440u /* 752 x 480 x 3 / 2 */
#define TICAI_LUMA_SIZE 360960u  /* 752 x 480 */

/* The image server's record: listening socket, run flag, thread. */
typedef struct SOCKET_SERVICE {
    int32_t fd;
    int32_t run;
    pthread_t thread;
} SOCKET_SERVICE;

/* Starts the image server (the buffer filled with 0x80): 0, or -1 when its socket or
 * thread cannot be set up. */
READERCORE_EXPORT int socket_service_init(void);
/* Copies at most TICAI_LUMA_SIZE bytes of image into the buffer (a NULL image: nothing). */
READERCORE_EXPORT void socket_service_fill_buf(const uint8_t *image, uint32_t length);
/* Pushes at most TICAI_IMAGE_SIZE bytes of image (also kept in the buffer) to
 * "com.corvane.brevik.localsocket": 0, -1 (no socket), -2 (refused) or -5 (write failed,
 * the connection closed). A sent image's connection stays open until the next push or
 * socket_local_close. */
READERCORE_EXPORT int socket_local_send(const uint8_t *image, uint32_t length);
READERCORE_EXPORT void socket_local_close(void);
/* The image server's thread (record: SOCKET_SERVICE *). */
READERCORE_EXPORT void *socket_service_thread_func(void *record);

/* ---- Crypto wrappers over libcrypto (bound at run time) ----
 * Byte strings are raw with explicit lengths, big numbers big-endian. Common results: -1
 * for a missing or empty argument, -2 when libcrypto or a function needed is not bound;
 * nothing is written then. */

/* AES-ECB with a key of bits 128, 192 or 256 (else -1) over every 16-byte block from 0
 * while below length (a partial last block transformed whole: in and out extend to
 * length rounded up to 16): 1. */
READERCORE_EXPORT int OpensslAesEncryptEx(const uint8_t *in, int length, uint8_t *out, const uint8_t *key, int bits);
READERCORE_EXPORT int OpensslAesDecryptEx(const uint8_t *in, int length, uint8_t *out, const uint8_t *key, int bits);
/* A key with exponent 65537: modulus and private exponent right-aligned in (bits + 7) / 8
 * bytes each: 0; -1 on any failure. */
READERCORE_EXPORT int OpensslRSAGenerateKey(int bits, uint8_t *d_out, uint8_t *n_out);
/* Raw RSA without padding: in right-aligned in a zeroed buffer of whole modulus lengths;
 * out holds the result (a modulus length): the library's result, also stored in
 * *out_length when given. */
READERCORE_EXPORT int opensslRSAPublicEncryptEx(const uint8_t *e, int e_length, const uint8_t *n, int n_length,
                                                const uint8_t *in, int length, uint8_t *out, int *out_length);
READERCORE_EXPORT int opensslRSAPublicDecryptEx(const uint8_t *e, int e_length, const uint8_t *n, int n_length,
                                                const uint8_t *in, int length, uint8_t *out, int *out_length);
/* The same with the key (n, d, 65537). */
READERCORE_EXPORT int opensslRSAPrivateEncryptEx(const uint8_t *d, int d_length, const uint8_t *n, int n_length,
                                                 const uint8_t *in, int length, uint8_t *out, int *out_length);
READERCORE_EXPORT int opensslRSAPrivateDecryptEx(const uint8_t *d, int d_length, const uint8_t *n, int n_length,
                                                 const uint8_t *in, int length, uint8_t *out, int *out_length);
/* PKCS #1 v1.5 with a PEM public key (NUL-terminated): 0 with the output length in
 * *out_length when given; -3 when the key cannot be read; the library's negative result
 * when the operation fails. */
READERCORE_EXPORT int OpensslRsaPublicEncrypt(const uint8_t *in, int length, uint8_t *out, int *out_length,
                                              const char *pem);
READERCORE_EXPORT int OpensslRsaPublicDecrypt(const uint8_t *in, int length, uint8_t *out, int *out_length,
                                              const char *pem);
/* The 16-byte digest into out (capacity at least 16): 0. */
READERCORE_EXPORT int OpensslMD5(const uint8_t *in, int length, uint8_t *out, int capacity);
/* Triple DES in ECB mode over length / 8 blocks (length at most in_length), key of 16
 * (K1 K2 K1) or 24 bytes (else -3); mode 1 encrypts, 0 decrypts: 1. */
READERCORE_EXPORT int Openssl3DESEncrypt(const uint8_t *in, int in_length, uint8_t *out, int length,
                                         const uint8_t *key, int key_length, int mode);
/* Base64 with a line feed after every 64 characters and the last line, no terminating
 * zero: the text length; -1 when it exceeds capacity. */
READERCORE_EXPORT int OpensslBase64Encode(const uint8_t *in, int length, char *out, int capacity);
/* The decoded bytes and a zero byte: their count; -1 when they do not fit capacity, a
 * negative value when decoding fails (nothing written either way). */
READERCORE_EXPORT int OpensslBase64Decode(const char *in, int length, uint8_t *out, int capacity);

#ifdef __cplusplus
}
#endif
