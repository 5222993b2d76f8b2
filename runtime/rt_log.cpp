#include "rt_log.h"

#include <stdarg.h>
#include <stdio.h>

#include <android/log.h>

void rt_vlog(uint32_t mask, const char *format, va_list ap) {
    // Both outputs follow the same mask: nothing to format when it has none of the bits.
    if ((mask & log_get_level()) == 0 || format == nullptr) return;
    char line[ZPTLOG_LINE_MAX + 1];
    vsnprintf(line, sizeof line, format, ap);
    log_write(mask, "%s", line);
    __android_log_print(ANDROID_LOG_DEBUG, ZPTLOG_ANDROID_TAG, "%s", line);
}

void rt_log(uint32_t mask, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    rt_vlog(mask, format, ap);
    va_end(ap);
}
