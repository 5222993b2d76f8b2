// The HB22X engine driver: short text commands framed {0x16, 'M', 0x0D, text, '.'}, echoed
// by the engine. Settings are queued in the runtime's packet queue and sent by a worker
// thread of the driver; read-back and direct settings go out from the caller's thread.
#include <semaphore.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "common_atomic.h"
#include "serial_driver.h"

extern "C" {
int scanner_pre_init(ENGINE_RECORD *record);
int scanner_set_data(ENGINE_RECORD *record, const char *code, const char *param, const char *value, uint8_t *out);
int scanner_set_oper(ENGINE_RECORD *record, const char *code, const char *param, const char *value);
}

namespace {

constexpr int kHomeSpeed = 115200;
constexpr int kSpeeds[] = {9600, 38400, 57600};
constexpr int kTimeoutMs = 500;
constexpr int kFirstProbeMs = 800;
constexpr int kWorkerTimeoutMs = 1000;
constexpr int kHomePauseMs = 500;
constexpr int kDefaultGaps = -1;
constexpr int kFrame = 4;          // 0x16, 'M', 0x0D before the text, '.' after it
constexpr int kTextSize = ENGINE_PACKET_SIZE - kFrame;
constexpr int kAttrSize = 11;      // the name attribute: up to 10 characters
constexpr int kLineStepMs = 10;    // the worker's wait for the line, between looks at its run flag
constexpr int kReadBackMax = 19;   // scanner_sync's text holds 20 bytes
constexpr useconds_t kStopPollUs = 1000;

// Process-wide, as the engine is: the settings worker and what wakes it.
THREAD_RECORD g_worker;
sem_t g_wake;
// The first probe of a probe waits longer than the walk's.
bool g_first_probe = true;

// {0x16, 'M', 0x0D, text, tail, '.'} into out (ENGINE_PACKET_SIZE bytes): its length, or -1
// when it does not fit.
int frame(const char *text, const char *tail, uint8_t *out) {
    const size_t t = strlen(text), n = strlen(tail);
    if (t + n + kFrame > ENGINE_PACKET_SIZE) return -1;
    out[0] = 0x16;
    out[1] = 'M';
    out[2] = 0x0D;
    memcpy(out + 3, text, t);
    memcpy(out + 3 + t, tail, n);
    out[3 + t + n] = '.';
    return static_cast<int>(t + n + kFrame);
}

// The settings packet of one parameter into out (ENGINE_PACKET_SIZE bytes): its length, or
// -1 when the parameter is missing, its value refused or the packet too long. *text_len
// receives the command text's length.
int build_setting(ENGINE_RECORD *record, const char *code, const char *param, const char *value, uint8_t *out,
                  int *text_len) {
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    *text_len = static_cast<int>(strlen(text));
    char tail[2] = {};
    if (attr[0] == 'F') {
        tail[0] = value[0];
        return frame(text, tail, out);
    }
    if (attr[0] == 'N') return frame(text, "", out);
    const int n = atoi(value), limit = atoi(attr);
    SER_LOG("scanner_set_data [%d] [%d]\n", n, limit);
    const bool minlen = strcmp(param, "Minlen") == 0, maxlen = strcmp(param, "Maxlen") == 0;
    if (minlen || maxlen) SER_LOG("nlen [%d] reallen [%d]\n", n, limit);
    if ((minlen && n < limit) || (maxlen && n > limit)) return -1;
    return frame(text, value, out);
}

int hb_probe(ENGINE_RECORD *record, int timeout_ms) {
    return WritePacketWithName(record, "ScanProbe", nullptr, nullptr, timeout_ms, kDefaultGaps);
}

void hb_before_probe(ENGINE_RECORD *) { g_first_probe = true; }

int hb_probe_once(ENGINE_RECORD *record) {
    const int timeout = g_first_probe ? kFirstProbeMs : kTimeoutMs;
    g_first_probe = false;
    return hb_probe(record, timeout);
}

int hb_walk_follow_up(ENGINE_RECORD *record) {
    WritePacketWithName(record, "Baudrate", "name", "115200", kTimeoutMs, kDefaultGaps);
    serial_speed(record->DriverChannel, kHomeSpeed);
    msleep(kHomePauseMs);
    return hb_probe(record, kTimeoutMs);
}

// The line for the worker: false when it was told to stop while waiting.
bool worker_take_line() {
    while (!serial_exchange_wait(kLineStepMs))
        if (common_load(g_worker.run) == 0) return false;
    return true;
}

// Sends queued settings one after another, after any decode cycle or exchange on the line.
int settings_worker(void *arg) {
    auto *record = static_cast<ENGINE_RECORD *>(arg);
    while (common_load(g_worker.run) != 0) {
        sem_wait(&g_wake);
        if (common_load(g_worker.run) == 0) break;
        while (PACKET_SLOT *slot = PacketListPull()) {
            if (!worker_take_line()) return 0;
            uint8_t reply[PACKET_REPLY_SIZE] = {};
            WritePacketDirect(record, slot->data, static_cast<int>(slot->length), reply, kWorkerTimeoutMs,
                              kDefaultGaps);
            serial_exchange_release();
            common_store(slot->used, 0);
        }
    }
    return 0;
}

// Deinit: the worker leaves before the library can be unloaded under it.
void hb_cleanup(ENGINE_RECORD *) {
    if (common_load(g_worker.running) == 0) return;
    common_store(g_worker.run, 0);
    sem_post(&g_wake);
    while (common_load(g_worker.running) != 0) usleep(kStopPollUs);
    sem_destroy(&g_wake);
}

int hb_init(ENGINE_RECORD *record) { return scanner_pre_init(record); }

int hb_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (code == nullptr || param == nullptr || value == nullptr) return -1;
    SER_LOG("scanner_set id [%s] [%s] [%s]\n", code, param, value);
    uint8_t packet[ENGINE_PACKET_SIZE] = {};
    int length = scanner_set_data(record, code, param, value, packet);
    if (length < 1) return -1;
    // A packet longer than a queue slot is refused; a full queue drops it silently.
    if (PacketListPush(packet, length) != 0) return -1;
    sem_post(&g_wake);
    return 0;
}

int hb_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    if (record == nullptr || record->common == nullptr || out == nullptr) return -1;
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE];
    int length = frame(text, "?", packet);
    if (length < 1) return -1;
    SerialExchange lock;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = WritePacketDirect(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
    if (got < 0) return -1;
    const int count = got % 256, t = static_cast<int>(strlen(text));
    if (count <= t || memcmp(reply, text, static_cast<size_t>(t)) != 0) return -1;
    int end = t;
    while (end < count && reply[end] >= '0' && reply[end] <= '9') ++end;
    // The digits and the one byte after them, when the reply holds it.
    int n = end - t + (end < count ? 1 : 0);
    if (n > kReadBackMax) n = kReadBackMax;
    memcpy(out, reply + t, static_cast<size_t>(n));
    out[n] = '\0';
    return n;
}

// The text of element child of DataFormat / name into text (size bytes).
void format_text(ENGINE_RECORD *record, const char *name, char *text, int size) {
    XML_HANDLE *xml = record->engineXml;
    XML_NODE *format = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "DataFormat");
    XML_NODE *node = format == nullptr ? nullptr : XMLFindCurOnce(xml, format, name);
    if (node != nullptr) XMLReadString(xml, node, "Disable", nullptr, nullptr, text, size - 1);
}

int hb_pack(ENGINE_RECORD *record, const char *name, const char *key, const char *value, uint8_t *out) {
    char text[kTextSize] = {};
    const char *tail = "";
    switch (PacketCmd(name)) {
    case 1:
        serial_child_text(record, "ScanProbe", "Cmd", nullptr, nullptr, text, sizeof text);
        break;
    case 2:
    case 3:
        format_text(record, name, text, sizeof text);
        break;
    case 4:
        serial_baudrate_text(record, key, value, text, sizeof text);
        break;
    case 5: {
        XML_HANDLE *xml = record->engineXml;
        XML_NODE *setting = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "Setting");
        XML_NODE *beep = setting == nullptr ? nullptr : XMLFindCurOnce(xml, setting, "Beep");
        if (beep != nullptr) XMLReadString(xml, beep, "Beep", nullptr, nullptr, text, sizeof text - 1);
        tail = "0";
        break;
    }
    default:
        return 0;
    }
    int length = frame(text, tail, out);
    return length < 1 ? 0 : length;
}

int hb_unpack(ENGINE_RECORD *, const char *name, const uint8_t *sent, int sent_len, const uint8_t *reply,
              int reply_len) {
    switch (PacketCmd(name)) {
    case 1:
    case 4: {
        if (sent == nullptr || sent_len < kFrame || reply_len < 0) return -1;
        // The engine echoes the command text first.
        const int k = sent_len - kFrame, count = reply_len % 256;
        if (count <= k) return 1;
        return memcmp(reply, sent + 3, static_cast<size_t>(k)) == 0 ? 0 : -1;
    }
    case 2:
    case 3:
    case 5:
        return 0;
    default:
        return -1;
    }
}

} // namespace

SERIAL_EXPORT int scanner_pre_init(ENGINE_RECORD *record) {
    if (record == nullptr) return -1;
    {
        SerialExchange lock;
        WritePacketWithName(record, "Suffix", nullptr, nullptr, kTimeoutMs, kDefaultGaps);
        WritePacketWithName(record, "Prefix", nullptr, nullptr, kTimeoutMs, kDefaultGaps);
    }
    // One worker per process: a second start would share its queue and semaphore.
    if (common_load(g_worker.running) != 0) return 0;
    PacketListInit();
    sem_init(&g_wake, 0, 0);
    ThreadStart(&g_worker, settings_worker, record);
    return 0;
}

SERIAL_EXPORT int scanner_set_data(ENGINE_RECORD *record, const char *code, const char *param, const char *value,
                                   uint8_t *out) {
    if (record == nullptr || record->common == nullptr || code == nullptr || param == nullptr || value == nullptr ||
        out == nullptr)
        return -1;
    SER_LOG("scanner_set_data [%s]\n", param);
    int text_len = 0;
    return build_setting(record, code, param, value, out, &text_len);
}

SERIAL_EXPORT int scanner_set_oper(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (record == nullptr || code == nullptr || param == nullptr || value == nullptr) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE] = {};
    int text_len = 0;
    int length = build_setting(record, code, param, value, packet, &text_len);
    int got = -1;
    if (length > 0) {
        SerialExchange lock;
        uint8_t reply[PACKET_REPLY_SIZE];
        got = WritePacketDirect(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
    }
    if (got > text_len) {
        SER_LOG("Setting OK\n");
        return 0;
    }
    SER_LOG("Setting Error\n");
    return -1;
}

extern "C" const SERIAL_DRIVER_DESC g_serial_driver = {
    .engine = "HB22X",
    .homeSpeed = kHomeSpeed,
    .speeds = kSpeeds,
    .speedCount = sizeof kSpeeds / sizeof kSpeeds[0],
    .stepSize = 256,
    .stepGaps = 2,
    .dataLine = "HB22DateProcess len [%d] [%s]",
    .checkLength = 1,
    .clearOnClose = false,
    .version = "V1.0",
    .beforeProbe = hb_before_probe,
    .probeOnce = hb_probe_once,
    .walkFollowUp = hb_walk_follow_up,
    .afterProbe = nullptr,
    .init = hb_init,
    .cleanup = hb_cleanup,
    .upgrade = nullptr,
    .set = hb_set,
    .get = hb_get,
    .versionProc = nullptr,
    .pack = hb_pack,
    .unpack = hb_unpack,
};
