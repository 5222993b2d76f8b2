// The runtime's log lines: to the log file at their level bit and, when the level has
// that bit, to the Android log as well (tag "ScanJni", debug priority).
#pragma once

#include <stdarg.h>
#include <stdint.h>

#include "zptlog.h"

void rt_log(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));
// The same with the arguments already gathered.
void rt_vlog(uint32_t mask, const char *format, va_list ap);
