// The GT8841 engine driver: every command, the probe included, is a register read or
// write in a CRC-protected packet; the engine configuration holds each command as a short
// text ('R' read, 'W' masked write, 'S' finish, 'M' length register).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "serial_driver.h"

// The engine version, ten lower-case hexadecimal digits; empty until the first probe reply.
extern "C" {
__attribute__((visibility("default"))) char g_aucVersionBuf[20];
}

namespace {

constexpr int kHomeSpeed = 115200;
constexpr int kSpeeds[] = {9600, 38400, 57600};
constexpr int kTimeoutMs = 500;
constexpr int kDefaultGaps = -1;
constexpr uint8_t kTypeRead = 7, kTypeWrite = 8, kTypeFinish = 9;
constexpr int kReplyMin = 7;
constexpr int kVersionEnd = 9;  // the version is bytes 4-8 of the probe reply
constexpr int kTextSize = 21;   // a command text holds at most 20 characters
constexpr int kAttrSize = 11;   // the name attribute: up to 10 characters
constexpr char kVersion[] = "2013032014";
constexpr uint8_t kLengthBase = 0x80;

bool accepted(const uint8_t *reply, int count) {
    return count >= kReplyMin && count <= PACKET_REPLY_SIZE && reply[2] == 0;
}

// A command text: its letter and every pair after it hexadecimal, at least min_pairs of
// them; the pairs into bytes. false for anything else (nothing may be sent for it).
struct Command {
    char letter = 0;
    int pairs = 0;
    uint8_t bytes[kTextSize / 2] = {};
};

bool parse_command(const char *text, int min_pairs, Command *out) {
    if (text[0] == '\0') return false;
    out->letter = text[0];
    out->pairs = serial_hex_bytes(text + 1, out->bytes, sizeof out->bytes);
    if (out->pairs < min_pairs) {
        SER_LOG("GT8841 command refused [%s]\n", text);
        return false;
    }
    return true;
}

int min_pairs_of(char letter) { return letter == 'R' ? 1 : 3; }

int lowest_bit(uint8_t mask) {
    for (int i = 0; i < 8; ++i)
        if ((mask >> i) & 1) return i;
    return 0;
}

} // namespace

extern "C" {
uint16_t crc16(const uint8_t *bytes, int length);
int pack_cmd_data(uint8_t *out, uint16_t address, const uint8_t *data, uint8_t length, uint8_t type);
uint8_t hex_to_u8(const char *text);
uint8_t LRC_Check(const uint8_t *bytes, int length);
}

SERIAL_EXPORT uint16_t crc16(const uint8_t *bytes, int length) {
    uint16_t crc = 0;
    if (bytes == nullptr) return 0;
    for (int i = 0; i < length; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int b = 0; b < 8; ++b)
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

SERIAL_EXPORT int pack_cmd_data(uint8_t *out, uint16_t address, const uint8_t *data, uint8_t length, uint8_t type) {
    if (out == nullptr || (type != kTypeRead && type != kTypeWrite && type != kTypeFinish)) return 0;
    int n = type == kTypeRead ? 1 : length;
    if (n > 0 && data == nullptr) return 0;
    out[0] = 0x7E;
    out[1] = 0x00;
    out[2] = type;
    out[3] = type == kTypeRead ? 1 : length;
    out[4] = static_cast<uint8_t>(address >> 8);
    out[5] = static_cast<uint8_t>(address);
    if (n > 0) memcpy(out + 6, data, static_cast<size_t>(n));
    uint16_t crc = crc16(out + 2, 4 + n);
    out[6 + n] = static_cast<uint8_t>(crc >> 8);
    out[7 + n] = static_cast<uint8_t>(crc);
    return n + 8;
}

SERIAL_EXPORT uint8_t hex_to_u8(const char *text) {
    if (text == nullptr || text[0] == '\0') return 0;
    int hi = serial_hex_digit(text[0]), lo = serial_hex_digit(text[1]);
    return static_cast<uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
}

SERIAL_EXPORT uint8_t LRC_Check(const uint8_t *bytes, int length) {
    uint8_t lrc = 0xFF;
    for (int i = 0; bytes != nullptr && i < length; ++i) lrc ^= bytes[i];
    return lrc;
}

namespace {

// One packet out, the reply into reply (PACKET_REPLY_SIZE bytes): its length when
// accepted, else -1.
int exchange(ENGINE_RECORD *record, const uint8_t *packet, int length, uint8_t *reply) {
    int got = WritePacketDirect(record, packet, length, reply, kTimeoutMs, kDefaultGaps);
    return accepted(reply, got) ? got : -1;
}

int read_registers(ENGINE_RECORD *record, uint16_t address, uint8_t count, uint8_t *reply) {
    uint8_t packet[16];
    int length = pack_cmd_data(packet, address, &count, 1, kTypeRead);
    return exchange(record, packet, length, reply);
}

int write_register(ENGINE_RECORD *record, uint16_t address, uint8_t value, uint8_t *reply) {
    uint8_t packet[16];
    int length = pack_cmd_data(packet, address, &value, 1, kTypeWrite);
    return exchange(record, packet, length, reply);
}

int send_type9_packet(ENGINE_RECORD *record) {
    uint8_t packet[16];
    const uint8_t zero = 0;
    int length = pack_cmd_data(packet, 0, &zero, 1, kTypeFinish);
    uint8_t reply[PACKET_REPLY_SIZE];
    return exchange(record, packet, length, reply) > 0 ? 0 : -1;
}

// A register command named by the packet layer's name, its text from scanner_pack.
int send_register_command(ENGINE_RECORD *record, const char *name, const char *key, const char *value) {
    if (record == nullptr || name == nullptr || record->scanner_pack == nullptr || record->scanner_unpack == nullptr)
        return -1;
    uint8_t text[ENGINE_PACKET_SIZE] = {};
    if (record->scanner_pack(record, name, key, value, text) < 1) return -1;
    Command c;
    const char *t = reinterpret_cast<const char *>(text);
    if (!parse_command(t, min_pairs_of(t[0]), &c)) return -1;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got;
    switch (c.letter) {
    case 'R':
        got = read_registers(record, c.bytes[0], static_cast<uint8_t>(strlen(t) / 2), reply);
        if (got < 1) return -1;
        return record->scanner_unpack(record, name, nullptr, 0, reply, got) == 0 ? 0 : -1;
    case 'W': {
        const uint8_t mask = c.bytes[0], address = c.bytes[1], data = c.bytes[2];
        if (mask == 0xFF) {
            got = write_register(record, address, data, reply);
            if (got < 1) return -1;
            return record->scanner_unpack(record, name, nullptr, 0, reply, got) == 0 ? 0 : -1;
        }
        got = read_registers(record, address, 1, reply);
        if (got < 1 || record->scanner_unpack(record, name, nullptr, 0, reply, got) != 0) return -1;
        write_register(record, address, static_cast<uint8_t>((reply[4] & ~mask) | data), reply);
        return 0;
    }
    default:
        return -1;
    }
}

bool version_matches() { return strncmp(g_aucVersionBuf, kVersion, sizeof kVersion - 1) == 0; }

void gt_before_probe(ENGINE_RECORD *record) {
    control_trig(record, 1);
    msleep(1);
    control_trig(record, 0);
}

int gt_probe_once(ENGINE_RECORD *record) {
    if (send_register_command(record, "ScanProbe", nullptr, nullptr) != 0) return -1;
    return version_matches() ? 0 : -1;
}

int gt_walk_follow_up(ENGINE_RECORD *record) {
    int result = send_register_command(record, "Baudrate", "name", "115200");
    if (result == 0) serial_speed(record->DriverChannel, kHomeSpeed);
    return result;
}

// The register fix-ups after a found engine, then the finishing packet.
int gt_after_probe(ENGINE_RECORD *record, int result) {
    if (result != 0) return result;
    uint8_t reply[PACKET_REPLY_SIZE];
    if (read_registers(record, 0x0F, 1, reply) > 0 && (reply[4] & 0x01) == 0)
        write_register(record, 0x0F, static_cast<uint8_t>(reply[4] | 0x01), reply);
    if (read_registers(record, 0x31, 1, reply) > 0 && (reply[4] & 0x10) != 0 &&
        write_register(record, 0x31, static_cast<uint8_t>(reply[4] & ~0x10), reply) < 1)
        result = -1;
    send_type9_packet(record);
    return result;
}

int gt_init(ENGINE_RECORD *record) { return record == nullptr ? -1 : 0; }

// The new bits of a masked write, chosen from the value text (see the attribute's letter).
uint8_t masked_value(uint8_t mask, uint8_t data, const char *attr, const char *value) {
    size_t length = strlen(value);
    if (length == 1) {
        if (value[0] == attr[0]) return data;
        if (attr[0] == '2' || attr[0] == '3') {
            switch (mask) {
            case 0x03: case 0x06: case 0x0C: case 0x18: case 0x30: case 0x60: case 0xC0:
                return static_cast<uint8_t>(atoi(value) << lowest_bit(mask));
            default:
                return 0;
            }
        }
        if (attr[0] == '5') return static_cast<uint8_t>((atoi(value) & 0x3F) << 2);
        return static_cast<uint8_t>(data & ~mask);
    }
    if (length == 2) return strncmp(value, attr, 2) != 0 ? static_cast<uint8_t>(atoi(value)) : data;
    return data;
}

// 'M': a length register, held against the attribute's limit and the opposite bound.
int set_length(ENGINE_RECORD *record, const Command &c, const char *param, const char *attr, const char *value) {
    const uint16_t reg = static_cast<uint16_t>(kLengthBase + c.bytes[2]);
    const uint8_t v = static_cast<uint8_t>(atoi(value));
    const int limit = atoi(attr);
    uint8_t reply[PACKET_REPLY_SIZE];
    SER_LOG("M addr: 0x%.4x Data: %d reallen: %d\n", reg, v, limit);
    if (strcmp(param, "Minlen") == 0) {
        // The limit first: a refused value sends nothing.
        if (v < limit) {
            SER_LOG("Minlen less than default error\n");
            return -1;
        }
        if (read_registers(record, static_cast<uint16_t>(reg - 1), 1, reply) < 1) return -1;
        SER_LOG("***Maxlen***: %d\n", reply[4]);
        if (v > reply[4]) {
            SER_LOG("Minlen larger than Maxlen error\n");
            return -1;
        }
    } else if (strcmp(param, "Maxlen") == 0) {
        if (v > limit) {
            SER_LOG("Maxlen larger than default error\n");
            return -1;
        }
        if (read_registers(record, static_cast<uint16_t>(reg + 1), 1, reply) < 1) return -1;
        SER_LOG("***Minlen***: %d\n", reply[4]);
        if (v < reply[4]) {
            SER_LOG("Maxlen less than Minlen error\n");
            return -1;
        }
    }
    return write_register(record, reg, v, reply) < 1 ? -1 : 0;
}

int gt_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    if (record == nullptr || record->common == nullptr || value == nullptr) return -1;
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    Command c;
    if (!parse_command(text, min_pairs_of(text[0]), &c)) return -1;
    SerialExchange lock;
    uint8_t reply[PACKET_REPLY_SIZE];
    switch (c.letter) {
    case 'W': {
        const uint8_t mask = c.bytes[0], address = c.bytes[1], data = c.bytes[2];
        if (mask == 0xFF) {
            if (write_register(record, address, data, reply) < 1) return -1;
            break;
        }
        if (read_registers(record, address, 1, reply) < 1) return -1;
        // Anything but one register read back: nothing is written.
        if (reply[3] != 1) break;
        const uint8_t old = reply[4];
        uint8_t v = masked_value(mask, data, attr, value);
        if (write_register(record, address, static_cast<uint8_t>(v | (old & ~mask)), reply) < 1) return -1;
        break;
    }
    case 'S':
        if (c.bytes[0] != 0xFF) return -1;
        return send_type9_packet(record);
    case 'M':
        if (set_length(record, c, param, attr, value) != 0) return -1;
        break;
    default:
        return -1;
    }
    return send_type9_packet(record);
}

int gt_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    if (record == nullptr || record->common == nullptr || out == nullptr) return -1;
    char text[kTextSize], attr[kAttrSize];
    if (!serial_read_parameter(record, code, param, text, sizeof text, attr, sizeof attr)) return -1;
    Command c;
    if (text[0] != 'W' && text[0] != 'M') return -1;
    if (!parse_command(text, text[0] == 'W' ? 2 : 3, &c)) return -1;
    SerialExchange lock;
    uint8_t reply[PACKET_REPLY_SIZE];
    const uint16_t address = c.letter == 'W' ? c.bytes[1] : static_cast<uint16_t>(kLengthBase + c.bytes[2]);
    if (read_registers(record, address, 1, reply) < 1 || reply[3] != 1) return -1;
    if (c.letter == 'M') return snprintf(out, ENGINE_VERSION_SIZE, "%d", reply[4]);
    const uint8_t mask = c.bytes[0];
    const uint8_t bits = static_cast<uint8_t>(reply[4] & mask);
    out[0] = bits == 0 ? '0' : static_cast<char>('0' + (bits >> lowest_bit(mask)));
    out[1] = '\0';
    return 1;
}

int gt_version(ENGINE_RECORD *record, char *out) {
    if (record == nullptr || out == nullptr) return -1;
    memcpy(out, g_aucVersionBuf, sizeof g_aucVersionBuf);
    out[sizeof g_aucVersionBuf - 1] = '\0';
    return 3;
}

int gt_pack(ENGINE_RECORD *record, const char *name, const char *key, const char *value, uint8_t *out) {
    XML_HANDLE *xml = record->engineXml;
    char *text = reinterpret_cast<char *>(out);
    memset(out, 0, kTextSize);
    switch (PacketCmd(name)) {
    case 1:
        serial_child_text(record, "ScanProbe", "Cmd", nullptr, nullptr, text, kTextSize);
        break;
    case 2: {
        XML_NODE *format = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "DataFormat");
        XML_NODE *suffix = format == nullptr ? nullptr : XMLFindCurOnce(xml, format, "Suffix");
        if (suffix != nullptr && key != nullptr) XMLReadString(xml, suffix, key, nullptr, nullptr, text, kTextSize - 1);
        break;
    }
    case 4:
        serial_baudrate_text(record, key, value, text, kTextSize);
        break;
    default:
        return 0;
    }
    return static_cast<int>(strlen(text));
}

int gt_unpack(ENGINE_RECORD *, const char *name, const uint8_t *, int, const uint8_t *reply, int count) {
    switch (PacketCmd(name)) {
    case 2:
    case 4:
        if (!accepted(reply, count)) return -1;
        SER_LOG("CMD_PROBE ACK [%d] [%c] len: %d [%x]\n", count, reply[0], reply[3], reply[4]);
        return 0;
    case 1:
        // The version is read only from bytes that came.
        if (!accepted(reply, count) || count < kVersionEnd) return -1;
        SER_LOG("CMD_PROBE ACK [%d] [%c] len: %d [%x][%x][%x][%x][%x]\n", count, reply[0], reply[3], reply[4],
                reply[5], reply[6], reply[7], reply[8]);
        snprintf(g_aucVersionBuf, sizeof g_aucVersionBuf, "%.2x%.2x%.2x%.2x%.2x", reply[4], reply[5], reply[6],
                 reply[7], reply[8]);
        SER_LOG("GT8841 Version: %s\n", g_aucVersionBuf);
        return 0;
    default:
        return -1;
    }
}

} // namespace

extern "C" const SERIAL_DRIVER_DESC g_serial_driver = {
    .engine = "GT8841",
    .homeSpeed = kHomeSpeed,
    .speeds = kSpeeds,
    .speedCount = sizeof kSpeeds / sizeof kSpeeds[0],
    .stepSize = 256,
    .stepGaps = 2,
    .dataLine = "GT8841DateProcess len [%d] [%s]\n",
    .checkLength = 1,
    .clearOnClose = false,
    .version = nullptr,
    .beforeProbe = gt_before_probe,
    .probeOnce = gt_probe_once,
    .walkFollowUp = gt_walk_follow_up,
    .afterProbe = gt_after_probe,
    .init = gt_init,
    .cleanup = nullptr,
    .upgrade = nullptr,
    .set = gt_set,
    .get = gt_get,
    .versionProc = gt_version,
    .pack = gt_pack,
    .unpack = gt_unpack,
};
