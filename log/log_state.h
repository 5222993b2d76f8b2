// The logging library's process-wide state, shared with the test hooks of the static
// build.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include <atomic>

#include "zptlog.h"

extern std::atomic<uint32_t> g_log_level;
// 1 once a path was set: read on every line without taking the lock.
extern std::atomic<int> g_log_enabled;
// The open log file, -1 while none is open; opened once and shared by every thread.
extern std::atomic<int> g_log_fd;
// Guards g_log_path and the opening of the file.
extern pthread_mutex_t g_log_lock;
extern char g_log_path[ZPTLOG_PATH_MAX + 1];
