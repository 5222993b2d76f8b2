// Serial packet transport: command names, request and reply exchanges on an engine's
// UART (replies delimited by silence), reads during a decode cycle, draining stale
// input, and the process's packet queue.
#include <pthread.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

extern "C" {
PACKET_CMD gCmdProcs[PACKET_CMD_COUNT] = {
    {"ScanProbe", 0, 1}, {"Suffix", 0, 2},  {"Baudrate", 0, 4},  {"Beep", 0, 5},   {"Prefix", 0, 3},
    {"SleepTimer", 0, 6}, {"SysInfo", 0, 7}, {"AutoSleep", 0, 8}, {"AIMID", 0, 9}, {"CodeID", 0, 10},
    {nullptr, 0, 0},  // end
};
}

namespace {

constexpr int kCommandCount = PACKET_CMD_COUNT - 1;
constexpr int kDefaultGaps = 2;
constexpr int kReadGaps = 6;
constexpr int kClearSilences = 7;
constexpr int kRtsPulseMs = 50;
constexpr int kCtsPolls = 100;
constexpr useconds_t kCtsPollUs = 300;
constexpr uint32_t kSequenceMax = 65000;

// The sums are filled once for all threads; the flag is read without the lock.
pthread_mutex_t g_sums_lock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<bool> g_sums_filled{false};

struct PacketQueue {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    uint32_t sequence = 0;
    PACKET_SLOT slots[PACKET_SLOT_COUNT] = {};
};
PacketQueue g_queue;

uint32_t name_sum(const char *name) {
    uint32_t sum = 0;
    for (const uint8_t *p = reinterpret_cast<const uint8_t *>(name); *p != 0; ++p) sum += *p;
    return sum;
}

void fill_sums() {
    if (g_sums_filled.load(std::memory_order_acquire)) return;
    pthread_mutex_lock(&g_sums_lock);
    if (!g_sums_filled.load(std::memory_order_relaxed)) {
        for (int i = 0; i < kCommandCount; ++i) gCmdProcs[i].sum = name_sum(gCmdProcs[i].name);
        g_sums_filled.store(true, std::memory_order_release);
    }
    pthread_mutex_unlock(&g_sums_lock);
}

int64_t now_us() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

// After the first data: reads of up to wait_ms each, appended at count, until gaps empty
// reads in a row or a full buffer (cap bytes). The count.
int read_until_silent(int channel, uint8_t *buf, int count, int cap, int wait_ms, int gaps) {
    for (int empty = 0; empty < gaps && count < cap;) {
        int n = serial_read(channel, buf + count, cap - count, wait_ms);
        if (n < 1) {
            ++empty;
        } else {
            count += n;
            empty = 0;
        }
    }
    return count;
}

// Collects a reply into buf (cap bytes): a first read waiting first_ms; after data,
// reads waiting gap_ms until gaps empty reads in a row (-1: two). The count.
int collect_reply(int channel, uint8_t *buf, int cap, int first_ms, int gap_ms, int gaps) {
    int count = serial_read(channel, buf, cap, first_ms);
    if (count < 1) return 0;
    return read_until_silent(channel, buf, count, cap, gap_ms, gaps < 0 ? kDefaultGaps : gaps);
}

bool write_whole(ENGINE_RECORD *record, const uint8_t *bytes, int length) {
    return serial_write(record->DriverChannel, bytes, length) == length;
}

// Polls CTS until it reads 0 (want_high false) or non-zero; -1 counts as non-zero.
void cts_wait(ENGINE_RECORD *record, bool want_high) {
    for (int i = 0; i < kCtsPolls; ++i) {
        int cts = control_get_cts(record);
        if ((cts != 0) == want_high) return;
        usleep(kCtsPollUs);
    }
}

// Steps (1)-(5) of the handshake around the write, the pulse only when asked. false
// when the write was incomplete (RTS is raised again).
bool handshake_write(ENGINE_RECORD *record, const uint8_t *bytes, int length, bool pulse) {
    if (pulse) {
        control_set_rts(record, 1);
        plat_sleep_ms(kRtsPulseMs);
    }
    control_set_rts(record, 0);
    cts_wait(record, false);
    if (!write_whole(record, bytes, length)) {
        control_set_rts(record, 1);
        return false;
    }
    control_set_rts(record, 1);
    cts_wait(record, true);
    return true;
}

bool can_exchange(ENGINE_RECORD *record, const char *name) {
    return record != nullptr && name != nullptr && record->scanner_pack != nullptr && record->scanner_unpack != nullptr;
}

}  // namespace

void packet_test_reset() {
    pthread_mutex_lock(&g_sums_lock);
    for (PACKET_CMD &c : gCmdProcs) c.sum = 0;
    g_sums_filled.store(false);
    pthread_mutex_unlock(&g_sums_lock);
    pthread_mutex_lock(&g_queue.lock);
    g_queue.sequence = 0;
    memset(g_queue.slots, 0, sizeof g_queue.slots);
    pthread_mutex_unlock(&g_queue.lock);
}

extern "C" int PacketCmd(const char *name) {
    if (name == nullptr) return 0;
    fill_sums();
    uint32_t sum = name_sum(name);
    for (int i = 0; i < kCommandCount; ++i)
        if (gCmdProcs[i].sum == sum && strcmp(gCmdProcs[i].name, name) == 0) return static_cast<int>(gCmdProcs[i].id);
    return 0;
}

extern "C" const char *PacketCmdString(int id) {
    for (int i = 0; i < kCommandCount; ++i)
        if (static_cast<int64_t>(gCmdProcs[i].id) == id) return gCmdProcs[i].name;
    return gCmdProcs[kCommandCount].name;
}

extern "C" int tim_subtract(const struct timeval *start, const struct timeval *end) {
    if (start == nullptr || end == nullptr) return -1;
    int64_t sec = static_cast<int64_t>(end->tv_sec) - start->tv_sec;
    int64_t usec = static_cast<int64_t>(end->tv_usec) - start->tv_usec;
    if (usec < 0) {
        sec -= 1;
        usec += 1000000;
    }
    if (sec < 0) return -1;
    return static_cast<int>(sec * 1000 + usec / 1000);
}

extern "C" int WritePacketWithName(ENGINE_RECORD *record, const char *name, const char *key, const char *value,
                                   int timeout_ms, int gaps) {
    if (!can_exchange(record, name)) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE] = {};
    int length = record->scanner_pack(record, name, key, value, packet);
    if (length < 1 || length > ENGINE_PACKET_SIZE) return -1;
    if (!write_whole(record, packet, length)) return -1;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = collect_reply(record->DriverChannel, reply, sizeof reply, timeout_ms, getBaydrateDelay(), gaps);
    return record->scanner_unpack(record, name, packet, length, reply, got) == 0 ? 0 : -1;
}

extern "C" int WritePacket(ENGINE_RECORD *record, const char *name, int timeout_ms, int gaps) {
    return WritePacketWithName(record, name, nullptr, nullptr, timeout_ms, gaps);
}

extern "C" int WritePacketNoAck(ENGINE_RECORD *record, const char *name, const char *key, const char *value) {
    if (record == nullptr || name == nullptr || record->scanner_pack == nullptr) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE] = {};
    int length = record->scanner_pack(record, name, key, value, packet);
    if (length < 1 || length > ENGINE_PACKET_SIZE) return -1;
    return write_whole(record, packet, length) ? 0 : -1;
}

extern "C" int WritePacketDirect(ENGINE_RECORD *record, const uint8_t *bytes, int length, uint8_t *reply,
                                 int timeout_ms, int gaps) {
    if (record == nullptr || bytes == nullptr || reply == nullptr || length < 1) return -1;
    if (!write_whole(record, bytes, length)) return -1;
    return collect_reply(record->DriverChannel, reply, PACKET_REPLY_SIZE, timeout_ms, getBaydrateDelay(), gaps);
}

extern "C" int WritePacketDirectTs(ENGINE_RECORD *record, const uint8_t *bytes, int length, uint8_t *reply,
                                   int timeout_ms, int gaps) {
    if (record == nullptr || bytes == nullptr || reply == nullptr || length < 1) return -1;
    if (!handshake_write(record, bytes, length, true)) return -1;
    int got = collect_reply(record->DriverChannel, reply, PACKET_REPLY_SIZE, timeout_ms, getBaydrateDelay(), gaps);
    if (got == 0) rt_log(LOG_LEVEL_OPER, "time out");
    return got;
}

extern "C" int WritePacketDirectTsWithName(ENGINE_RECORD *record, const char *name, const char *key,
                                           const char *value, int timeout_ms, int gaps) {
    if (!can_exchange(record, name)) return -1;
    uint8_t packet[ENGINE_PACKET_SIZE] = {};
    int length = record->scanner_pack(record, name, key, value, packet);
    if (length < 1 || length > ENGINE_PACKET_SIZE) return -1;
    if (!handshake_write(record, packet, length, true)) return -1;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = collect_reply(record->DriverChannel, reply, sizeof reply, timeout_ms, timeout_ms, gaps);
    return record->scanner_unpack(record, name, packet, length, reply, got) == 0 ? 0 : -1;
}

extern "C" int WritePacketTsNoAck(ENGINE_RECORD *record, const uint8_t *bytes, int length) {
    if (record == nullptr || bytes == nullptr || length < 1) return -1;
    return handshake_write(record, bytes, length, false) ? 0 : -1;
}

extern "C" int ReadPacket(ENGINE_RECORD *record, uint8_t *buffer, int capacity, int timeout_ms, int gaps) {
    if (record == nullptr || buffer == nullptr || record->common == nullptr || capacity < 1) return -1;
    int count = serial_read(record->DriverChannel, buffer, capacity, timeout_ms);
    if (count < 1) return 0;
    if (SCAN_EVENT_CALLBACK cb = common_callback(record->common)) {
        rt_log(LOG_LEVEL_DETAIL, "SCN_EVENT_BEEP ==============================");
        cb(SCN_EVENT_BEEP, nullptr, 0);
    }
    return read_until_silent(record->DriverChannel, buffer, count, capacity, timeout_ms, gaps <= 0 ? kReadGaps : gaps);
}

extern "C" int ReadPacketClearSerial(ENGINE_RECORD *record, int timeout_ms) {
    if (record == nullptr || record->common == nullptr) return -1;
    uint8_t buf[PACKET_REPLY_SIZE];
    int total = serial_read(record->DriverChannel, buf, sizeof buf, timeout_ms);
    if (total < 1) return 0;
    const int64_t gap_us = static_cast<int64_t>(getBaydrateDelay()) * 1000;
    int64_t mark = now_us();
    for (int silences = 0; silences < kClearSilences;) {
        int n = serial_read(record->DriverChannel, buf, sizeof buf, getBaydrateDelay());
        int64_t now = now_us();
        if (n > 0) {
            total += n;
            mark = now;
            silences = 0;
        } else if (now - mark > gap_us) {
            ++silences;
            mark = now;
        }
    }
    return total;
}

extern "C" int PacketListInit(void) {
    pthread_mutex_lock(&g_queue.lock);
    for (PACKET_SLOT &slot : g_queue.slots) common_store(slot.used, 0);
    pthread_mutex_unlock(&g_queue.lock);
    return 0;
}

extern "C" int PacketListPush(const uint8_t *bytes, int length) {
    // A longer packet would be queued cut short: a broken command.
    if (bytes == nullptr || length < 1 || length > PACKET_SLOT_DATA) {
        rt_log(LOG_LEVEL_DETAIL, "PacketListPush Error [%d]", length);
        return -1;
    }
    pthread_mutex_lock(&g_queue.lock);
    for (int i = 0; i < PACKET_SLOT_COUNT; ++i) {
        PACKET_SLOT &slot = g_queue.slots[i];
        if (common_load(slot.used) != 0) continue;
        memset(slot.data, 0, sizeof slot.data);
        memcpy(slot.data, bytes, static_cast<size_t>(length));
        g_queue.sequence = g_queue.sequence >= kSequenceMax ? 0 : g_queue.sequence + 1;
        slot.id = g_queue.sequence;
        slot.reserved = 0;
        slot.length = static_cast<uint32_t>(length);
        common_store(slot.used, 1);
        rt_log(LOG_LEVEL_DETAIL, "Push Id [%d]", i);
        break;
    }
    pthread_mutex_unlock(&g_queue.lock);
    return 0;
}

extern "C" PACKET_SLOT *PacketListPull(void) {
    PACKET_SLOT *found = nullptr;
    pthread_mutex_lock(&g_queue.lock);
    for (PACKET_SLOT &slot : g_queue.slots) {
        if (common_load(slot.used) != 0) {
            found = &slot;
            break;
        }
    }
    pthread_mutex_unlock(&g_queue.lock);
    return found;
}
