// Firmware upgrades: the shared progress reporter, the serial engines' firmware file,
// camera engines over their I2C upgrade registers and GT51X0 serial engines over their
// UART (command frames, then 512-byte data frames, each protected by CRC-32).
#include <inttypes.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

#include "common_atomic.h"
#include "plat.h"
#include "readercore.h"
#include "rt_log.h"
#include "runtime_internal.h"

namespace {

// ---- CRC-32 (reflected 0xEDB88320, as zlib computes it) ----

struct CrcTable {
    uint32_t v[256];
};

constexpr CrcTable make_crc_table() {
    CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t.v[i] = c;
    }
    return t;
}

static constexpr CrcTable kCrc = make_crc_table();
static_assert(kCrc.v[1] == 0x77073096u && kCrc.v[255] == 0x2D02EF8Du, "CRC-32 table");

// ---- Shared upgrade state ----

constexpr uint8_t kDefaultAddress = 0x12;

std::atomic<uint8_t> g_address{kDefaultAddress};
std::atomic<UPGRADE_REG_WRITE> g_write{nullptr};
std::atomic<UPGRADE_REG_READ> g_read{nullptr};
std::atomic<UPGRADE_PROGRESS_PROC> g_progress{nullptr};
std::atomic<int> g_last_progress{0};
// The engine a serial upgrade holds, from its start to its end (power cycles included).
std::atomic<const ENGINE_RECORD *> g_held{nullptr};

// ---- Firmware file header (little-endian, by offset) ----

constexpr uint32_t kTextField = 32;
constexpr uint32_t kConfMsgField = 2048;

struct HeaderPart {
    const char *name;
    uint32_t flag_at, size_at, offset_at;
    int bit;
};
static constexpr HeaderPart kHeaderParts[] = {
    {"boot", 0x00C, 0x010, 0x014, 1},
    {"kernel", 0x05C, 0x060, 0x064, 2},
    {"config", 0x0CC, 0x0D4, 0x0D8, 4},
};
static_assert(0x0DC + kConfMsgField == UPGRADE_FILE_HEADER_SIZE, "header layout");

uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void put_be32(uint8_t *out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v >> 24);
    out[1] = static_cast<uint8_t>(v >> 16);
    out[2] = static_cast<uint8_t>(v >> 8);
    out[3] = static_cast<uint8_t>(v);
}

const char kHeaderBanner[] = "*****************************************************************";
static_assert(sizeof kHeaderBanner == 66, "65 stars");

// A text field has no promised terminator: never read past its width.
void log_text_field(const char *format_name, const uint8_t *field, uint32_t width) {
    rt_log(LOG_LEVEL_DETAIL, "%s[%.*s]", format_name, static_cast<int>(strnlen(reinterpret_cast<const char *>(field), width)),
           reinterpret_cast<const char *>(field));
}

void log_header(const uint8_t *h) {
    rt_log(LOG_LEVEL_DETAIL, "%s", kHeaderBanner);
    rt_log(LOG_LEVEL_DETAIL, "dwFileType    [%x]", le32(h + 0x000));
    rt_log(LOG_LEVEL_DETAIL, "bBootInc      [%d]", static_cast<int>(le32(h + 0x00C)));
    rt_log(LOG_LEVEL_DETAIL, "dwBootSize    [%d]", static_cast<int>(le32(h + 0x010)));
    rt_log(LOG_LEVEL_DETAIL, "dwBootOffset  [%d]", static_cast<int>(le32(h + 0x014)));
    log_text_field("byBootVer     ", h + 0x01C, kTextField);
    log_text_field("byBootHWVer   ", h + 0x03C, kTextField);
    rt_log(LOG_LEVEL_DETAIL, "bKrnlInc      [%d]", static_cast<int>(le32(h + 0x05C)));
    rt_log(LOG_LEVEL_DETAIL, "dwKrnlSize    [%d]", static_cast<int>(le32(h + 0x060)));
    rt_log(LOG_LEVEL_DETAIL, "dwKrnlOffset  [%d]", static_cast<int>(le32(h + 0x064)));
    log_text_field("byKrnlHWVer   ", h + 0x06C, kTextField);
    log_text_field("byKrnlFWVer   ", h + 0x08C, kTextField);
    log_text_field("byKrnlDDVer   ", h + 0x0AC, kTextField);
    rt_log(LOG_LEVEL_DETAIL, "bConfInc      [%d]", static_cast<int>(le32(h + 0x0CC)));
    rt_log(LOG_LEVEL_DETAIL, "dwConfSize    [%d]", static_cast<int>(le32(h + 0x0D4)));
    rt_log(LOG_LEVEL_DETAIL, "dwConfOffset  [%d]", static_cast<int>(le32(h + 0x0D8)));
    log_text_field("byConfMsg     ", h + 0x0DC, kConfMsgField);
}

// ---- I2C upgrade ----

constexpr int kBlockSize = 512;
constexpr int kSetupWaitMs = 50;
constexpr int kBlockWaitMs = 100;
constexpr int kBlockAttempts = 10;
constexpr uint8_t kStatusBusy = 1;
constexpr uint8_t kStatusError = 2;
enum : int {
    kRegMode = 0x10,
    kRegLength = 0x11,
    kRegBlocks = 0x12,
    kRegStart = 0x13,
    kRegStatus = 0x14,
    kRegBlockNo = 0x15,
    kRegCheck = 0x16,
    kRegData = 0x17,
    kRegReset = 0x18,
};

const char *type_name(int type) {
    switch (type) {
    case UPGRADE_TYPE_NONE: return "UPGRADE_TYPE_NONE";
    case UPGRADE_TYPE_BOOT: return "UPGRADE_TYPE_BOOT";
    case UPGRADE_TYPE_KERNEL: return "UPGRADE_TYPE_KERNEL";
    case UPGRADE_TYPE_CONFIG: return "UPGRADE_TYPE_CONFIG";
    default: return "UPGRADE_TYPE_UNKNOW";
    }
}

struct RegAccess {
    uint8_t address;
    UPGRADE_REG_WRITE write;
    UPGRADE_REG_READ read;

    bool put(int reg, const uint8_t *bytes, int count) const { return write(address, reg, bytes, count) == count; }
    bool put_be32(int reg, uint32_t v) const {
        uint8_t b[4];
        ::put_be32(b, v);
        return put(reg, b, 4);
    }
    bool status(uint8_t *out) const { return read(address, kRegStatus, out, 1) == 1; }
};

// The engine's status: false, with its message, when unreadable or 2 (the engine's error).
bool status_ok(const RegAccess &regs, const char *error_message, uint8_t *status) {
    if (!regs.status(status)) {
        rt_log(LOG_LEVEL_DETAIL, "Error 0x14");
        return false;
    }
    if (*status == kStatusError) {
        rt_log(LOG_LEVEL_DETAIL, "%s", error_message);
        return false;
    }
    return true;
}

// One block: written on even attempts, polled after each; status 2 is the
// engine refusing the block, not an acceptance.
int send_block(const RegAccess &regs, const uint8_t *block) {
    for (int a = 0; a < kBlockAttempts; ++a) {
        if (a % 2 == 0 && !regs.put(kRegData, block, kBlockSize)) {
            rt_log(LOG_LEVEL_DETAIL, "Write I2c Error");
            return -1;
        }
        plat_sleep_ms(kBlockWaitMs);
        uint8_t status = 0;
        if (!status_ok(regs, "Error 0x14 0x02", &status)) return -1;
        if (status != kStatusBusy) return 0;
    }
    return -1;
}

// ---- GT51X0 serial upgrade ----

constexpr int kFrameSize = 512;
constexpr int kDataFrameBytes = kFrameSize + 5;
constexpr int kCmdTextMax = 64;
constexpr int kReplyTextSize = 512;
constexpr int kCommandWaitMs = 500;
constexpr int kFrameWaitMs = 100;
constexpr int kRetryWaitMs = 100;
constexpr int kFrameGapMs = 5;
constexpr int kPowerWaitMs = 500;
constexpr int kProbeTries = 20;
constexpr int kFrameAttempts = 50;
constexpr int kForceProbes = 5000;
constexpr int kSlowSpeed = 9600;
constexpr int kFastSpeed = 115200;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kProbe = '?';
constexpr uint8_t kReady = '<';
constexpr uint8_t kFrameAck = '*';
static constexpr uint8_t kEnterCommand[] = {0x7E, 0x00, 0x00, 0x08, 0x7E, 0x75, 0x70,
                                            0x44, 0x61, 0x74, 0x65, 0x7E, 0xC6};
static_assert(sizeof kEnterCommand == 13, "enter-upgrade command");

constexpr bool enter_check_ok() {
    uint8_t x = 0;
    for (int i = 2; i < 12; ++i) x ^= kEnterCommand[i];
    return static_cast<uint8_t>(~x) == kEnterCommand[12];
}
static_assert(enter_check_ok(), "enter-upgrade check byte");

const char kPartBanner[] = "******************************************************";
static_assert(sizeof kPartBanner == 55, "54 stars");

struct Exchange {
    ENGINE_RECORD *record;
    uint8_t reply[PACKET_REPLY_SIZE];
    int got = 0;

    // The frame out and the reply in: the reply length (0 none, -1 write failed).
    int send(const uint8_t *frame, int length, int wait_ms) {
        got = WritePacketDirect(record, frame, length, reply, wait_ms, -1);
        return got;
    }
    bool begins(uint8_t b) const { return got > 0 && reply[0] == b; }
    int command(const char *text, int wait_ms) {
        uint8_t frame[kCmdTextMax + 8];
        int n = GT51X0_Upgrade_PackCmd(text, static_cast<int>(strnlen(text, kCmdTextMax)), frame);
        if (n == 0) return got = 0;
        return send(frame, n, wait_ms);
    }
    // A reply's text sits between four header and four trailing bytes; a reply shorter
    // than eight bytes has none. out: kReplyTextSize bytes, always terminated.
    void text(char *out) const {
        memset(out, 0, kReplyTextSize);
        int n = got - 8;
        if (n <= 0) return;
        if (n > kReplyTextSize - 1) n = kReplyTextSize - 1;
        memcpy(out, reply + 4, static_cast<size_t>(n));
    }
    void dump(const char *title) const { LogPrintHex(title, reply, got > 0 ? got : 0); }
};

void store_locked(ENGINE_RECORD *record, int32_t v) {
    std::atomic_ref<int32_t>(record->powerLocked).store(v, std::memory_order_release);
}

int part_fail(ENGINE_RECORD *record, const char *message) {
    if (message != nullptr) rt_log(LOG_LEVEL_DETAIL, "%s", message);
    serial_speed(record->DriverChannel, kFastSpeed);
    return -1;
}

// Into the upgrade mode, to 115200, versions and announcements. nullptr
// when the part may be sent, else the message it ends with.
const char *prepare_part(Exchange &x, int type, uint32_t length, uint32_t frames, int oper) {
    ENGINE_RECORD *record = x.record;
    if (oper == UPGRADE_FORCE) {
        serial_speed(record->DriverChannel, kSlowSpeed);
        control_power_oper(record->PowerChannel, 0);
        plat_sleep_ms(kPowerWaitMs);
        control_power_oper(record->PowerChannel, 1);
        for (int i = 0; i < kForceProbes; ++i) serial_write(record->DriverChannel, &kProbe, 1);
        rt_log(LOG_LEVEL_DETAIL, "UPGRADE_FORCE End");
    } else {
        x.send(kEnterCommand, sizeof kEnterCommand, kCommandWaitMs);
        if (!x.begins(kAck)) return "Error 1";
    }

    serial_speed(record->DriverChannel, kSlowSpeed);
    bool ready = false;
    for (int i = 0; i < kProbeTries && !ready; ++i) {
        x.send(&kProbe, 1, kCommandWaitMs);
        plat_sleep_ms(kRetryWaitMs);
        ready = x.begins(kReady);
    }
    if (!ready) return "Error 2";

    char text[kReplyTextSize];
    x.command("#COMM:115200,8,0,1,", kCommandWaitMs);
    x.text(text);
    if (text[0] != '0') return "Error 3";

    serial_speed(record->DriverChannel, kFastSpeed);
    for (int i = 0; i < kProbeTries; ++i) {
        x.send(&kFrameAck, 1, kCommandWaitMs);
        plat_sleep_ms(kRetryWaitMs);
        if (x.begins(kFrameAck)) break;
    }
    serial_clear(record->DriverChannel);

    static constexpr struct {
        const char *command, *format;
    } kVersions[] = {{"?OSVer", "OSVer [%s]"}, {"?BootVer", "BootVer [%s]"}, {"?HardVer", "HardwareVer [%s]"}};
    for (const auto &v : kVersions) {
        x.command(v.command, kCommandWaitMs);
        x.text(text);
        rt_log(LOG_LEVEL_DETAIL, v.format, text);
    }

    char command[kCmdTextMax];
    const struct {
        const char *prefix;
        uint32_t value;
        const char *title;
    } announcements[] = {{"!DataLens:", length, "Datalen Ack"},
                         {"!FrameSize:", static_cast<uint32_t>(kFrameSize), "FrameSize Ack"},
                         {"!Frames:", frames, "Frame Ack"}};
    for (const auto &a : announcements) {
        snprintf(command, sizeof command, "%s%d", a.prefix, static_cast<int>(a.value));
        x.command(command, kCommandWaitMs);
        x.dump(a.title);
    }

    if (type == UPGRADE_TYPE_KERNEL) {
        x.command("!FileType:kern", kCommandWaitMs);
    } else if (type == UPGRADE_TYPE_CONFIG) {
        x.command("!FileType:flah", kCommandWaitMs);
    } else {
        return "Error 4";
    }
    x.dump("Type Ack");
    x.command(">Start", kCommandWaitMs);
    x.dump("Start Ack");
    return nullptr;
}

// The frames: every one but the last must be acknowledged; the last is sent once (the
// engine may take the image without acknowledging it).
int send_frames(Exchange &x, const uint8_t *part, uint32_t length, uint32_t frames) {
    uint8_t payload[kFrameSize];
    uint8_t frame[kDataFrameBytes];
    for (uint32_t i = 0; i < frames; ++i) {
        const uint32_t at = i * static_cast<uint32_t>(kFrameSize);
        const uint32_t n = length - at < static_cast<uint32_t>(kFrameSize) ? length - at : kFrameSize;
        memset(payload, 0, sizeof payload);
        memcpy(payload, part + at, n);
        GT51X0_Upgrade_PackData(payload, kFrameSize, frame);
        const int p = static_cast<int>(100ull * i / frames);
        if (i + 1 == frames) {
            x.send(frame, kDataFrameBytes, kFrameWaitMs);
            upgrade_report_progress(p);
            if (!x.begins(kFrameAck)) upgrade_report_progress(100);
        } else {
            bool acknowledged = false;
            for (int a = 0; a < kFrameAttempts && !acknowledged; ++a) {
                x.send(frame, kDataFrameBytes, kFrameWaitMs);
                upgrade_report_progress(p);
                acknowledged = x.begins(kFrameAck);
                if (!acknowledged) {
                    rt_log(LOG_LEVEL_DETAIL, "Send Again Frame ========================== [%d]", static_cast<int>(i));
                    plat_sleep_ms(kRetryWaitMs);
                }
            }
            // The engine lacks this frame: what follows would not make its image.
            if (!acknowledged) return -1;
        }
        plat_sleep_ms(kFrameGapMs);
    }
    return 0;
}

void power_cycle(ENGINE_RECORD *record) {
    store_locked(record, 0);
    control_power(record, 0);
    plat_sleep_ms(kPowerWaitMs);
    control_power(record, 1);
    plat_sleep_ms(kPowerWaitMs);
    store_locked(record, 1);
}

// Claims the engine for a serial upgrade unless its decode cycle runs; a start reads the
// claim under the same lock.
bool claim_engine(ENGINE_RECORD *record) {
    COMMON_STATE *cs = record->common;
    if (cs != nullptr) pthread_mutex_lock(&cs->mLock);
    bool decoding = cs != nullptr && common_load(cs->mState) == COMMON_STATE_DECODING;
    const ENGINE_RECORD *none = nullptr;
    bool claimed = !decoding && g_held.compare_exchange_strong(none, record);
    if (cs != nullptr) pthread_mutex_unlock(&cs->mLock);
    return claimed;
}

}  // namespace

bool upgrade_holds(const ENGINE_RECORD *record) {
    return record != nullptr &&
           (std::atomic_ref<int32_t>(const_cast<int32_t &>(record->powerLocked)).load(std::memory_order_acquire) == 1 ||
            g_held.load() == record);
}

void upgrade_test_reset() {
    g_address.store(kDefaultAddress);
    g_write.store(nullptr);
    g_read.store(nullptr);
    g_progress.store(nullptr);
    g_last_progress.store(0);
    g_held.store(nullptr);
}

extern "C" uint32_t upgrade_crc32(const uint8_t *bytes, uint32_t n) {
    uint32_t c = 0xFFFFFFFFu;
    if (bytes != nullptr)
        for (uint32_t i = 0; i < n; ++i) c = kCrc.v[(c ^ bytes[i]) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

extern "C" void Upgrade_Init(uint8_t address, UPGRADE_REG_WRITE write_register, UPGRADE_REG_READ read_register,
                             UPGRADE_PROGRESS_PROC progress) {
    g_address.store(address);
    g_write.store(write_register);
    g_read.store(read_register);
    g_progress.store(progress);
}

extern "C" void GT51X0_Upgrade_Init(UPGRADE_PROGRESS_PROC progress) { g_progress.store(progress); }

extern "C" void upgrade_report_progress(int percent) {
    if (UPGRADE_PROGRESS_PROC proc = g_progress.load()) {
        proc(percent);
        return;
    }
    if (g_last_progress.exchange(percent) == percent) return;
    rt_log(LOG_LEVEL_DETAIL, "Upgrade Running [%d]", percent);
    uint32_t value = static_cast<uint32_t>(percent);
    zpt_net_direct_send(SERVICE_CMD_UPGRADE_PROGRESS, &value, sizeof value);
}

extern "C" int upgrade_parse_header(const uint8_t **boot_data, uint32_t *boot_size, const uint8_t **kernel_data,
                                    uint32_t *kernel_size, const uint8_t **config_data, uint32_t *config_size,
                                    const uint8_t *file, uint32_t file_length) {
    if (boot_data == nullptr || boot_size == nullptr || kernel_data == nullptr || kernel_size == nullptr ||
        config_data == nullptr || config_size == nullptr || file == nullptr || file_length < UPGRADE_FILE_HEADER_SIZE)
        return 0;
    uint8_t header[UPGRADE_FILE_HEADER_SIZE];
    memcpy(header, file, sizeof header);
    log_header(header);

    // Every flagged part must lie inside the file before any output is written.
    int parts = 0;
    for (const HeaderPart &p : kHeaderParts) {
        if (le32(header + p.flag_at) == 0) continue;
        const uint32_t size = le32(header + p.size_at);
        const uint32_t offset = le32(header + p.offset_at);
        if (static_cast<uint64_t>(offset) + size > file_length) {
            rt_log(LOG_LEVEL_DETAIL, "Part [%s] Offset [%" PRIu32 "] Size [%" PRIu32 "] past the file [%" PRIu32 "]",
                   p.name, offset, size, file_length);
            return 0;
        }
        parts |= p.bit;
    }
    const uint8_t **data[] = {boot_data, kernel_data, config_data};
    uint32_t *sizes[] = {boot_size, kernel_size, config_size};
    for (int i = 0; i < 3; ++i) {
        const HeaderPart &p = kHeaderParts[i];
        if ((parts & p.bit) == 0) continue;
        *data[i] = file + le32(header + p.offset_at);
        *sizes[i] = le32(header + p.size_at);
    }
    rt_log(LOG_LEVEL_DETAIL, "DownLload Type [%x]", parts);
    rt_log(LOG_LEVEL_DETAIL, "%s", kHeaderBanner);
    return parts;
}

extern "C" int Upgrade_Running(int type, const uint8_t *data, uint32_t length) {
    const RegAccess regs{g_address.load(), g_write.load(), g_read.load()};
    if (length == 0 || data == nullptr || regs.write == nullptr || regs.read == nullptr) return -1;
    rt_log(LOG_LEVEL_DETAIL, "%s", type_name(type));
    uint8_t mode = 0;
    if (type == UPGRADE_TYPE_KERNEL) {
        mode = 0;
    } else if (type == UPGRADE_TYPE_CONFIG) {
        mode = 3;
    } else {
        return -1;
    }
    const uint8_t zero = 0;
    static constexpr uint8_t kStart[] = {0x02, 0x00};
    const uint32_t blocks = static_cast<uint32_t>((static_cast<uint64_t>(length) + kBlockSize - 1) / kBlockSize);

    if (!regs.put(kRegMode, &mode, 1)) return -1;
    plat_sleep_ms(kSetupWaitMs);
    if (!regs.put(kRegReset, &zero, 1)) return -1;
    if (!regs.put_be32(kRegLength, length)) return -1;
    plat_sleep_ms(kSetupWaitMs);
    if (!regs.put_be32(kRegBlocks, blocks)) return -1;
    plat_sleep_ms(kSetupWaitMs);
    if (!regs.put(kRegStart, kStart, sizeof kStart)) return -1;
    plat_sleep_ms(kSetupWaitMs);
    uint8_t status = 0;
    if (!status_ok(regs, "Error 0x14 0x02 [0x14]", &status)) return -1;

    uint8_t block[kBlockSize];
    for (uint32_t n = 1; n <= blocks; ++n) {
        upgrade_report_progress(static_cast<int>(100ull * (n - 1) / blocks));
        rt_log(LOG_LEVEL_DETAIL, "Now [%d] All [%d]", static_cast<int>(n), static_cast<int>(blocks));
        const uint32_t at = (n - 1) * static_cast<uint32_t>(kBlockSize);
        const uint32_t count = length - at < static_cast<uint32_t>(kBlockSize) ? length - at : kBlockSize;
        memset(block, 0, sizeof block);
        memcpy(block, data + at, count);
        uint8_t check = 0;
        for (uint32_t i = 0; i < count; ++i) check ^= block[i];
        check = static_cast<uint8_t>(~check);

        if (!regs.put_be32(kRegBlockNo, n)) return -1;
        plat_sleep_ms(kBlockWaitMs);
        if (!regs.put(kRegCheck, &check, 1)) return -1;
        plat_sleep_ms(kBlockWaitMs);
        if (!status_ok(regs, "Error 0x14 0x02", &status)) return -1;
        plat_sleep_ms(kBlockWaitMs);
        if (send_block(regs, block) != 0) return -1;
        plat_sleep_ms(kBlockWaitMs);
    }
    return 0;
}

extern "C" int GT51X0_Upgrade_PackCmd(const char *text, int n, uint8_t *out) {
    if (text == nullptr || out == nullptr || n < 1 || n > 0xFFFF) return 0;
    out[0] = 0x02;
    out[1] = 0x05;
    out[2] = static_cast<uint8_t>(n >> 8);
    out[3] = static_cast<uint8_t>(n);
    memcpy(out + 4, text, static_cast<size_t>(n));
    put_be32(out + 4 + n, upgrade_crc32(out, static_cast<uint32_t>(n) + 4));
    return n + 8;
}

extern "C" int GT51X0_Upgrade_PackData(const uint8_t *data, int n, uint8_t *out) {
    if (data == nullptr || out == nullptr || n < 1) return 0;
    out[0] = 0x02;
    memcpy(out + 1, data, static_cast<size_t>(n));
    put_be32(out + 1 + n, upgrade_crc32(out, static_cast<uint32_t>(n) + 1));
    return n + 5;
}

extern "C" int gt51x0_upgrade_part(int type, ENGINE_RECORD *record, const uint8_t *part, uint32_t part_length,
                                   int oper) {
    if (record == nullptr) return -1;
    if (part_length == 0 || part == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "Data NULL [%d]", static_cast<int>(part_length));
        return -1;
    }
    const uint32_t frames =
        static_cast<uint32_t>((static_cast<uint64_t>(part_length) + kFrameSize - 1) / kFrameSize);
    rt_log(LOG_LEVEL_DETAIL, "%s", kPartBanner);
    rt_log(LOG_LEVEL_DETAIL, "FirmwareOper [%d]", oper);
    rt_log(LOG_LEVEL_DETAIL, "DataLen      [%d]", static_cast<int>(part_length));
    rt_log(LOG_LEVEL_DETAIL, "FrameSize    [%d]", kFrameSize);
    rt_log(LOG_LEVEL_DETAIL, "Frame        [%d]", static_cast<int>(frames));
    rt_log(LOG_LEVEL_DETAIL, "Type         [%x]", type);
    rt_log(LOG_LEVEL_DETAIL, "DriverChannel[%x]", record->DriverChannel);
    rt_log(LOG_LEVEL_DETAIL, "PowerChannel [%x]", record->PowerChannel);
    rt_log(LOG_LEVEL_DETAIL, "%s", kPartBanner);

    Exchange x{record, {}, 0};
    if (const char *message = prepare_part(x, type, part_length, frames, oper)) return part_fail(record, message);
    if (send_frames(x, part, part_length, frames) != 0) return part_fail(record, nullptr);
    upgrade_report_progress(100);
    serial_speed(record->DriverChannel, kFastSpeed);
    return 0;
}

extern "C" int GT51X0_Upgrade_Running(ENGINE_RECORD *record, const uint8_t *file, uint32_t length, int oper) {
    if (record == nullptr || file == nullptr || length == 0) return -1;
    // One exchange at a time on the engine's UART: a running cycle would read the
    // engine's acknowledgements away.
    if (!claim_engine(record)) {
        rt_log(LOG_LEVEL_DETAIL, "GT51X0_Upgrade_Running refused: the engine is busy");
        return -1;
    }
    const uint8_t *data[3] = {};
    uint32_t sizes[3] = {};
    const int parts = upgrade_parse_header(&data[0], &sizes[0], &data[1], &sizes[1], &data[2], &sizes[2], file, length);
    common_scanner_open(record);
    store_locked(record, 1);

    static constexpr int kTypes[3] = {UPGRADE_TYPE_BOOT, UPGRADE_TYPE_KERNEL, UPGRADE_TYPE_CONFIG};
    bool attempted = false, main_part = false, main_failed = false;
    int last = -1;
    for (int i = 0; i < 3; ++i) {
        if ((parts & kTypes[i]) == 0) continue;
        if (attempted && last == 0) power_cycle(record);
        last = gt51x0_upgrade_part(kTypes[i], record, data[i], sizes[i], oper);
        attempted = true;
        if (kTypes[i] != UPGRADE_TYPE_BOOT) {
            main_part = true;
            if (last != 0) main_failed = true;
        }
    }
    // The file fails when a kernel or configuration part failed; a boot part alone
    // can never succeed over this transfer.
    int result = -1;
    if (main_part) result = main_failed ? -1 : 0;
    store_locked(record, 0);
    g_held.store(nullptr);
    return result;
}
