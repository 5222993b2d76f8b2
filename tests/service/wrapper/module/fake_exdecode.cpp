// A fake external decoder with a scripted decode result and text, recording its calls in
// the test binary's sequence.
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "vexo3.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_lock;
char g_calls[16384];
std::atomic<int> g_decode_result{1};
const char kText[] = "EXTERNAL";

int next_sequence() {
    using Counter = std::atomic<int>;
    static Counter *counter = static_cast<Counter *>(dlsym(RTLD_DEFAULT, "wrapper_test_sequence"));
    return counter != nullptr ? counter->fetch_add(1) : 0;
}

void note(const char *what, uint32_t id) {
    std::lock_guard<std::mutex> hold(g_lock);
    size_t used = strlen(g_calls);
    snprintf(g_calls + used, sizeof g_calls - used, "%d:X %s %x;", next_sequence(), what, id);
}

}  // namespace

FAKE_EXPORT int ExDecode_Init() {
    note("init", 0);
    return 1;
}
FAKE_EXPORT void ExDecode_Free() { note("free", 0); }
FAKE_EXPORT int ExDecode_Decode() {
    note("decode", 0);
    return g_decode_result.load();
}
FAKE_EXPORT int ExDecode_Set(uint32_t id, uint64_t) {
    note("set", id);
    return 1;
}
FAKE_EXPORT int ExDecode_Get(uint32_t id, void *out) {
    note("get", id);
    if (id != VEXO_ID_RESULT_TEXT || out == nullptr) return 0;
    TEXT_DESC *d = static_cast<TEXT_DESC *>(out);
    uint32_t n = sizeof kText - 1 < d->capacity ? sizeof kText - 1 : d->capacity;
    memcpy(d->buffer, kText, n);
    d->length = n;
    return 1;
}

FAKE_EXPORT const char *fake_exdecode_calls() { return g_calls; }
FAKE_EXPORT void fake_exdecode_script(int decode_result) { g_decode_result.store(decode_result); }
