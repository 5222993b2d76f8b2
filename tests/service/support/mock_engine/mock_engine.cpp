// A test engine driver plug-in. It exports the scanner_ functions of a driver, runs its
// decode cycles on the real common scanner core and takes its behaviour from a small file
// under the platform root, read again at every call so that a test may change it between
// calls. Every call is appended as one line to a journal file through the kernel seam, so
// that a test with the platform models installed sees the calls in one order with the
// line writes and recorded waits. See mock_engine.h for the file's keys and the lines.
//
// Built once per engine name (MOCK_ENGINE_NAME); MOCK_NO_PACK leaves out scanner_pack and
// scanner_unpack, MOCK_NO_IOCTRL leaves out scanner_ioctrl.
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"

#ifndef MOCK_ENGINE_NAME
#error "MOCK_ENGINE_NAME names the engine this build plays"
#endif

#define MOCK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr char kBehaviourPath[] = "/data/mock/" MOCK_ENGINE_NAME ".conf";
constexpr char kJournalPath[] = "/data/mock/" MOCK_ENGINE_NAME ".calls";

std::atomic<int> g_probe_calls{0};

std::string read_behaviour() {
    std::string text;
    FILE *f = plat_fopen(kBehaviourPath, "r");
    if (f == nullptr) return text;
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    return text;
}

// The value of "key=value" in the behaviour file.
bool find_value(const char *key, std::string *out) {
    std::string text = read_behaviour();
    std::string wanted = std::string(key) + "=";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.compare(start, wanted.size(), wanted) == 0) {
            *out = text.substr(start + wanted.size(), end - start - wanted.size());
            return true;
        }
        start = end + 1;
    }
    return false;
}

int int_value(const char *key, int fallback) {
    std::string v;
    return find_value(key, &v) ? static_cast<int>(strtol(v.c_str(), nullptr, 0)) : fallback;
}

// The answer for the n-th call from a comma list (the last answer repeats).
int nth_answer(const char *key, int n, int fallback) {
    std::string v;
    if (!find_value(key, &v)) return fallback;
    size_t start = 0;
    for (int i = 0; i < n; ++i) {
        size_t comma = v.find(',', start);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return static_cast<int>(strtol(v.c_str() + start, nullptr, 0));
}

void journal(const char *format, ...) __attribute__((format(printf, 1, 2)));
void journal(const char *format, ...) {
    char line[16384];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line, sizeof line - 1, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (n > static_cast<int>(sizeof line) - 2) n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    const PLAT_KERNEL *k = plat_kernel();
    int fd = k->open(kJournalPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    k->write(fd, line, static_cast<size_t>(n));
    k->close(fd);
}

[[maybe_unused]] std::string hex(const uint8_t *bytes, uint32_t len) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint32_t i = 0; i < len && i < 4096; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// A checksum of an image too large for the journal.
[[maybe_unused]] uint32_t fnv1a(const uint8_t *bytes, uint64_t len) {
    uint32_t h = 2166136261u;
    for (uint64_t i = 0; i < len; ++i) h = (h ^ bytes[i]) * 16777619u;
    return h;
}

// What one cycle delivers, read when the cycle opens.
struct MockCycle {
    int event = 0;  // 0: the cycle runs until stopped
    int steps = 1;  // the step that delivers
    int kind = 1;
    int code = 0;
    std::string data;
    std::string data2;
    int len1 = -1;
    int len2 = -1;
    int beep = 0;  // 1: a beep without a result is reported first, as the decoder wrapper does
    int stamp = 0; // 1: the data start with the delivery's CLOCK_MONOTONIC time (8 bytes, little-endian)
    int stepped = 0;
};

MockCycle *cycle_of(ENGINE_RECORD *r) { return static_cast<MockCycle *>(r->common->mPrivate); }

int proc_init(ENGINE_RECORD *r) {
    r->common->mPrivate = new MockCycle;
    r->common->mScanMinImage = 0;
    r->common->mLowerMax = 0;
    return 0;
}

void proc_open(ENGINE_RECORD *r) {
    MockCycle *c = cycle_of(r);
    *c = MockCycle{};
    c->event = int_value("cycle.event", 0);
    c->steps = int_value("cycle.steps", 1);
    c->kind = int_value("cycle.kind", 1);
    c->code = int_value("cycle.code", 0);
    find_value("cycle.data", &c->data);
    find_value("cycle.data2", &c->data2);
    c->len1 = int_value("cycle.len1", static_cast<int>(c->data.size()));
    c->len2 = int_value("cycle.len2", static_cast<int>(c->data2.size()));
    c->beep = int_value("cycle.beep", 0);
    c->stamp = int_value("cycle.stamp", 0);
    journal("cycle-open");
}

void fill_result(ENGINE_RECORD *r, const MockCycle *c) {
    DECODE_RESULT *res = &r->common->mResult;
    uint8_t *d = res->data;
    res->codeId = static_cast<uint32_t>(c->code);
    res->kind = static_cast<uint32_t>(c->kind);
    res->len2 = static_cast<uint32_t>(c->len2);
    if (c->kind == 2) {
        size_t a = c->data.size(), b = c->data2.size();
        d[0] = 2, d[1] = 0, d[2] = static_cast<uint8_t>(a), d[3] = static_cast<uint8_t>(a >> 8);
        memcpy(d + 4, c->data.data(), a);
        d[4 + a] = static_cast<uint8_t>(b), d[5 + a] = static_cast<uint8_t>(b >> 8);
        memcpy(d + 6 + a, c->data2.data(), b);
    } else {
        memcpy(d, c->data.data(), c->data.size());
    }
    common_store(res->len1, static_cast<uint32_t>(c->len1));
}

void proc_step(ENGINE_RECORD *r) {
    MockCycle *c = cycle_of(r);
    if (c->event == 0 || ++c->stepped < c->steps) {
        usleep(1000);
        return;
    }
    if (c->beep == 1) {
        SCAN_EVENT_CALLBACK cb = common_callback(r->common);
        if (cb != nullptr) cb(SCN_EVENT_BEEP, nullptr, 0);
    }
    fill_result(r, c);
    if (c->stamp == 1 && c->kind == 1 && c->data.size() >= 8) {
        struct timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        uint64_t ns = static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
        for (int i = 0; i < 8; ++i) r->common->mResult.data[i] = static_cast<uint8_t>(ns >> (8 * i));
    }
    journal("cycle-deliver %d", c->event);
    common_scanner_stop_oper(r, c->event);
}

void proc_close(ENGINE_RECORD *) { journal("cycle-close"); }

void proc_cleanup(ENGINE_RECORD *r) {
    delete static_cast<MockCycle *>(r->common->mPrivate);
    r->common->mPrivate = nullptr;
}

}  // namespace

MOCK_EXPORT int scanner_probe(ENGINE_RECORD *) {
    int n = g_probe_calls.fetch_add(1);
    journal("probe");
    return nth_answer("probe", n, 0);
}

MOCK_EXPORT int scanner_init(ENGINE_RECORD *r) {
    journal("init");
    int answer = int_value("init", 0);
    if (answer < 0) return answer;
    // As a serial driver: its UART open from here on.
    if (int_value("upgrade", 0) == 1) serial_open(r->DriverChannel, 115200, 0);
    return common_scanner_init(r, proc_init, proc_step, proc_open, proc_close);
}

MOCK_EXPORT int scanner_deinit(ENGINE_RECORD *r) {
    journal("deinit");
    return common_scanner_deinit(r, proc_cleanup);
}

MOCK_EXPORT int scanner_open(ENGINE_RECORD *r) {
    journal("open");
    int answer = int_value("open", 0);
    if (answer < 0) return answer;
    return common_scanner_open(r);
}

MOCK_EXPORT int scanner_close(ENGINE_RECORD *r) {
    journal("close");
    return common_scanner_close(r);
}

MOCK_EXPORT int scanner_start_decode(ENGINE_RECORD *r, SCAN_EVENT_CALLBACK callback, void *reserved, int arg) {
    journal("start %d", arg);
    return common_scanner_start_decode(r, callback, reserved, arg);
}

MOCK_EXPORT int scanner_stop_decode(ENGINE_RECORD *r, int arg) {
    journal("stop %d", arg);
    return common_scanner_stop_decode(r, arg);
}

MOCK_EXPORT int scanner_set(ENGINE_RECORD *, const char *code, const char *param, const char *value) {
    journal("set %s %s %s", code, param, value);
    std::string key = std::string("set.") + code + "." + param;
    return int_value(key.c_str(), int_value("set", 0));
}

MOCK_EXPORT int scanner_get(ENGINE_RECORD *, const char *code, const char *param, char *out) {
    journal("get %s %s", code, param);
    if (out != nullptr) strcpy(out, "0");
    return int_value("get", 0);
}

#ifndef MOCK_NO_IOCTRL
MOCK_EXPORT int scanner_ioctrl(ENGINE_RECORD *r, int code, int arg, void *pointer) {
    std::string detail;
    if (code == SCANNER_IOCTRL_UPGRADE && pointer != nullptr) {
        const UPGRADE_REQUEST *u = static_cast<const UPGRADE_REQUEST *>(pointer);
        char head[96];
        snprintf(head, sizeof head, " type=%u oper=%u len=%u data=", u->FirmwareType, u->FirmwareOper, u->len);
        detail = head + (u->Buf != nullptr ? hex(u->Buf, u->len) : std::string("null"));
    } else if (code == SCANNER_IOCTRL_DECODE_IMAGE && pointer != nullptr) {
        const IMAGE_REQUEST *q = static_cast<const IMAGE_REQUEST *>(pointer);
        char head[64];
        snprintf(head, sizeof head, " w=%u h=%u sum=%08x", q->width, q->height,
                 q->image != nullptr ? fnv1a(q->image, static_cast<uint64_t>(q->width) * q->height) : 0u);
        detail = head;
    } else if ((code == SCANNER_IOCTRL_SET_SENSOR_SN || code == SCANNER_IOCTRL_SET_SENSOR_DATA ||
                code == SCANNER_IOCTRL_SAVE_ADJUST) &&
               pointer != nullptr && arg > 0) {
        detail = " data=" + hex(static_cast<const uint8_t *>(pointer), static_cast<uint32_t>(arg));
    }
    journal("ioctrl 0x%x %d%s", code, arg, detail.c_str());
    if (r == nullptr || r->common == nullptr) return -1;
    if (code == SCANNER_IOCTRL_UPGRADE && pointer != nullptr && int_value("upgrade", 0) == 1) {
        const UPGRADE_REQUEST *u = static_cast<const UPGRADE_REQUEST *>(pointer);
        return GT51X0_Upgrade_Running(r, u->Buf, u->len, static_cast<int>(u->FirmwareOper));
    }
    char key[32];
    snprintf(key, sizeof key, "ioctrl.0x%x", code);
    std::string v;
    if (find_value(key, &v)) return static_cast<int>(strtol(v.c_str(), nullptr, 0));
    // What the sensor reads write into the caller's buffer of arg bytes: "fill.0x<code>=<hex>".
    if ((code == SCANNER_IOCTRL_GET_SENSOR_SN || code == SCANNER_IOCTRL_GET_SENSOR_DATA) && pointer != nullptr) {
        snprintf(key, sizeof key, "fill.0x%x", code);
        if (find_value(key, &v)) {
            uint8_t *out = static_cast<uint8_t *>(pointer);
            for (size_t i = 0; i + 1 < v.size() && static_cast<int>(i / 2) < arg; i += 2)
                out[i / 2] = static_cast<uint8_t>(strtol(v.substr(i, 2).c_str(), nullptr, 16));
            return 0;
        }
    }
    bool camera = int_value("kind", ENGINE_KIND_CAMERA) == ENGINE_KIND_CAMERA;
    if (code == SCANNER_IOCTRL_CHECK_LENGTH) return 1;
    if (camera && (code >> 8) == 0) return 0;
    if (camera && code == SCANNER_IOCTRL_DECODE_IMAGE) return -1;
    if (camera && code == SCANNER_IOCTRL_GET_SIZE) {
        if (pointer == nullptr) return -1;
        *static_cast<SCANNER_FRAME_SIZE *>(pointer) = SCANNER_FRAME_SIZE{752, 480};
        return 0;
    }
    return common_scanner_debug_ioctrl_proc(r, code, arg, pointer);
}
#endif

MOCK_EXPORT int scanner_version(ENGINE_RECORD *, char *out) {
    journal("version");
    int fill = int_value("version_fill", 0);
    if (fill > 0) {
        if (fill > ENGINE_VERSION_SIZE) fill = ENGINE_VERSION_SIZE;
        memset(out, 'V', static_cast<size_t>(fill));
        return fill;
    }
    std::string v;
    if (!find_value("version", &v)) return 0;
    snprintf(out, ENGINE_VERSION_SIZE, "%s", v.c_str());
    return static_cast<int>(strlen(out));
}

MOCK_EXPORT int scanner_sync(ENGINE_RECORD *, const char *code, const char *param) {
    journal("sync %s %s", code, param);
    std::string key = std::string("sync.") + code + "." + param;
    return int_value(key.c_str(), int_value("sync", 0));
}

#ifndef MOCK_NO_PACK
MOCK_EXPORT int scanner_pack(ENGINE_RECORD *, const char *name, const char *, const char *, uint8_t *) {
    journal("pack %s", name);
    return 0;
}

MOCK_EXPORT int scanner_unpack(ENGINE_RECORD *, const char *name, const uint8_t *, int, const uint8_t *, int) {
    journal("unpack %s", name);
    return 0;
}
#endif
