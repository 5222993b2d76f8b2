// The level, Android log lines and Java VM of a library that stands apart from the
// scanner's runtime.
#include <android/log.h>
#include <stdarg.h>
#include <stdio.h>

#include <atomic>

#include "cardslot_log.h"

namespace {

// Room for a whole hex dump line of the card slot.
constexpr int kLogLineMax = 2047 + 256;
constexpr char kLogTag[] = "ScanJni";

uint32_t g_level = kCardslotLogDefault;
std::atomic<void *> g_java_vm{nullptr};

}  // namespace

uint32_t &cardslot_log_level() { return g_level; }

// The configuration code reads the level under the logging library's name, kept out of
// the exports.
extern "C" __attribute__((visibility("hidden"))) uint32_t log_get_level(void) { return g_level; }

void cardslot_log_line(const char *format, ...) {
    if ((g_level & kCardslotLogBit) == 0) return;
    char line[kLogLineMax + 1];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    __android_log_print(ANDROID_LOG_DEBUG, kLogTag, "%s", line);
}

void cardslot_set_java_vm(void *vm) { g_java_vm.store(vm, std::memory_order_release); }
void *cardslot_java_vm() { return g_java_vm.load(std::memory_order_acquire); }
