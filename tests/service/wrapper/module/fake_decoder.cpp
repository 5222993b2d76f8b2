// A fake image decoder in several builds (name families chosen by macros): it records
// every call with the family that reached it, answers scripted decodes and results, and
// notes when two calls overlap.
#include <dlfcn.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <mutex>

#include "vexo3.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_record_lock;
char g_calls[16384];
std::atomic<int> g_inside{0};
std::atomic<int> g_overlaps{0};
std::atomic<int> g_decode_result{0};
std::atomic<int> g_spin_us{0};
char g_text[256] = "FAKE";
// Scripted u32 answers of Get by property id.
struct Answer {
    std::atomic<uint32_t> id{0};
    std::atomic<uint32_t> value{0};
};
Answer g_answers[4];
std::atomic<bool> g_banner_is_text{false};
uint32_t g_text_len = 4;

// The test binary's sequence counter, when it exports one: orders calls across modules.
int next_sequence() {
    using Counter = std::atomic<int>;
    static Counter *counter = static_cast<Counter *>(dlsym(RTLD_DEFAULT, "wrapper_test_sequence"));
    return counter != nullptr ? counter->fetch_add(1) : 0;
}

void note(const char *format, ...) {
    std::lock_guard<std::mutex> hold(g_record_lock);
    size_t used = strlen(g_calls);
    int n = snprintf(g_calls + used, sizeof g_calls - used, "%d:", next_sequence());
    if (n > 0 && static_cast<size_t>(n) < sizeof g_calls - used) used += static_cast<size_t>(n);
    va_list ap;
    va_start(ap, format);
    vsnprintf(g_calls + used, sizeof g_calls - used, format, ap);
    va_end(ap);
}

// Marks the call as inside the decoder for a while: a second caller meanwhile is noted.
struct Inside {
    Inside() {
        if (g_inside.fetch_add(1) != 0) g_overlaps.fetch_add(1);
        int us = g_spin_us.load();
        if (us > 0) {
            timespec ts = {0, us * 1000L};
            nanosleep(&ts, nullptr);
        }
    }
    ~Inside() { g_inside.fetch_sub(1); }
};

[[maybe_unused]] int do_init(const char *family) {
    Inside in;
    note("%s init;", family);
    const char *scripted = getenv("FAKE_DECODER_INIT");
    return scripted != nullptr ? atoi(scripted) : 1;
}

int do_set(const char *family, uint32_t id, uint64_t value) {
    Inside in;
    if (id == VEXO_ID_ROI_RECORD && value != 0) {
        const ROI_RECORD *r = reinterpret_cast<const ROI_RECORD *>(static_cast<uintptr_t>(value));
        note("%s set %x {%d,%d,%d,%d,%d};", family, id, r->top, r->left, r->right, r->bottom, r->enabled);
    } else if (id == VEXO_ID_IMAGE_PIXELS) {
        note("%s set %x;", family, id);
    } else {
        note("%s set %x %llu;", family, id, static_cast<unsigned long long>(value));
    }
    return 1;
}

int do_get(const char *family, uint32_t id, void *out) {
    Inside in;
    note("%s get %x;", family, id);
    if (out == nullptr) return 0;
    if (id == VEXO_ID_RESULT_TEXT || (id == VEXO_ID_BANNER && g_banner_is_text.load())) {
        TEXT_DESC *d = static_cast<TEXT_DESC *>(out);
        if (d->size < 24 || d->capacity == 0 || d->buffer == nullptr) return 0;
        uint32_t n = g_text_len < d->capacity ? g_text_len : d->capacity;
        memcpy(d->buffer, g_text, n);
        d->length = n;
        return 1;
    }
    uint32_t answer = id == VEXO_ID_EXTERNAL_SYMBOLOGY ? 57 : 0;
    for (const Answer &a : g_answers)
        if (a.id.load() == id && id != 0) answer = a.value.load();
    *static_cast<uint32_t *>(out) = answer;
    return 1;
}

int do_decode(const char *family) {
    Inside in;
    note("%s decode;", family);
    return g_decode_result.load();
}

[[maybe_unused]] void do_deinit(const char *family) { note("%s deinit;", family); }

}  // namespace

#if defined(FAKE_SHORT)
#if !defined(FAKE_NO_INIT)
FAKE_EXPORT int X3_Init() { return do_init("S"); }
#endif
FAKE_EXPORT int X3_Set(uint32_t id, uint64_t value) { return do_set("S", id, value); }
#if !defined(FAKE_SHORT_NO_GET)
FAKE_EXPORT int X3_Get(uint32_t id, void *out) { return do_get("S", id, out); }
#endif
FAKE_EXPORT int X3_Decode() { return do_decode("S"); }
FAKE_EXPORT void X3_DeInit() { do_deinit("S"); }
#endif

#if defined(FAKE_LONG)
#if !defined(FAKE_NO_INIT)
FAKE_EXPORT int ZPT_SE_VexoDec_Init() { return do_init("L"); }
#endif
FAKE_EXPORT int ZPT_SE_VexoDec_Set(uint32_t id, uint64_t value) { return do_set("L", id, value); }
FAKE_EXPORT int ZPT_SE_VexoDec_Get(uint32_t id, void *out) { return do_get("L", id, out); }
FAKE_EXPORT int ZPT_SE_VexoDec_Decode() { return do_decode("L"); }
#if defined(FAKE_LONG_DEINIT)
FAKE_EXPORT void ZPT_SE_VexoDec_Deinit() { do_deinit("L"); }
#endif
#endif

// Test controls.
FAKE_EXPORT const char *fake_decoder_calls() { return g_calls; }
FAKE_EXPORT void fake_decoder_clear() {
    std::lock_guard<std::mutex> hold(g_record_lock);
    g_calls[0] = '\0';
}
FAKE_EXPORT void fake_decoder_script(int decode_result, const char *text, int spin_us) {
    g_decode_result.store(decode_result);
    g_spin_us.store(spin_us);
    if (text != nullptr) {
        g_text_len = static_cast<uint32_t>(strnlen(text, sizeof g_text - 1));
        memcpy(g_text, text, g_text_len);
    }
}
// The result text as bytes (zero bytes included), at most 255.
FAKE_EXPORT void fake_decoder_text_bytes(const uint8_t *bytes, uint32_t length) {
    g_text_len = length < sizeof g_text ? length : sizeof g_text - 1;
    memcpy(g_text, bytes, g_text_len);
}
// The banner (0x100400) answers the result text from now on.
FAKE_EXPORT void fake_decoder_banner_is_text() { g_banner_is_text.store(true); }
// Get of id answers value from now on (4 ids at most; the fifth replaces the first).
FAKE_EXPORT void fake_decoder_answer(uint32_t id, uint32_t value) {
    static std::atomic<int> next{0};
    for (Answer &a : g_answers) {
        if (a.id.load() == id) {
            a.value.store(value);
            return;
        }
    }
    Answer &slot = g_answers[next.fetch_add(1) % 4];
    slot.value.store(value);
    slot.id.store(id);
}
FAKE_EXPORT int fake_decoder_overlaps() { return g_overlaps.load(); }
