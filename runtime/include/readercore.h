/* libreadercore: the scanner runtime that every engine driver builds on.
 *
 * Every function reports through its result: 0 or a count on success, a negative value
 * on failure, unless its line says otherwise. Paths are device paths. */
#pragma once

#include <stdint.h>
#include <sys/time.h>

#include "hwports.h"

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
