// The service commands on any request. Input: byte 0 is the command byte, the rest the
// payload. The device is laid out once: a root without the link library (the link stays
// down, the device is kept and answers go nowhere), an engine whose control checks what it
// is handed (an image of width x height within the pixels sent, an upgrade's len within
// the bytes behind Buf, every buffer as long as its code says) by touching every byte, and
// a ready device whose engine change checks that the name ends within its 21 bytes.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "net_device.h"
#include "plat.h"
#include "readercore.h"
#include "sandbox.h"
#include "scanner_service.h"
#include "zptlog.h"

// The link library's message record as the handler gets it.
struct LINK_CHUNK {
    LINK_CHUNK *next;
    int32_t length;
    uint8_t *data;
};

namespace {

constexpr size_t kHeader = 16;
constexpr size_t kDecodeHead = 16;

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The payload of the request under way, for the control's checks.
size_t g_payload = 0;
volatile uint8_t g_sink;

void touch(const uint8_t *bytes, size_t count) {
    uint8_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    g_sink = sum;
}

int checking_ioctrl(ENGINE_RECORD *engine, int code, int arg, void *pointer) {
    switch (code) {
    case SCANNER_IOCTRL_GET_SIZE:
        check(pointer != nullptr);
        *static_cast<SCANNER_FRAME_SIZE *>(pointer) = {752, 480};
        return 0;
    case SCANNER_IOCTRL_DECODE_IMAGE: {
        const auto *request = static_cast<const IMAGE_REQUEST *>(pointer);
        uint64_t pixels = static_cast<uint64_t>(request->width) * request->height;
        check(g_payload >= kDecodeHead && pixels <= g_payload - kDecodeHead);
        touch(request->image, static_cast<size_t>(pixels));
        return pixels == 0 ? -1 : 0;
    }
    case SCANNER_IOCTRL_UPGRADE: {
        const auto *request = static_cast<const UPGRADE_REQUEST *>(pointer);
        check(request->len < g_payload);
        touch(request->Buf, request->len);
        return 0;
    }
    case SCANNER_IOCTRL_SET_SENSOR_SN:
    case SCANNER_IOCTRL_SET_SENSOR_DATA:
    case SCANNER_IOCTRL_SAVE_ADJUST:
        check(arg > 0 && static_cast<size_t>(arg) == g_payload);
        touch(static_cast<const uint8_t *>(pointer), static_cast<size_t>(arg));
        return 0;
    case SCANNER_IOCTRL_GET_SENSOR_SN:
    case SCANNER_IOCTRL_GET_SENSOR_DATA:
        check(arg == 16 || arg == 32);
        memset(pointer, 0xA5, static_cast<size_t>(arg));
        return 0;
    case SCANNER_IOCTRL_SAVE_BMP:
    case SCANNER_IOCTRL_SEND_BMP:
        return common_scanner_debug_ioctrl_proc(engine, code, arg, pointer);
    default:
        return arg & 1;
    }
}

int checking_sync(ENGINE_RECORD *, const char *code, const char *param) {
    check(code != nullptr && param != nullptr);
    return static_cast<int>(strlen(code) + strlen(param));
}

int checking_change(DEVICE_OBJECT *, const char *name, int) {
    check(memchr(name, '\0', 21) != nullptr);
    return strcmp(name, "MOCKB") == 0 ? 0 : -1;
}

struct FuzzDevice {
    std::string dir;
    ENGINE_RECORD engine{};
    DEVICE_OBJECT device{};
    CODE_PARAM params[2] = {{"Enable", 0}, {"Minlen", 0}};
    CODE_GROUP group{};
    FuzzDevice() {
        dir = svc_sandbox::make_root("fuzz-service-commands");
        if (dir.empty()) abort();
        plat_set_root(dir.c_str());
        net_test_device(&engine, &device, checking_ioctrl, checking_sync, checking_change);
        strcpy(group.name, "QR");
        group.count = 2;
        group.entries = params;
        list_add_tail(&device.codeGroups, &group.node);
        // Without the link library the device is kept all the same.
        if (zpt_net_init(&device) != -1) abort();
    }
    ~FuzzDevice() {
        zpt_net_deinit();
        svc_sandbox::remove_root(dir);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzDevice fuzz;
    if (size < 1 || size > kHeader + 6100000) return 0;
    size_t payload = size - 1;
    // Exactly the message's bytes: a read past it is the sanitizer's to see.
    uint8_t *message = static_cast<uint8_t *>(malloc(kHeader + payload));
    if (message == nullptr) return 0;
    memset(message, 0, kHeader);
    message[4] = 0x01;
    message[5] = 0x02;
    message[7] = 0xAA;
    message[8] = 2;
    message[9] = data[0];
    uint32_t length = static_cast<uint32_t>(payload);
    memcpy(message + 12, &length, sizeof length);
    if (payload > 0) memcpy(message + kHeader, data + 1, payload);
    LINK_CHUNK chunk{nullptr, static_cast<int32_t>(kHeader + payload), message};
    g_payload = payload;
    uint32_t level = log_get_level();
    check(zpt_net_distribute(&chunk) == 1);
    log_set_level(level);
    fuzz.device.state = 1;
    free(message);
    return 0;
}
