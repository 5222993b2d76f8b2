// The serial engine driver skeleton: probe walk, decode-cycle procedures, the exports that
// every serial plug-in shares, and the engine's exchange lock.
#include "serial_driver.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>


namespace {

constexpr int kStepWaitMs = 5;
// Bytes left on the line after a full step buffer are drained with this first wait.
constexpr int kDrainWaitMs = 10;
constexpr int kSyncTextSize = 20;
constexpr int kSpeedTextSize = 16;
// The largest step buffer of a serial driver.
constexpr int kStepMax = 20480;

// One engine per driver library and process: the lock is the library's.
pthread_mutex_t g_exchange = PTHREAD_MUTEX_INITIALIZER;

bool listed_speed(const char *text, int *speed) {
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    char listed[kSpeedTextSize];
    for (int i = 0; i < d.speedCount; ++i) {
        snprintf(listed, sizeof listed, "%d", d.speeds[i]);
        if (text != nullptr && strcmp(text, listed) == 0) {
            *speed = d.speeds[i];
            return true;
        }
    }
    return false;
}

// One Baudrate element of the walk: 0 when the engine answered at its speed and is back
// at the home speed.
int baudrate_probe_proc(XML_NODE *, char *attr, char *, void *arg) {
    auto *record = static_cast<ENGINE_RECORD *>(arg);
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    int speed = 0;
    if (!listed_speed(attr, &speed) || speed == d.homeSpeed) return -1;
    SER_LOG("%s probe at [%d]\n", d.engine, speed);
    serial_speed(record->DriverChannel, speed);
    if (d.probeOnce(record) != 0) return -1;
    return d.walkFollowUp(record);
}

int probe_walk(ENGINE_RECORD *record) {
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    XML_HANDLE *xml = record->engineXml;
    XML_NODE *setting = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, "Setting");
    int result = -1;
    if (setting != nullptr) result = XMLLoopReadAndProcess(xml, setting, "Baudrate", "name", baudrate_probe_proc, record);
    if (result == 0) return 0;
    serial_speed(record->DriverChannel, d.homeSpeed);
    return -1;
}

void serial_start_step(ENGINE_RECORD *record) {
    if (record == nullptr) return;
    pthread_mutex_lock(&g_exchange);
    serial_clear(record->DriverChannel);
    control_trig(record, 1);
}

void serial_stop_step(ENGINE_RECORD *record) {
    if (record == nullptr) return;
    if (g_serial_driver.clearOnClose) serial_clear(record->DriverChannel);
    control_trig(record, 0);
    pthread_mutex_unlock(&g_exchange);
}

void serial_data_step(ENGINE_RECORD *record) {
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    COMMON_STATE *cs = record->common;
    static_assert(kStepMax > 1, "step buffer");
    uint8_t buffer[kStepMax];
    const int size = d.stepSize < kStepMax ? d.stepSize : kStepMax;
    memset(buffer, 0, static_cast<size_t>(size));
    // One byte stays free: the text is logged terminated.
    const int capacity = size - 1;
    int n = ReadPacket(record, buffer, capacity, kStepWaitMs, d.stepGaps);
    if (n < 1) return;
    if (n >= capacity) {
        // Bytes still coming after a full buffer: a code longer than the driver holds.
        // Its first bytes would be a cut code reported as read.
        int more = ReadPacketClearSerial(record, kDrainWaitMs);
        if (more > 0) {
            SER_LOG("%s data overrun [%d] step [%d]\n", d.engine, n + more, size);
            common_scanner_stop_oper(record, SCN_EVENT_FAIL);
            return;
        }
    }
    DECODE_RESULT &r = cs->mResult;
    if (r.data == nullptr || static_cast<uint32_t>(n) >= r.capacity) {
        common_scanner_stop_oper(record, SCN_EVENT_FAIL);
        return;
    }
    memcpy(r.data, buffer, static_cast<size_t>(n));
    r.data[n] = 0;
    r.kind = 1;
    r.len1 = static_cast<uint32_t>(n);
    r.len2 = 0;
    SER_LOG(d.dataLine, n, reinterpret_cast<const char *>(buffer));
    common_scanner_stop_oper(record, SCN_EVENT_DATA);
}

} // namespace

SerialExchange::SerialExchange() { pthread_mutex_lock(&g_exchange); }
SerialExchange::~SerialExchange() { pthread_mutex_unlock(&g_exchange); }

bool serial_exchange_wait(int ms) {
    struct timespec until;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += static_cast<long>(ms) * 1000000L;
    until.tv_sec += until.tv_nsec / 1000000000L;
    until.tv_nsec %= 1000000000L;
    return pthread_mutex_timedlock(&g_exchange, &until) == 0;
}

void serial_exchange_release() { pthread_mutex_unlock(&g_exchange); }

int serial_child_text(ENGINE_RECORD *record, const char *parent, const char *child, const char *key,
                      const char *value, char *out, int size) {
    memset(out, 0, static_cast<size_t>(size));
    XML_HANDLE *xml = record->engineXml;
    XML_NODE *node = xml == nullptr ? nullptr : XMLFindCur(xml, nullptr, parent);
    if (node == nullptr || (key != nullptr && value == nullptr)) return 0;
    return XMLReadString(xml, node, child, key, value, out, size - 1);
}

XML_NODE *serial_parameter_node(ENGINE_RECORD *record, const char *code, const char *param) {
    XML_HANDLE *xml = record->engineXml;
    if (xml == nullptr || code == nullptr || param == nullptr) return nullptr;
    XML_NODE *codes = XMLFindCur(xml, nullptr, "Code");
    XML_NODE *group = codes == nullptr ? nullptr : XMLFindCurOnce(xml, codes, code);
    return group == nullptr ? nullptr : XMLFindCurOnce(xml, group, param);
}

bool serial_read_parameter(ENGINE_RECORD *record, const char *code, const char *param, char *text, int text_size,
                           char *attr, int attr_size) {
    memset(text, 0, static_cast<size_t>(text_size));
    memset(attr, 0, static_cast<size_t>(attr_size));
    XML_NODE *node = serial_parameter_node(record, code, param);
    if (node == nullptr) return false;
    char *content = XMLNodeGetContent(node);
    if (content != nullptr) {
        snprintf(text, static_cast<size_t>(text_size), "%s", content);
        free(content);
    }
    char *a = XMLNodeGetContent(XMLGetAtter(node, "name"));
    if (a != nullptr) {
        snprintf(attr, static_cast<size_t>(attr_size), "%s", a);
        free(a);
    }
    return true;
}

int serial_baudrate_text(ENGINE_RECORD *record, const char *key, const char *value, char *out, int size) {
    if (key == nullptr) {
        memset(out, 0, static_cast<size_t>(size));
        return 0;
    }
    return serial_child_text(record, "Setting", "Baudrate", key, value, out, size);
}

int serial_hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int serial_hex_bytes(const char *text, uint8_t *out, int capacity) {
    int n = 0;
    for (const char *p = text; p[0] != '\0' && p[1] != '\0'; p += 2) {
        int hi = serial_hex_digit(p[0]), lo = serial_hex_digit(p[1]);
        if (hi < 0 || lo < 0 || n >= capacity) return -1;
        out[n++] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return n;
}

SERIAL_EXPORT int scanner_probe(ENGINE_RECORD *record) {
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    if (record == nullptr) return -1;
    if (serial_open(record->DriverChannel, d.homeSpeed, 0) < 0) return -1;
    serial_speed(record->DriverChannel, d.homeSpeed);
    if (d.beforeProbe != nullptr) d.beforeProbe(record);
    XMLInit();
    int result = d.probeOnce(record) == 0 ? 0 : probe_walk(record);
    SER_LOG("%s probe [%d]\n", d.engine, result);
    return d.afterProbe != nullptr ? d.afterProbe(record, result) : result;
}

SERIAL_EXPORT int scanner_init(ENGINE_RECORD *record) {
    return common_scanner_init(record, g_serial_driver.init, serial_data_step, serial_start_step, serial_stop_step);
}

SERIAL_EXPORT int scanner_deinit(ENGINE_RECORD *record) {
    return common_scanner_deinit(record, g_serial_driver.cleanup);
}
SERIAL_EXPORT int scanner_open(ENGINE_RECORD *record) { return common_scanner_open(record); }
SERIAL_EXPORT int scanner_close(ENGINE_RECORD *record) { return common_scanner_close(record); }

SERIAL_EXPORT int scanner_start_decode(ENGINE_RECORD *record, SCAN_EVENT_CALLBACK callback, void *reserved, int arg) {
    return common_scanner_start_decode(record, callback, reserved, arg);
}

SERIAL_EXPORT int scanner_stop_decode(ENGINE_RECORD *record, int arg) { return common_scanner_stop_decode(record, arg); }

SERIAL_EXPORT int scanner_set(ENGINE_RECORD *record, const char *code, const char *param, const char *value) {
    return g_serial_driver.set(record, code, param, value);
}

SERIAL_EXPORT int scanner_get(ENGINE_RECORD *record, const char *code, const char *param, char *out) {
    return g_serial_driver.get(record, code, param, out);
}

SERIAL_EXPORT int scanner_sync(ENGINE_RECORD *record, const char *code, const char *param) {
    char text[kSyncTextSize + 1] = {};
    g_serial_driver.get(record, code, param, text);
    return atoi(text);
}

SERIAL_EXPORT int scanner_ioctrl(ENGINE_RECORD *record, int code, int value, void *pointer) {
    if (record == nullptr || record->common == nullptr) return -1;
    if (code == SCANNER_IOCTRL_CHECK_LENGTH) return g_serial_driver.checkLength;
    if (code == SCANNER_IOCTRL_UPGRADE && g_serial_driver.upgrade != nullptr) return g_serial_driver.upgrade(record, pointer);
    return common_scanner_debug_ioctrl_proc(record, code, value, pointer);
}

SERIAL_EXPORT int scanner_version(ENGINE_RECORD *record, char *out) {
    const SERIAL_DRIVER_DESC &d = g_serial_driver;
    if (d.versionProc != nullptr) return d.versionProc(record, out);
    if (record == nullptr || out == nullptr) return -1;
    snprintf(out, ENGINE_VERSION_SIZE, "%s", d.version);
    return 3;
}

SERIAL_EXPORT int scanner_pack(ENGINE_RECORD *record, const char *name, const char *key, const char *value,
                               uint8_t *out) {
    if (record == nullptr || name == nullptr || out == nullptr) return 0;
    return g_serial_driver.pack(record, name, key, value, out);
}

SERIAL_EXPORT int scanner_unpack(ENGINE_RECORD *record, const char *name, const uint8_t *sent, int sent_len,
                                 const uint8_t *reply, int reply_len) {
    if (record == nullptr || name == nullptr || reply == nullptr) return -1;
    return g_serial_driver.unpack(record, name, sent, sent_len, reply, reply_len);
}
