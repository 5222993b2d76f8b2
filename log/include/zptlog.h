/* libzptlog: leveled logging of the service side.
 *
 * One process-wide level mask (0x0C at load) and an optional log file. A line is written
 * when its mask shares a bit with the level and a file path has been set; nothing else is
 * written here. Callers that also want the Android log test log_get_level() themselves
 * and print with the tag ZPTLOG_ANDROID_TAG at debug priority, so one mask steers both. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZPTLOG_EXPORT __attribute__((visibility("default")))

/* Level bits by category. */
#define LOG_LEVEL_PORT 0x01u     /* device port drivers, the camera frame source */
#define LOG_LEVEL_CAMERA 0x02u   /* a camera driver's low-level messages */
#define LOG_LEVEL_DRIVER 0x04u   /* engine drivers */
#define LOG_LEVEL_OPER 0x08u     /* open, close, start, stop, settings, hex dumps, level changes */
#define LOG_LEVEL_DETAIL 0x10u   /* paths, library loading, decoder wrapper, sockets, JNI */
#define LOG_LEVEL_RESULT 0x20u   /* decode results */
#define LOG_LEVEL_DEFAULT 0x0Cu

#define ZPTLOG_ANDROID_TAG "ScanJni"
/* A line holds at most this many characters before its newline. */
#define ZPTLOG_LINE_MAX 1023
/* A stored log path holds at most this many characters. */
#define ZPTLOG_PATH_MAX 99

ZPTLOG_EXPORT uint32_t log_get_level(void);
/* Stores the level, then logs "log_set_level [<level>]" at LOG_LEVEL_OPER, and when the
 * new level has that bit prints the same line to the Android log. */
ZPTLOG_EXPORT void log_set_level(uint32_t level);
/* Keeps the first ZPTLOG_PATH_MAX characters of path as the log file and enables file
 * output: 1. NULL changes nothing: -1. A log already open stays where it is. */
ZPTLOG_EXPORT int log_set_filepath(const char *path);
/* Formats one line (cut to ZPTLOG_LINE_MAX characters, a newline added when missing) and
 * appends it to the log file with one write, when mask shares a bit with the level and a
 * path is set. The file is opened at the first line, and again at each line while opening
 * fails (those lines are lost). Safe from any thread. */
ZPTLOG_EXPORT void log_write(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));

#ifdef __cplusplus
}
#endif
