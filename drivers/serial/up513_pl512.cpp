// The UP513 and PL512 engine drivers, built twice from this source: SERIAL_PL512 0 gives
// libZPT-PL512 (engine UP513), 1 gives libPL512 (engine PL512). Commands are
// length-prefixed packets with an opcode and a 16-bit checksum, sent with the RTS/CTS
// handshake; parameters are set and read by number.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "serial_driver.h"

#ifndef SERIAL_PL512
#error "SERIAL_PL512 selects the engine"
#endif

namespace {

constexpr int kDataMax = 251;   // the length byte holds 4 + n
constexpr int kParamMax = 250;  // a setting's data is 0xFF and its parameter bytes
constexpr int kHeader = 4;
constexpr uint8_t kOpProbe = 0xA4, kOpAck = 0xD0;
constexpr uint8_t kSourceHost = 4;
constexpr uint8_t kStatusSet = 8;
constexpr int kTimeoutMs = 500;
constexpr int kDefaultGaps = -1;
constexpr int kAttempts = 5;
constexpr int kTokenSize = 5;
constexpr int kTextSize = 2 * kParamMax + 2;
constexpr int kAttrSize = 11;

// The packet: its length n + 6, or 0 when it cannot be built.
int build_packet(uint8_t *out, uint8_t opcode, const uint8_t *data, int n, uint8_t status) {
    if (out == nullptr || n < 0 || n > kDataMax || (n > 0 && data == nullptr)) return 0;
    out[0] = static_cast<uint8_t>(kHeader + n);
    out[1] = opcode;
    out[2] = kSourceHost;
    out[3] = status;
    if (n > 0) memcpy(out + kHeader, data, static_cast<size_t>(n));
    uint16_t sum = 0;
    for (int i = 0; i < kHeader + n; ++i) sum = static_cast<uint16_t>(sum + out[i]);
    const uint16_t check = static_cast<uint16_t>(0x10000 - sum);
    out[kHeader + n] = static_cast<uint8_t>(check >> 8);
    out[kHeader + n + 1] = static_cast<uint8_t>(check);
    return n + kHeader + 2;
}

// A setting packet's data: 0xFF then the n parameter bytes.
int build_set(uint8_t *out, uint8_t opcode, const uint8_t *bytes, int n) {
    if (n > kParamMax || (n > 0 && bytes == nullptr)) return 0;
    uint8_t data[kDataMax] = {0xFF};
    if (n > 0) memcpy(data + 1, bytes, static_cast<size_t>(n));
    return build_packet(out, opcode, data, n < 1 ? 1 : n + 1, kStatusSet);
}

// true when the parameter bytes are whole entries: [prefix] number value, or
// 0xF4 [prefix] number value value.
bool whole_entries(const uint8_t *bytes, int n) {
    int i = 0;
    while (i < n) {
        bool wide = bytes[i] == 0xF4;
        if (wide) ++i;
        if (i < n && (bytes[i] == 0xF0 || bytes[i] == 0xF1 || bytes[i] == 0xF2)) ++i;
        i += wide ? 3 : 2;
    }
    return i == n;
}

// The reply's opcode when it is taken, else -1.
int analyse(const uint8_t *reply, int count) {
    if (reply == nullptr || count < 1) return -1;
    if (reply[0] <= 3 || count < reply[0] + 2 || reply[2] != 0) return -1;
    return reply[1];
}

} // namespace

extern "C" {
int UP513Packet(uint8_t *out, uint8_t opcode, const uint8_t *data, int n, uint8_t status);
int PL512Packet(uint8_t *out, uint8_t opcode, const uint8_t *data, int n, uint8_t status);
int UP513SetPacket(const uint8_t *bytes, int n, uint8_t *out);
int PL512SetPacket(const uint8_t *bytes, int n, uint8_t *out);
int UP513GetPacket(const uint8_t *bytes, int n, uint8_t *out);
int PL512GetPacket(const uint8_t *bytes, int n, uint8_t *out);
int UP513GetAckPacket(uint8_t *out);
int scanner_pre_init(ENGINE_RECORD *record);
}

// UP513's builders answer 0 for what they cannot build, PL512's -1; nothing is written.
SERIAL_EXPORT int UP513Packet(uint8_t *out, uint8_t opcode, const uint8_t *data, int n, uint8_t status) {
    return build_packet(out, opcode, data, n, status);
}

SERIAL_EXPORT int PL512Packet(uint8_t *out, uint8_t opcode, const uint8_t *data, int n, uint8_t status) {
    int length = build_packet(out, opcode, data, n, status);
    return length == 0 ? -1 : length;
}

SERIAL_EXPORT int UP513SetPacket(const uint8_t *bytes, int n, uint8_t *out) { return build_set(out, 0xD6, bytes, n); }

SERIAL_EXPORT int PL512SetPacket(const uint8_t *bytes, int n, uint8_t *out) {
    if (out == nullptr || bytes == nullptr || n < 1 || n > kParamMax || !whole_entries(bytes, n)) {
        log_write(LOG_LEVEL_DRIVER, "PL512SetPacket refused [%d]\n", n);
        return -1;
    }
    return build_set(out, 0xC6, bytes, n);
}

SERIAL_EXPORT int UP513GetPacket(const uint8_t *bytes, int n, uint8_t *out) {
    if (bytes == nullptr) return 0;
    return build_packet(out, 0xD7, bytes, n, 0);
}

SERIAL_EXPORT int PL512GetPacket(const uint8_t *bytes, int n, uint8_t *out) {
    if (bytes == nullptr && out != nullptr) return 0;
    int length = build_packet(out, 0xC7, bytes, n, 0);
    return length == 0 ? -1 : length;
}

SERIAL_EXPORT int UP513GetAckPacket(uint8_t *out) { return build_packet(out, kOpAck, nullptr, 0, 0); }

namespace {

struct Engine {
    const char *name;
    int homeSpeed;
    const char *token;
    uint8_t setOpcode, getOpcode, replyOpcode;
    int valueOffset;  // of the value in a request reply, past the parameter bytes
    int getAttempts;
    int unansweredGet; // read-back result when no attempt was answered
    int baudrateUnpack;
    int (*setPacket)(const uint8_t *, int, uint8_t *);
    int (*getPacket)(const uint8_t *, int, uint8_t *);
};

#if SERIAL_PL512
constexpr int kSpeeds[] = {38400, 57600, 115200};
constexpr Engine kEngine = {"PL512", 9600, "PAABP", 0xC6, 0xC7, 0xC6, 5, 1, -1, -1, PL512SetPacket, PL512GetPacket};
#else
constexpr int kSpeeds[] = {9600, 19200, 57600, 115200};
constexpr Engine kEngine = {"UP513", 38400, "uP513", 0xD6, 0xD7, 0xD6, 6, kAttempts, 1, 0, UP513SetPacket,
                            UP513GetPacket};
#endif

int probe_exchange(ENGINE_RECORD *record, const char *name, const char *key, const char *value) {
    return WritePacketDirectTsWithName(record, name, key, value, kTimeoutMs, kDefaultGaps);
}

int up_probe_once(ENGINE_RECORD *record) { return probe_exchange(record, "ScanProbe", nullptr, nullptr); }

int up_walk_follow_up(ENGINE_RECORD *record) {
    char home[16];
    snprintf(home, sizeof home, "%d", kEngine.homeSpeed);
    probe_exchange(record, "Baudrate", "name", home);
    serial_speed(record->DriverChannel, kEngine.homeSpeed);
    return up_probe_once(record);
}

int up_init(ENGINE_RECORD *record) { return record == nullptr ? -1 : 0; }

// The parameter element's bytes into bytes (capacity): the count, -1 when the element is
// missing or its text is not whole hexadecimal pairs that fit.
int parameter_bytes(ENGINE_RECORD *record, const char *code, const char *param, uint8_t *bytes, int capacity) {
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    return serial_hex_bytes(text, bytes, capacity);
}

// One request for the parameter's value (lock held): 0 with the value in out, the
// engine's unanswered result, or -1.
int request_value(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    memset(out, 0, 8);
    uint8_t bytes[kDataMax];
    int n = parameter_bytes(record, code, param, bytes, kDataMax);
    if (n < 0) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE];
    int length = kEngine.getPacket(bytes, n, packet);
    if (length < 1) return -1;
    const int offset = n + kEngine.valueOffset;
    for (int attempt = 0; attempt < kEngine.getAttempts; ++attempt) {
        uint8_t reply[PACKET_REPLY_SIZE];
        int got = WritePacketDirectTs(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
        // A reply too short for the value offset is not an answer.
        if (analyse(reply, got) == kEngine.replyOpcode && offset < got) {
            snprintf(out, 8, "%d", reply[offset]);
            return 0;
        }
    }
    return kEngine.unansweredGet;
}

int up_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    if (record == nullptr || record->common == nullptr || out == nullptr) return -1;
    SerialExchange lock;
    return request_value(record, code, param, out);
}

int up_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (record == nullptr || record->common == nullptr || value == nullptr) return -1;
    // Parameter bytes, then (UP513) 0x01 and the value byte.
    uint8_t data[kParamMax];
    const int tail = SERIAL_PL512 ? 1 : 2;
    int n = parameter_bytes(record, code, param, data, kParamMax - tail);
    if (n < 0) return -1;
    if (!SERIAL_PL512) {
        SER_LOG("%s [%s] [%d]\n", "scanner_set", record->name, 255);
        data[n++] = 0x01;
    }
    data[n++] = static_cast<uint8_t>(atoi(value));
    uint8_t packet[ENGINE_PACKET_SIZE];
    int length = kEngine.setPacket(data, n, packet);
    if (length < 1) return -1;
    SerialExchange lock;
    if (SERIAL_PL512) LogPrintHex("Send", packet, length);
    bool acknowledged = false;
    for (int left = kAttempts - 1; left >= 0 && !acknowledged; --left) {
        uint8_t reply[PACKET_REPLY_SIZE];
        int got = WritePacketDirectTs(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
        if (SERIAL_PL512 && got > 0) LogPrintHex("Recv", reply, got);
        int op = analyse(reply, got);
        acknowledged = op == kOpAck;
        if (!acknowledged && SERIAL_PL512) SER_LOG("Setting Error [%x]\n", left);
    }
    if (!SERIAL_PL512) return acknowledged ? 0 : -1;
    char text[8];
    int result = request_value(record, code, param, text);
    SER_LOG("Setting Get RecvBuf [%s]\n", text);
    if (result != 0) return result;
    return atoi(text) == atoi(value) ? 0 : -1;
}

int up_pack(ENGINE_RECORD *record, const char *name, const char *key, const char *value, uint8_t *out) {
    char text[kTextSize] = {};
    uint8_t bytes[kParamMax];
    int length = 0;
    switch (PacketCmd(name)) {
    case 1: {
        serial_child_text(record, "ScanProbe", "Cmd", nullptr, nullptr, text, kTextSize);
        if (serial_hex_bytes(text, bytes, kParamMax) < 1) return 0;
        length = build_packet(out, bytes[0], nullptr, 0, 0);
        break;
    }
    case 4: {
        if (serial_baudrate_text(record, key, value, text, kTextSize) < 1) return 0;
        int n = StringToHex8Bit(text, bytes, kParamMax);
        if (n < 1) return 0;
        length = kEngine.setPacket(bytes, n, out);
        break;
    }
    default:
        return 0;
    }
    // A builder's refusal is no length.
    return length < 1 ? 0 : length;
}

int up_unpack(ENGINE_RECORD *, const char *name, const uint8_t *, int, const uint8_t *reply, int count) {
    switch (PacketCmd(name)) {
    case 1:
        if (analyse(reply, count) != kOpProbe || count < kHeader + kTokenSize) return -1;
        return memcmp(reply + kHeader, kEngine.token, kTokenSize) == 0 ? 0 : -1;
    case 2:
    case 3:
    case 5:
        return 0;
    case 4:
        return kEngine.baudrateUnpack;
    default:
        return -1;
    }
}

} // namespace

SERIAL_EXPORT int scanner_pre_init(ENGINE_RECORD *record) { return up_init(record); }

extern "C" const SERIAL_DRIVER_DESC g_serial_driver = {
    .engine = kEngine.name,
    .homeSpeed = kEngine.homeSpeed,
    .speeds = kSpeeds,
    .speedCount = sizeof kSpeeds / sizeof kSpeeds[0],
    .stepSize = 512,
    .stepGaps = 2,
    .dataLine = SERIAL_PL512 ? "PL512DateProcess len [%d] [%s]\n" : "UP513DateProcess len [%d] [%s]\n",
    .checkLength = 0,
    .clearOnClose = !SERIAL_PL512,
    .version = "V1.0",
    .beforeProbe = nullptr,
    .probeOnce = up_probe_once,
    .walkFollowUp = up_walk_follow_up,
    .afterProbe = nullptr,
    .init = up_init,
    .cleanup = nullptr,
    .upgrade = nullptr,
    .set = up_set,
    .get = up_get,
    .versionProc = nullptr,
    .pack = up_pack,
    .unpack = up_unpack,
};
