#include "rt_log.h"

#include <stdarg.h>
#include <stdio.h>

#include <android/log.h>

void rt_log(uint32_t mask, const char *format, ...) {
    // Both outputs follow the same mask: nothing to format when it has none of the bits.
    if ((mask & log_get_level()) == 0 || format == nullptr) return;
    char line[ZPTLOG_LINE_MAX + 1];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    log_write(mask, "%s", line);
    __android_log_print(ANDROID_LOG_DEBUG, ZPTLOG_ANDROID_TAG, "%s", line);
}
