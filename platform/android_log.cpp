// The Android log on this host: one appended line per call in a file a test reads.
#include <atomic>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <android/log.h>

#include "plat.h"

namespace {

std::atomic<int> g_logcat_fd{-1};

char priority_letter(int prio) {
    static constexpr char kLetters[] = "??VDIWEFS";
    static_assert(sizeof kLetters == ANDROID_LOG_SILENT + 2, "one letter per priority");
    return prio >= 0 && prio <= ANDROID_LOG_SILENT ? kLetters[prio] : '?';
}

}  // namespace

extern "C" int plat_logcat_set_file(const char *host_path) {
    int fd = -1;
    if (host_path != nullptr) {
        fd = open(host_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0) return -1;
    }
    int old = g_logcat_fd.exchange(fd);
    if (old >= 0) close(old);
    return 0;
}

extern "C" int __android_log_write(int prio, const char *tag, const char *text) {
    char line[4096];
    int n = snprintf(line, sizeof line - 1, "%c/%s: %s", priority_letter(prio), tag != nullptr ? tag : "",
                     text != nullptr ? text : "");
    if (n < 0) return -1;
    size_t len = static_cast<size_t>(n) < sizeof line - 2 ? static_cast<size_t>(n) : sizeof line - 2;
    if (len == 0 || line[len - 1] != '\n') line[len++] = '\n';
    int fd = g_logcat_fd.load();
    if (fd < 0) return 0;
    return static_cast<int>(write(fd, line, len));
}

extern "C" int __android_log_print(int prio, const char *tag, const char *fmt, ...) {
    char text[4096];
    text[0] = '\0';
    if (fmt != nullptr) {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(text, sizeof text, fmt, ap);
        va_end(ap);
    }
    return __android_log_write(prio, tag, text);
}

namespace {

// A process that cannot call plat_logcat_set_file itself (a JVM) names the file in its
// environment.
__attribute__((constructor)) void logcat_from_environment() {
    const char *path = getenv("STACK_LOGCAT_FILE");
    if (path != nullptr && path[0] != '\0') plat_logcat_set_file(path);
}

}  // namespace
