/* libreadercore: the scanner runtime that every engine driver builds on.
 *
 * Every function reports through its result: 0 or a count on success, a negative value
 * on failure, unless its line says otherwise. Paths are device paths. */
#pragma once

#include <stdint.h>
#include <sys/time.h>

#include "hwports.h"
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

#ifdef __cplusplus
}
#endif
