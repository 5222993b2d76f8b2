// The service socket: a server link of the message link library, loaded by file name, on
// which the maintenance client sends its commands and the stack sends its reports.
#include <dlfcn.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "hwports.h"
#include "plat.h"
#include "readercore.h"
#include "rt_log.h"
#include "scanner_service.h"

// The link library's message record as its handlers get it (its header is not included:
// it has names of its own that this library exports too).
struct LINK_CHUNK {
    LINK_CHUNK *next;
    int32_t length;
    uint8_t *data; /* 16-byte header, then the payload */
};

namespace {

struct LINK_CONTEXT;
using link_request_handler = int (*)(LINK_CHUNK *);
using link_reply_handler = void (*)(LINK_CHUNK *, LINK_SEND_NODE *);
constexpr uint32_t LINK_HEADER_SIZE = 16;
constexpr int SOCKET_KIND_SERVER = 1;

constexpr const char *kLinkLibrary = "libzptutils.so";
constexpr const char *kSocketName = "com.corvane.brevik.jnisocket";
constexpr uint32_t kImageBufferSize = 6000000;
constexpr uint32_t kI2cDataMax = 32;
constexpr uint32_t kSerialDataMax = 2048;
constexpr int kMessageType = 2;

// The answer of GetInfo and GetDisplay.
struct EngineInfo {
    char name[16];
    uint8_t scan_type;
    uint8_t zero[3];
    uint32_t width;
    uint32_t height;
};
static_assert(sizeof(EngineInfo) == 28 && offsetof(EngineInfo, scan_type) == 16 && offsetof(EngineInfo, width) == 20,
              "engine info is 28 bytes on the wire");

// The request of I2CRead and I2CWrite, and the answer of I2CRead.
struct I2cRecord {
    uint8_t flags;
    uint8_t slave;
    uint8_t zero[2];
    uint32_t reg;
    uint32_t length;
    uint8_t data[kI2cDataMax];
};
static_assert(sizeof(I2cRecord) == 44 && offsetof(I2cRecord, reg) == 4 && offsetof(I2cRecord, data) == 12,
              "I2C record is 44 bytes on the wire");

// The head of the serial commands' requests; COMWrite's data follows it.
struct SerialHead {
    uint32_t channel;
    uint32_t length;
    uint32_t timeout;
    uint32_t speed;
};
static_assert(sizeof(SerialHead) == 16, "serial record head is 16 bytes on the wire");

constexpr uint32_t kDecodeHead = 16;
constexpr uint32_t kUpgradeHead = 12;
constexpr uint32_t kSwitchPayload = 12;
constexpr uint32_t kChangeEnginePayload = 24;
constexpr uint32_t kChangeEngineName = 20;

using StartComm = LINK_CONTEXT *(*)(int, const char *);
using SetReceive = int (*)(LINK_CONTEXT *, uint32_t, link_request_handler, link_reply_handler);
using SendCommand = int (*)(LINK_CONTEXT *, uint16_t, const void *, int32_t, int32_t, uint8_t *, uint8_t **,
                            uint32_t *);
using SendEcho = void (*)(LINK_CONTEXT *, LINK_CHUNK *, uint8_t, const void *, int32_t);
using DirectSend = uint32_t (*)(LINK_CONTEXT *, uint16_t, const void *, int32_t);
using NetSend = uint32_t (*)(LINK_CONTEXT *, uint16_t, const void *, int32_t, int32_t, int32_t);
using StopComm = void (*)(LINK_CONTEXT *);

struct LinkFns {
    StartComm start_comm;
    SetReceive set_recivedata_func;
    SendCommand send_command;
    SendEcho send_echo_packet;
    DirectSend net_direct_send;
    NetSend net_send;
    StopComm stop_comm;
};

// Lifecycle under lock. The senders borrow the link under the lock and give it back after
// the send; a stop first takes the link away, waits for the borrowers, and only then stops
// it, so that no send races with the link's release.
struct NetState {
    std::mutex lock;
    std::condition_variable idle;
    int borrowers = 0;
    void *library = nullptr;
    LINK_CONTEXT *link = nullptr;
    LinkFns fns{};
    std::atomic<DEVICE_OBJECT *> device{nullptr};
    uint8_t *image = nullptr;
    IMAGE_REQUEST request{};
};

NetState g_net;

// A borrowed link and its functions: empty while none runs.
class LinkUse {
public:
    LinkUse() {
        std::lock_guard<std::mutex> guard(g_net.lock);
        if (g_net.link == nullptr) return;
        link_ = g_net.link;
        fns_ = g_net.fns;
        ++g_net.borrowers;
    }
    ~LinkUse() {
        if (link_ == nullptr) return;
        std::lock_guard<std::mutex> guard(g_net.lock);
        if (--g_net.borrowers == 0) g_net.idle.notify_all();
    }
    LinkUse(const LinkUse &) = delete;
    LinkUse &operator=(const LinkUse &) = delete;
    LINK_CONTEXT *link() const { return link_; }
    const LinkFns &fns() const { return fns_; }

private:
    LINK_CONTEXT *link_ = nullptr;
    LinkFns fns_{};
};

template <typename T>
T bind(void *library, const char *name) {
    return reinterpret_cast<T>(dlsym(library, name));
}

uint32_t read_u32(const uint8_t *bytes) {
    uint32_t value;
    memcpy(&value, bytes, sizeof value);
    return value;
}

ENGINE_RECORD *current_engine(DEVICE_OBJECT *device) {
    if (device == nullptr) return nullptr;
    return std::atomic_ref<ENGINE_RECORD *>(device->current).load(std::memory_order_acquire);
}

// The command's own request fields.
struct Command {
    LINK_CHUNK *request;
    uint32_t word;
    const uint8_t *payload;
    uint32_t length;
    DEVICE_OBJECT *device;
    ENGINE_RECORD *engine;
};

void answer(const Command &c, uint8_t status, const void *payload = nullptr, int length = 0) {
    zpt_send_echo_packet(c.request, status, payload, length);
}

// A request refused for its lengths or its state: one line, then status 1.
void refuse(const Command &c, uint32_t a, uint32_t b) {
    rt_log(LOG_LEVEL_DETAIL, "%s refused [%x] [%u] [%u]", "zpt_net_distribute", c.word, a, b);
    answer(c, 1);
}

// The engine's control, or NULL (answered with status 1) when there is none.
SCANNER_IOCTRL_PROC engine_control(const Command &c) {
    if (c.engine == nullptr || c.engine->scanner_ioctrl == nullptr) {
        refuse(c, c.length, 0);
        return nullptr;
    }
    return c.engine->scanner_ioctrl;
}

void answer_result(const Command &c, int result) { answer(c, result == 0 ? 0 : 1); }

void engine_info(const Command &c, bool display) {
    if (c.engine == nullptr) {
        refuse(c, c.length, 0);
        return;
    }
    EngineInfo info{};
    const char *name = display ? c.engine->display : c.engine->name;
    strncpy(info.name, name, sizeof info.name - 1);
    info.scan_type = static_cast<uint8_t>(c.engine->Scantype);
    rt_log(LOG_LEVEL_DETAIL, "%s [%s] [%d]", display ? "zpt_net_get_display" : "zpt_net_get_sensor", info.name,
           c.engine->Scantype);
    // A driver may answer 0 without writing: the record starts at 0 x 0.
    SCANNER_FRAME_SIZE size{};
    if (c.engine->scanner_ioctrl != nullptr &&
        c.engine->scanner_ioctrl(c.engine, SCANNER_IOCTRL_GET_SIZE, 0, &size) == 0) {
        info.width = size.width;
        info.height = size.height;
    }
    answer(c, 0, &info, sizeof info);
}

// Controls with a u32 switch value: SaveBmp, SendBmp.
void switch_control(const Command &c, int code) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length < 4) return refuse(c, c.length, 4);
    answer_result(c, control(c.engine, code, static_cast<int>(read_u32(c.payload)), nullptr));
}

void debug_switch(const Command &c) {
    if (c.engine == nullptr) return refuse(c, c.length, 0);
    if (c.length < 4) return refuse(c, c.length, 4);
    c.engine->debugEnable = read_u32(c.payload);
    c.engine->debugSaveImage = 0;
    c.engine->debugSendImage = 0;
    answer(c, 0);
}

void decode_image(const Command &c) {
    if (g_net.image == nullptr) return;
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length < kDecodeHead) return refuse(c, c.length, kDecodeHead);
    uint32_t pixels = c.length - kDecodeHead;
    uint32_t width = read_u32(c.payload);
    uint32_t height = read_u32(c.payload + 4);
    if (pixels > kImageBufferSize) return refuse(c, pixels, kImageBufferSize);
    if (static_cast<uint64_t>(width) * height > pixels) return refuse(c, width, height);
    memcpy(g_net.image, c.payload + kDecodeHead, pixels);
    g_net.request.width = width;
    g_net.request.height = height;
    g_net.request.image = g_net.image;
    answer_result(c, control(c.engine, SCANNER_IOCTRL_DECODE_IMAGE, 0, &g_net.request));
}

void i2c_command(const Command &c, bool write) {
    if (c.engine == nullptr) return refuse(c, c.length, 0);
    if (c.length < sizeof(I2cRecord)) return refuse(c, c.length, sizeof(I2cRecord));
    I2cRecord record;
    memcpy(&record, c.payload, sizeof record);
    if (record.length > kI2cDataMax) return refuse(c, record.length, kI2cDataMax);
    int channel = c.engine->DriverChannel;
    int length = static_cast<int>(record.length);
    bool word = (record.flags & 0x02) != 0;
    if (write) {
        int done = word ? i2c_write_word(channel, record.slave, static_cast<int>(record.reg), record.data, length, 0, 1)
                        : i2c_write(channel, record.slave, static_cast<int>(record.reg), record.data, length, 0, 1);
        answer(c, done == length ? 0 : 1);
        return;
    }
    rt_log(LOG_LEVEL_DETAIL, "%s [%x] [%x] [%d]", "zpt_net_i2c_read", record.slave, record.reg, length);
    I2cRecord reply{};
    reply.slave = record.slave;
    reply.reg = record.reg;
    int done = word ? i2c_read_word(channel, record.slave, static_cast<int>(record.reg), reply.data, length, 0, 1)
                    : i2c_read(channel, record.slave, static_cast<int>(record.reg), reply.data, length, 0, 1);
    reply.length = done == length ? record.length : 0;
    LogPrintHex("zpt_net_i2c_read", reply.data, static_cast<int>(reply.length));
    if (reply.length != 0)
        answer(c, 0, &reply, sizeof reply);
    else
        answer(c, 1);
}

const char *const kStars52 = "****************************************************";

void upgrade(const Command &c) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length < kUpgradeHead) return refuse(c, c.length, kUpgradeHead);
    UPGRADE_REQUEST request{};
    request.FirmwareType = read_u32(c.payload);
    request.FirmwareOper = read_u32(c.payload + 4);
    request.len = read_u32(c.payload + 8);
    if (request.len > c.length - kUpgradeHead) return refuse(c, request.len, c.length - kUpgradeHead);
    rt_log(LOG_LEVEL_DETAIL, "%s", kStars52);
    rt_log(LOG_LEVEL_DETAIL, "Info.FirmwareType [%x]", request.FirmwareType);
    rt_log(LOG_LEVEL_DETAIL, "Info.FirmwareOper [%x]", request.FirmwareOper);
    rt_log(LOG_LEVEL_DETAIL, "Info.len [%d]", static_cast<int>(request.len));
    // len fits the message, so len + 1 cannot wrap.
    request.Buf = static_cast<uint8_t *>(calloc(static_cast<size_t>(request.len) + 1, 1));
    if (request.Buf == nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "%s", kStars52);
        answer(c, 1);
        return;
    }
    memcpy(request.Buf, c.payload + kUpgradeHead, request.len);
    // Only bytes of the firmware are shown, never beyond it.
    unsigned shown[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < 4 && i < request.len; ++i) shown[i] = request.Buf[i];
    rt_log(LOG_LEVEL_DETAIL, "Info.Buf [%x] [%x] [%x] [%x]", shown[0], shown[1], shown[2], shown[3]);
    rt_log(LOG_LEVEL_DETAIL, "%s", kStars52);
    answer_result(c, control(c.engine, SCANNER_IOCTRL_UPGRADE, 0, &request));
    free(request.Buf);
}

void upgrade_rom(const Command &c) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length < 4) return refuse(c, c.length, 4);
    UPGRADE_REQUEST request{};
    request.FirmwareType = 4;
    request.FirmwareOper = 0;
    request.len = read_u32(c.payload);
    if (request.len > c.length - 4) return refuse(c, request.len, c.length - 4);
    request.Buf = const_cast<uint8_t *>(c.payload + 4);
    int result = control(c.engine, SCANNER_IOCTRL_UPGRADE, 0, &request);
    rt_log(LOG_LEVEL_DETAIL, "%s", result == 0 ? "ECHO OK" : "ECHO ERROR");
    answer_result(c, result);
}

void port_switch(const Command &c, int kind) {
    if (c.length < kSwitchPayload) return refuse(c, c.length, kSwitchPayload);
    PORT_DEVICE *port = get_module_ops(kind, static_cast<int>(read_u32(c.payload)));
    if (port == nullptr || port->ioctrl == nullptr) return refuse(c, c.length, 0);
    int value = static_cast<int>(read_u32(c.payload + 8));
    answer_result(c, port->ioctrl(port, static_cast<int>(read_u32(c.payload + 4)), 0, &value));
}

void sync_settings(const Command &c) {
    DEVICE_OBJECT *device = c.device;
    ENGINE_RECORD *engine = c.engine;
    if (device == nullptr || engine == nullptr || engine->scanner_sync == nullptr) return;
    // Before ready the post-probe thread owns the engine's line and reads everything back.
    if (std::atomic_ref<uint32_t>(device->state).load(std::memory_order_acquire) != 1) {
        rt_log(LOG_LEVEL_DETAIL, "%s not ready [%x] [%u]", "zpt_net_distribute", c.word, c.length);
        return;
    }
    rt_log(LOG_LEVEL_DETAIL, "%s\n", "********************************************************");
    list_head *head = &device->codeGroups;
    for (list_head *n = head->next; n != head; n = n->next) {
        CODE_GROUP *group = reinterpret_cast<CODE_GROUP *>(reinterpret_cast<char *>(n) - offsetof(CODE_GROUP, node));
        rt_log(LOG_LEVEL_DETAIL, " %s \n", group->name);
        for (int i = 0; i < group->count; ++i) {
            CODE_PARAM *param = &group->entries[i];
            int32_t value = engine->scanner_sync(engine, group->name, param->name);
            std::atomic_ref<int32_t>(param->value).store(value, std::memory_order_relaxed);
            rt_log(LOG_LEVEL_DETAIL, "        %s [%d]\n", param->name, value);
        }
    }
    rt_log(LOG_LEVEL_DETAIL, "%s\n", "********************************************************");
    std::atomic_ref<uint32_t>(device->state).store(1, std::memory_order_release);
}

void change_engine(const Command &c) {
    DEVICE_OBJECT *device = c.device;
    if (c.length != kChangeEnginePayload) return refuse(c, c.length, kChangeEnginePayload);
    if (device == nullptr || device->change_engine == nullptr ||
        std::atomic_ref<uint32_t>(device->state).load(std::memory_order_acquire) != 1)
        return refuse(c, c.length, 0);
    char name[kChangeEngineName + 1] = {};
    memcpy(name, c.payload + 4, kChangeEngineName);
    answer_result(c, device->change_engine(device, name, static_cast<int>(read_u32(c.payload))));
}

void sensor_adjust(const Command &c) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length < 1) return refuse(c, c.length, 1);
    rt_log(LOG_LEVEL_OPER, "%s [%s] [%d]", "zpt_net_sensor_adjust", c.engine->name, c.payload[0]);
    answer_result(c, control(c.engine, SCANNER_IOCTRL_SENSOR_ADJUST, c.payload[0], nullptr));
}

// SetSensorSN, SetSensorData, SaveAdjust: exactly size bytes handed to the engine.
void store_control(const Command &c, int code, uint32_t size) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    if (c.length != size) return refuse(c, c.length, size);
    answer_result(c, control(c.engine, code, static_cast<int>(size), const_cast<uint8_t *>(c.payload)));
}

// GetSensorSN, GetSensorData: the engine may leave the buffer as it was.
void fetch_control(const Command &c, int code, uint32_t size) {
    SCANNER_IOCTRL_PROC control = engine_control(c);
    if (control == nullptr) return;
    uint8_t buffer[32] = {};
    if (control(c.engine, code, static_cast<int>(size), buffer) == 0)
        answer(c, 0, buffer, static_cast<int>(size));
    else
        answer(c, 1);
}

void serial_banner(const char *which) {
    rt_log(LOG_LEVEL_DETAIL, "*********************[%s]***********************", which);
}

bool serial_head(const Command &c, SerialHead *head) {
    if (c.length < sizeof *head) {
        refuse(c, c.length, sizeof *head);
        return false;
    }
    memcpy(head, c.payload, sizeof *head);
    return true;
}

void serial_prepare(const SerialHead &head) {
    serial_open(static_cast<int>(head.channel), static_cast<int>(head.speed), 0);
    if (head.speed != 0) serial_speed(static_cast<int>(head.channel), static_cast<int>(head.speed));
}

void serial_log(const char *which, const SerialHead &head) {
    serial_banner(which);
    rt_log(LOG_LEVEL_DETAIL, "Channel  [%d]", static_cast<int>(head.channel));
    rt_log(LOG_LEVEL_DETAIL, "Speed    [%d]", static_cast<int>(head.speed));
    rt_log(LOG_LEVEL_DETAIL, "Timeout  [%d]", static_cast<int>(head.timeout));
    rt_log(LOG_LEVEL_DETAIL, "Len      [%d]", static_cast<int>(head.length));
    serial_banner(which);
}

void com_write(const Command &c) {
    SerialHead head;
    if (!serial_head(c, &head)) return;
    if (head.length > kSerialDataMax || c.length != sizeof head + head.length)
        return refuse(c, c.length, head.length);
    serial_log("Write", head);
    serial_prepare(head);
    const uint8_t *data = c.payload + sizeof head;
    int done = serial_write(static_cast<int>(head.channel), data, static_cast<int>(head.length));
    if (done > 0)
        answer(c, 0, data, done);
    else
        answer(c, 1);
}

void com_speed(const Command &c) {
    SerialHead head;
    if (!serial_head(c, &head)) return;
    if (c.length != sizeof head) return refuse(c, c.length, sizeof head);
    serial_banner("Speed");
    rt_log(LOG_LEVEL_DETAIL, "Channel  [%d]", static_cast<int>(head.channel));
    rt_log(LOG_LEVEL_DETAIL, "Speed    [%d]", static_cast<int>(head.speed));
    serial_banner("Speed");
    if (head.speed == 0) return refuse(c, c.length, 0);
    serial_prepare(head);
    answer(c, 0);
}

void com_clear(const Command &c) {
    SerialHead head;
    if (!serial_head(c, &head)) return;
    if (c.length != sizeof head || head.speed == 0) return refuse(c, c.length, head.speed);
    serial_clear(static_cast<int>(head.channel));
    answer(c, 0);
}

Command command_of(LINK_CHUNK *request) {
    Command c{};
    c.request = request;
    if (request == nullptr || request->data == nullptr || request->length < static_cast<int32_t>(LINK_HEADER_SIZE))
        return c;
    c.word = 0x200u | request->data[9];
    c.payload = request->data + LINK_HEADER_SIZE;
    c.length = static_cast<uint32_t>(request->length) - LINK_HEADER_SIZE;
    c.device = g_net.device.load(std::memory_order_acquire);
    c.engine = current_engine(c.device);
    return c;
}

}  // namespace

extern "C" int zpt_net_com_read(LINK_CHUNK *request) {
    Command c = command_of(request);
    if (c.payload == nullptr) return 1;
    SerialHead head;
    if (!serial_head(c, &head)) return 1;
    // A time-out above INT_MAX would be a negative wait: refused, never waited on.
    if (c.length != sizeof head || head.length > kSerialDataMax || head.timeout > 0x7fffffffu) {
        refuse(c, c.length, head.length);
        return 1;
    }
    serial_log("Read", head);
    serial_prepare(head);
    uint8_t buffer[kSerialDataMax];
    int done = serial_read(static_cast<int>(head.channel), buffer, static_cast<int>(head.length),
                           static_cast<int>(head.timeout));
    if (done > 0) {
        LogPrintHex("zpt_net_com_read", buffer, done);
        answer(c, 0, buffer, done);
    } else {
        answer(c, 1);
    }
    return 1;
}

extern "C" int zpt_net_distribute(LINK_CHUNK *request) {
    Command c = command_of(request);
    if (c.payload == nullptr) return 1;
    rt_log(LOG_LEVEL_DETAIL, "%s [%x]", "zpt_net_distribute", c.word);
    static const char *const kNames[] = {
        nullptr,           "CMD_JNI_GetInfo",       "CMD_JNI_Debug",      "CMD_JNI_SaveBmp",
        "CMD_JNI_SendBmp", "CMD_JNI_DecodeBmp",     "CMD_JNI_I2CRead",    "CMD_JNI_I2CWrite",
        "CMD_JNI_DebugLevel", "CMD_JNI_Upgrade",    "CMD_JNI_1DSwitch",   "CMD_JNI_SyncSetting",
        "CMD_JNI_UpgradeDataRom", nullptr,          nullptr,              nullptr,
        "CMD_JNI_GetDisplay", "CMD_JNI_COMRead",    "CMD_JNI_COMWrite",   "CMD_JNI_COMSpeed",
        "CMD_JNI_COMClear", "CMD_JNI_SetSensorSN",  "CMD_JNI_GetSensorSN", "CMD_JNI_SetSensorData",
        "CMD_JNI_GetSensorData", "CMD_JNI_SaveAdjust", "CMD_JNI_2DSwitch",
    };
    static_assert(sizeof kNames / sizeof kNames[0] == 0x1b, "one name slot per command byte up to 0x1a");
    uint32_t index = c.word - 0x200u;
    if (index < sizeof kNames / sizeof kNames[0] && kNames[index] != nullptr)
        rt_log(LOG_LEVEL_DETAIL, "%s", kNames[index]);
    switch (c.word) {
    case 0x201: engine_info(c, false); break;
    case 0x202: debug_switch(c); break;
    case 0x203: switch_control(c, SCANNER_IOCTRL_SAVE_BMP); break;
    case 0x204: switch_control(c, SCANNER_IOCTRL_SEND_BMP); break;
    case 0x205: decode_image(c); break;
    case 0x206: i2c_command(c, false); break;
    case 0x207: i2c_command(c, true); break;
    case 0x208:
        if (c.length >= 4) log_set_level(read_u32(c.payload));
        break;
    case 0x209: upgrade(c); break;
    case 0x20a: port_switch(c, PORT_KIND_SWITCH1D); break;
    case 0x20b: sync_settings(c); break;
    case 0x20c: upgrade_rom(c); break;
    case 0x20e: change_engine(c); break;
    case 0x20f: sensor_adjust(c); break;
    case 0x210: engine_info(c, true); break;
    case 0x211: zpt_net_com_read(request); break;
    case 0x212: com_write(c); break;
    case 0x213: com_speed(c); break;
    case 0x214: com_clear(c); break;
    case 0x215: store_control(c, SCANNER_IOCTRL_SET_SENSOR_SN, 32); break;
    case 0x216: fetch_control(c, SCANNER_IOCTRL_GET_SENSOR_SN, 32); break;
    case 0x217: store_control(c, SCANNER_IOCTRL_SET_SENSOR_DATA, 16); break;
    case 0x218: fetch_control(c, SCANNER_IOCTRL_GET_SENSOR_DATA, 16); break;
    case 0x219: store_control(c, SCANNER_IOCTRL_SAVE_ADJUST, 16); break;
    case 0x21a: port_switch(c, PORT_KIND_SWITCH2D); break;
    default: break;
    }
    return 1;
}

// Answers to the stack's own reports are dropped.
extern "C" void zpt_net_responsion(LINK_CHUNK *, LINK_SEND_NODE *) {}

extern "C" int zpt_net_init(DEVICE_OBJECT *device) {
    std::lock_guard<std::mutex> guard(g_net.lock);
    if (g_net.image == nullptr) g_net.image = static_cast<uint8_t *>(malloc(kImageBufferSize));
    g_net.device.store(device, std::memory_order_release);
    // A running link is kept: one name, one server.
    if (g_net.link != nullptr) {
        rt_log(LOG_LEVEL_DETAIL, "%s =================== init", "zpt_net_init");
        return 0;
    }
    if (g_net.library == nullptr) {
        void *library = GetLibHandle(kLinkLibrary);
        if (library == nullptr) {
            const char *error = dlerror();
            rt_log(LOG_LEVEL_DETAIL, "dlopen Error [%s]\n", error != nullptr ? error : "");
            return -1;
        }
        g_net.library = library;
        g_net.fns.start_comm = bind<StartComm>(library, "start_comm");
        g_net.fns.set_recivedata_func = bind<SetReceive>(library, "set_recivedata_func");
        g_net.fns.send_command = bind<SendCommand>(library, "send_command");
        g_net.fns.send_echo_packet = bind<SendEcho>(library, "send_echo_packet");
        g_net.fns.net_direct_send = bind<DirectSend>(library, "net_direct_send");
        g_net.fns.net_send = bind<NetSend>(library, "net_send");
        g_net.fns.stop_comm = bind<StopComm>(library, "stop_comm");
    }
    if (g_net.fns.start_comm != nullptr) g_net.link = g_net.fns.start_comm(SOCKET_KIND_SERVER, kSocketName);
    if (g_net.link != nullptr && g_net.fns.set_recivedata_func != nullptr)
        g_net.fns.set_recivedata_func(g_net.link, kMessageType, zpt_net_distribute, zpt_net_responsion);
    rt_log(LOG_LEVEL_DETAIL, "%s =================== init", "zpt_net_init");
    return 0;
}

extern "C" int zpt_net_deinit(void) {
    LINK_CONTEXT *link;
    StopComm stop;
    void *library;
    {
        std::unique_lock<std::mutex> guard(g_net.lock);
        link = g_net.link;
        stop = g_net.fns.stop_comm;
        library = g_net.library;
        g_net.link = nullptr;
        g_net.library = nullptr;
        g_net.fns = LinkFns{};
        g_net.idle.wait(guard, [] { return g_net.borrowers == 0; });
    }
    // The distribute thread ends inside the stop; its last command may still answer
    // through the wrappers, which now find no link.
    if (link != nullptr && stop != nullptr) stop(link);
    std::lock_guard<std::mutex> guard(g_net.lock);
    free(g_net.image);
    g_net.image = nullptr;
    g_net.device.store(nullptr, std::memory_order_release);
    if (library != nullptr) dlclose(library);
    return stop != nullptr ? 0 : -1;
}

extern "C" int zpt_net_direct_send(uint16_t command, const void *payload, int length) {
    LinkUse use;
    if (use.link() == nullptr || use.fns().net_direct_send == nullptr) return 0;
    return static_cast<int>(use.fns().net_direct_send(use.link(), command, payload, length));
}

extern "C" int zpt_net_send(uint16_t command, const void *payload, int length, int retries, int timeout) {
    LinkUse use;
    if (use.link() == nullptr || use.fns().net_send == nullptr) return 0;
    return static_cast<int>(use.fns().net_send(use.link(), command, payload, length, retries, timeout));
}

extern "C" void zpt_send_echo_packet(LINK_CHUNK *request, uint8_t status, const void *payload, int length) {
    LinkUse use;
    if (use.link() == nullptr || use.fns().send_echo_packet == nullptr) return;
    use.fns().send_echo_packet(use.link(), request, status, payload, length);
}
