// Leveled logging to one file, shared by every thread of the process.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <android/log.h>

#include "log_state.h"
#include "plat.h"

std::atomic<uint32_t> g_log_level{LOG_LEVEL_DEFAULT};
std::atomic<int> g_log_enabled{0};
std::atomic<int> g_log_fd{-1};
pthread_mutex_t g_log_lock = PTHREAD_MUTEX_INITIALIZER;
char g_log_path[ZPTLOG_PATH_MAX + 1];

namespace {

// The descriptor to write to, opening the file when none is held yet. Only the first
// lines take the lock; threads that race here open the file once.
int log_file_get() {
    int fd = g_log_fd.load(std::memory_order_acquire);
    if (fd >= 0) return fd;
    pthread_mutex_lock(&g_log_lock);
    fd = g_log_fd.load(std::memory_order_relaxed);
    if (fd < 0) {
        fd = plat_open(g_log_path, O_RDWR | O_CREAT | O_APPEND, 0666);
        if (fd >= 0) g_log_fd.store(fd, std::memory_order_release);
    }
    pthread_mutex_unlock(&g_log_lock);
    return fd;
}

}  // namespace

extern "C" uint32_t log_get_level(void) { return g_log_level.load(std::memory_order_relaxed); }

extern "C" void log_set_level(uint32_t level) {
    g_log_level.store(level, std::memory_order_relaxed);
    log_write(LOG_LEVEL_OPER, "%s [%x]", "log_set_level", level);
    if ((level & LOG_LEVEL_OPER) != 0)
        __android_log_print(ANDROID_LOG_DEBUG, ZPTLOG_ANDROID_TAG, "%s [%x]", "log_set_level", level);
}

extern "C" int log_set_filepath(const char *path) {
    if (path == nullptr) return -1;
    pthread_mutex_lock(&g_log_lock);
    memset(g_log_path, 0, sizeof g_log_path);
    strncpy(g_log_path, path, ZPTLOG_PATH_MAX);
    g_log_enabled.store(1, std::memory_order_release);
    pthread_mutex_unlock(&g_log_lock);
    return 1;
}

extern "C" void log_write(uint32_t mask, const char *format, ...) {
    if ((mask & log_get_level()) == 0 || format == nullptr) return;
    if (g_log_enabled.load(std::memory_order_acquire) == 0) return;
    // Room for the longest text, the newline added after it and the terminator.
    char line[ZPTLOG_LINE_MAX + 2];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line, ZPTLOG_LINE_MAX + 1, format, ap);
    va_end(ap);
    size_t len = n < 0 ? 0 : (n > ZPTLOG_LINE_MAX ? ZPTLOG_LINE_MAX : static_cast<size_t>(n));
    if (len == 0 || line[len - 1] != '\n') line[len++] = '\n';
    int fd = log_file_get();
    if (fd < 0) return;
    // One write per line: with O_APPEND, lines of different threads never mix.
    ssize_t written = write(fd, line, len);
    (void)written;
}
