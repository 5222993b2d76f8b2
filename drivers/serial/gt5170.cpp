// The GT5170 engine driver (engines GT5170 and GT5180, told apart at initialisation): text
// commands acknowledged with 0x06, settings built from the engine configuration, read-back
// through check-byte query packets, and firmware upgrades through the runtime's serial
// upgrade.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common_atomic.h"
#include "gt5170_query.h"
#include "serial_driver.h"

extern "C" {
uint8_t LRC_Check(const uint8_t *bytes, int n);
}

namespace {

constexpr int kHomeSpeed = 115200;
constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600};
constexpr int kTimeoutMs = 500;
constexpr int kDefaultGaps = -1;
constexpr uint8_t kAck = 0x06;
constexpr int kTextSize = 256;
constexpr int kAttrSize = 11;       // the name attribute: up to 10 characters
constexpr int kVersionSkip = 6;     // version bytes start here and end before the last byte
constexpr int kVersionMin = 7;
constexpr char kStars[] = "***********************************************";
static_assert(sizeof kStars == 48, "a banner line of 47 stars");

// The model: 0 GT5170 (also at load), 1 GT5180; one engine per library and process.
int g_model = 0;

bool acknowledged(const uint8_t *reply, int count) { return count > 0 && reply[0] == kAck; }

int gt_probe_once(ENGINE_RECORD *record) { return WritePacket(record, "ScanProbe", kTimeoutMs, kDefaultGaps); }

int gt_walk_follow_up(ENGINE_RECORD *record) {
    int result = WritePacketWithName(record, "Baudrate", "name", "115200", kTimeoutMs, kDefaultGaps);
    if (result == 0) serial_speed(record->DriverChannel, kHomeSpeed);
    return result;
}

// A found engine: "Suffix" (its answer ignored), then "SleepTimer", whose answer is the probe's.
int gt_after_probe(ENGINE_RECORD *record, int result) {
    if (result != 0) return result;
    WritePacket(record, "Suffix", kTimeoutMs, kDefaultGaps);
    return WritePacket(record, "SleepTimer", kTimeoutMs, kDefaultGaps);
}

// "SysInfo" tells the two models apart; a GT5180 carries its name from here on.
int gt_init(ENGINE_RECORD *record) {
    if (record == nullptr || record->common == nullptr) return -1;
    SerialExchange lock;
    WritePacket(record, "SysInfo", kTimeoutMs, kDefaultGaps);
    SER_LOG("%s\n", kStars);
    SER_LOG("*                    %s                    *\n", g_model == 1 ? "GT5180" : "GT5170");
    SER_LOG("%s\n", kStars);
    if (g_model == 1) snprintf(record->name, ENGINE_NAME_SIZE, "%s", "GT5180");
    WritePacket(record, "AutoSleep", kTimeoutMs, kDefaultGaps);
    return 0;
}

bool value_selected(const char *param) {
    return strcmp(param, "CheckChar") == 0 || strcmp(param, "DigitsRequired") == 0 || strcmp(param, "ReadMode") == 0;
}

// The settings command into out (size bytes): its length, or -1 when refused.
int build_setting(ENGINE_RECORD *record, const char *code, const char *param, const char *value, char *out,
                  int size) {
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    if (value_selected(param)) {
        XML_NODE *group = XMLFindCurOnce(record->engineXml, XMLFindCur(record->engineXml, nullptr, "Code"), code);
        memset(out, 0, static_cast<size_t>(size));
        XMLReadString(record->engineXml, group, param, "name", value, out, size - 1);
        return static_cast<int>(strlen(out));
    }
    const int t = atoi(text), v = atoi(value);
    int n;
    if (attr[0] == 'P' && attr[1] == 'S') {
        n = snprintf(out, static_cast<size_t>(size), "ZPT000%d0;", t + v);
    } else if (attr[0] == 'P' && attr[1] == 'L') {
        n = snprintf(out, static_cast<size_t>(size), "ZPT0%d;", v + t);
    } else if (attr[0] == 'P') {
        n = snprintf(out, static_cast<size_t>(size), "ZPT0%d0;", v + t);
    } else if (attr[0] == 'M') {
        n = snprintf(out, static_cast<size_t>(size), "ZPT0%d0;", t - v);
    } else if (attr[0] == '\0') {
        n = snprintf(out, static_cast<size_t>(size), "%s", text);
    } else {
        const int limit = atoi(attr);
        const bool minlen = strcmp(param, "Minlen") == 0, maxlen = strcmp(param, "Maxlen") == 0;
        if (minlen || maxlen) SER_LOG("nlen [%d] reallen [%d]\n", v, limit);
        if ((minlen && v < limit) || (maxlen && v > limit)) return -1;
        n = snprintf(out, static_cast<size_t>(size), "%s=%d;", text, v);
    }
    return n < size ? n : -1;
}

int gt_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (record == nullptr || code == nullptr || param == nullptr || value == nullptr) return -1;
    char command[kTextSize + 16];
    int length = build_setting(record, code, param, value, command, sizeof command);
    if (length < 1) return -1;
    SerialExchange lock;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = WritePacketDirect(record, reinterpret_cast<const uint8_t *>(command), length, reply, kTimeoutMs,
                                kDefaultGaps);
    return acknowledged(reply, got) ? 0 : -1;
}

int gt_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    if (record == nullptr || code == nullptr || param == nullptr || out == nullptr) return -1;
    char text[kTextSize] = {}, attr[kAttrSize] = {};
    XML_HANDLE *xml = record->engineXml;
    XML_NODE *query = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "Query");
    XML_NODE *group = query == nullptr ? nullptr : XMLFindCurOnce(xml, query, code);
    if (group == nullptr) return -1;
    XMLReadStringGetNameValue(xml, group, param, "name", attr, sizeof attr - 1, text, sizeof text - 1);
    uint8_t packet[kTextSize / 2 + 1];
    // A query claiming more bytes than it holds would have its check byte computed past it.
    int length = gt5170_query_packet(text, packet, sizeof packet);
    if (length < 1) {
        SER_LOG("GT5170 query refused [%s]\n", text);
        return -1;
    }
    SerialExchange lock;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = WritePacketDirect(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
    char value[8];
    if (gt5170_reply_value(reply, got, code, param, attr, value, sizeof value) != 0) return -1;
    snprintf(out, ENGINE_VERSION_SIZE, "%s", value);
    return 0;
}

int gt_version(ENGINE_RECORD *record, char *out) {
    if (record == nullptr || out == nullptr) return -1;
    char text[kTextSize] = {};
    XML_HANDLE *xml = record->engineXml;
    XML_NODE *node = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "ScanVersion");
    char *content = node == nullptr ? nullptr : XMLNodeGetContent(node);
    if (content != nullptr) snprintf(text, sizeof text, "%s", content);
    free(content);
    uint8_t bytes[kTextSize];
    int n = StringToHex8Bit(text, bytes, sizeof bytes);
    if (n < 1) return 0;
    SerialExchange lock;
    // Collected whole: the packet layer's reply area, not a smaller one.
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = WritePacketDirect(record, bytes, n, reply, kTimeoutMs, kDefaultGaps);
    if (got <= kVersionMin) return 0;
    int count = got - kVersionMin;
    // The service's buffer keeps its last byte for a terminator.
    if (count > ENGINE_VERSION_SIZE - 1) count = ENGINE_VERSION_SIZE - 1;
    memcpy(out, reply + kVersionSkip, static_cast<size_t>(count));
    out[count] = '\0';
    return count;
}

int gt_upgrade(ENGINE_RECORD *record, void *pointer) {
    SER_LOG("SCANNER_IOCTRL_UPGRADE [%s]\n", record->name);
    const auto *request = static_cast<const UPGRADE_REQUEST *>(pointer);
    if (request == nullptr || request->len == 0 || request->Buf == nullptr) return -1;
    // A running cycle holds the line; waiting for it could take until its stop.
    if (common_load(record->common->mState) == COMMON_STATE_DECODING) {
        SER_LOG("SCANNER_IOCTRL_UPGRADE refused during a decode cycle\n");
        return -1;
    }
    // The transfer is one long exchange: no cycle or setting may share the line meanwhile.
    SerialExchange lock;
    return GT51X0_Upgrade_Running(record, request->Buf, request->len, static_cast<int>(request->FirmwareOper));
}

int gt_pack(ENGINE_RECORD *record, const char *name, const char *key, const char *value, uint8_t *out) {
    char *text = reinterpret_cast<char *>(out);
    switch (PacketCmd(name)) {
    case 1: case 2: case 6: case 7: case 8:
        serial_child_text(record, name, "Cmd", nullptr, nullptr, text, ENGINE_PACKET_SIZE);
        break;
    case 4:
        serial_baudrate_text(record, key, value, text, ENGINE_PACKET_SIZE);
        break;
    case 9: case 10:
        if (key == nullptr) return 0;
        serial_child_text(record, "DataFormat", name, key, value, text, ENGINE_PACKET_SIZE);
        break;
    default:
        return 0;
    }
    return static_cast<int>(strlen(text));
}

// "SysInfo" names the model: exactly "ZPT-GT5180" or "ZPT-GT5170"; any other text keeps it.
void take_model(const uint8_t *reply, int count) {
    static constexpr char k5180[] = "ZPT-GT5180", k5170[] = "ZPT-GT5170";
    const int n = static_cast<int>(sizeof k5180 - 1);
    if (count != n) return;
    if (memcmp(reply, k5180, static_cast<size_t>(n)) == 0) g_model = 1;
    if (memcmp(reply, k5170, static_cast<size_t>(n)) == 0) g_model = 0;
}

int gt_unpack(ENGINE_RECORD *, const char *name, const uint8_t *, int, const uint8_t *reply, int count) {
    switch (PacketCmd(name)) {
    case 1: case 2: case 4: case 6: case 8: case 9: case 10:
        return acknowledged(reply, count) ? 0 : -1;
    case 7:
        take_model(reply, count);
        return 0;
    default:
        return -1;
    }
}

} // namespace

SERIAL_EXPORT uint8_t LRC_Check(const uint8_t *bytes, int n) { return gt5170_lrc(bytes, n); }

extern "C" const SERIAL_DRIVER_DESC g_serial_driver = {
    .engine = "GT5170",
    .homeSpeed = kHomeSpeed,
    .speeds = kSpeeds,
    .speedCount = sizeof kSpeeds / sizeof kSpeeds[0],
    .stepSize = 20480,
    .stepGaps = 6,
    .dataLine = "GT5170DateProcess len [%d] [%s]\n",
    .checkLength = 1,
    .clearOnClose = false,
    .version = nullptr,
    .beforeProbe = nullptr,
    .probeOnce = gt_probe_once,
    .walkFollowUp = gt_walk_follow_up,
    .afterProbe = gt_after_probe,
    .init = gt_init,
    .cleanup = nullptr,
    .upgrade = gt_upgrade,
    .set = gt_set,
    .get = gt_get,
    .versionProc = gt_version,
    .pack = gt_pack,
    .unpack = gt_unpack,
};
