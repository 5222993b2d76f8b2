// A fake external decoder: it records the calls it receives, for the tests to read back.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define EXDECODE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

char g_calls[1024];

void note(const char *format, ...) {
    size_t used = strlen(g_calls);
    va_list ap;
    va_start(ap, format);
    vsnprintf(g_calls + used, sizeof g_calls - used, format, ap);
    va_end(ap);
}

}  // namespace

#ifndef EXDECODE_NO_INIT
EXDECODE_EXPORT int ExDecode_Init() {
    note("init;");
    return 7;
}
#endif

EXDECODE_EXPORT void ExDecode_Free() { note("free;"); }

EXDECODE_EXPORT int ExDecode_Decode() {
    note("decode;");
    return 1;
}

EXDECODE_EXPORT int ExDecode_Set(uint32_t id, uint64_t value) {
    note("set %x %llu;", id, static_cast<unsigned long long>(value));
    return 1;
}

EXDECODE_EXPORT int ExDecode_Get(uint32_t id, void *) {
    note("get %x;", id);
    return 1;
}

EXDECODE_EXPORT const char *exdecode_fake_calls() { return g_calls; }
