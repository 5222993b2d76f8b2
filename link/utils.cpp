// Process, thread and log utilities of the link library.
#include <dirent.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <android/log.h>

#include "link_internal.h"

namespace {

// Read and written without a lock by design; atomics keep that well defined.
uint32_t g_level = LINK_LOG_LEVEL_DEFAULT;

constexpr int kStatusLineMax = 4096;
constexpr size_t kHexTextSize = 2048;

void *comm_thread_trampoline(void *arg) {
    COMM_THREAD *record = static_cast<COMM_THREAD *>(arg);
    if (record->entry != nullptr) record->entry(record->arg);
    return nullptr;
}

// The second word of the first line of /proc/<entry>/status, the process name.
bool read_process_name(const char *entry, char *name, size_t cap) {
    char path[64];
    if (snprintf(path, sizeof path, "/proc/%s/status", entry) >= static_cast<int>(sizeof path)) return false;
    FILE *f = fopen(path, "re");
    if (f == nullptr) return false;
    char line[kStatusLineMax];
    bool ok = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    if (!ok) return false;
    char first[kStatusLineMax];
    char word[kStatusLineMax];
    if (sscanf(line, "%4095s %4095s", first, word) != 2) return false;
    if (strlen(word) >= cap) return false;
    memcpy(name, word, strlen(word) + 1);
    return true;
}

}  // namespace

void link_log(uint32_t mask, const char *format, ...) {
    if ((log_get_level() & mask) == 0) return;
    char text[4096];  // room for a whole hex dump and its title
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    __android_log_write(ANDROID_LOG_DEBUG, LINK_LOG_TAG, text);
}

int comm_thread_start_joinable(COMM_THREAD *record, void *(*entry)(void *), void *arg) {
    if (record == nullptr) return -1;
    record->arg = arg;
    record->entry = entry;
    link_flag_set(&record->run, 1);
    if (pthread_create(&record->thread, nullptr, comm_thread_trampoline, record) != 0) {
        link_flag_set(&record->run, 0);
        return -1;
    }
    return 0;
}

void comm_thread_join(COMM_THREAD *record) {
    link_flag_set(&record->run, 0);
    pthread_join(record->thread, nullptr);
}

extern "C" {

int common_get_pid(const char *name) {
    if (name == nullptr) return 0;
    DIR *dir = opendir("/proc");
    if (dir == nullptr) return 0;
    int pid = 0;
    // /proc lists a bounded set of entries; each is read once.
    while (dirent *e = readdir(dir)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0 || e->d_type != DT_DIR) continue;
        char found[kStatusLineMax];
        if (!read_process_name(e->d_name, found, sizeof found)) continue;
        if (strcmp(found, name) == 0) {
            pid = atoi(e->d_name);
            break;
        }
    }
    closedir(dir);
    return pid;
}

int common_thread_Start(COMM_THREAD *record, void *(*entry)(void *), void *arg) {
    if (comm_thread_start_joinable(record, entry, arg) != 0) return -1;
    pthread_detach(record->thread);
    return 0;
}

void msleep(int ms) { usleep(static_cast<useconds_t>(ms) * 1000u); }

uint32_t log_get_level(void) { return __atomic_load_n(&g_level, __ATOMIC_RELAXED); }

void log_set_level(uint32_t mask) { __atomic_store_n(&g_level, mask, __ATOMIC_RELAXED); }

void LogPrintHex(const char *title, const uint8_t *bytes, int count) {
    if ((log_get_level() & LINK_LOG_HEX) == 0) return;
    char text[kHexTextSize];
    size_t used = 0;
    text[0] = '\0';
    for (int i = 0; bytes != nullptr && i < count; ++i) {
        char entry[8];
        int n = snprintf(entry, sizeof entry, " 0x%x,", bytes[i]);
        if (used + static_cast<size_t>(n) >= sizeof text) break;
        memcpy(text + used, entry, static_cast<size_t>(n) + 1);
        used += static_cast<size_t>(n);
    }
    link_log(LINK_LOG_HEX, "%s [%s]", title != nullptr ? title : "", text);
}

int common_tim_subtract(const struct timeval *a, const struct timeval *b) {
    if (a == nullptr || b == nullptr) return -1;
    if (b->tv_sec < a->tv_sec || (b->tv_sec == a->tv_sec && b->tv_usec < a->tv_usec)) return -1;
    int64_t sec = static_cast<int64_t>(b->tv_sec) - a->tv_sec;
    int64_t usec = static_cast<int64_t>(b->tv_usec) - a->tv_usec;
    if (usec < 0) {  // borrow a second
        sec -= 1;
        usec += 1000000;
    }
    int64_t ms = sec * 1000 + usec / 1000;
    return ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms);
}

}  // extern "C"
