// The service socket over a real abstract socket: the link library linked into the
// sandbox's library folder, a client built on the same library, a test engine that
// records what its control is handed.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net_client.h"
#include "net_device.h"
#include "readercore.h"
#include "sandbox.h"
#include "scanner_service.h"
#include "service_log.h"
#include "sim.h"
#include "hwports.h"
#include "gt51x0_sim.h"
#include "startup_test.h"
#include "zptlog.h"

namespace {

struct Call {
    int code;
    int arg;
    std::vector<uint8_t> bytes;        // what the pointer carried, as far as the code defines it
    uint32_t width = 0, height = 0;    // decode image
    UPGRADE_REQUEST upgrade{};         // upgrade request fields
    bool buf_in_message = false;
};

std::mutex g_calls_lock;
std::vector<Call> g_calls;
int g_result = 0;            // what the control answers
bool g_size_written = true;  // whether 0x101 writes the size
std::vector<uint8_t> g_fetch;  // what 0x109 / 0x10b write (empty: nothing)

std::vector<Call> calls() {
    std::lock_guard<std::mutex> guard(g_calls_lock);
    return g_calls;
}

// Whether the control hands an upgrade to the GT51X0 serial transfer, as the GT5170
// driver does.
std::atomic<bool> g_serial_upgrade{false};

int test_ioctrl(ENGINE_RECORD *engine, int code, int arg, void *pointer) {
    Call call{code, arg, {}};
    switch (code) {
    case SCANNER_IOCTRL_SAVE_BMP:
    case SCANNER_IOCTRL_SEND_BMP:
        // As the drivers do: the debug switches are the core's.
        if (g_result == 0) common_scanner_debug_ioctrl_proc(engine, code, arg, pointer);
        break;
    case SCANNER_IOCTRL_GET_SIZE:
        if (g_size_written && g_result == 0) *static_cast<SCANNER_FRAME_SIZE *>(pointer) = {752, 480};
        break;
    case SCANNER_IOCTRL_DECODE_IMAGE: {
        auto *request = static_cast<IMAGE_REQUEST *>(pointer);
        call.width = request->width;
        call.height = request->height;
        call.bytes.assign(request->image, request->image + static_cast<size_t>(request->width) * request->height);
        break;
    }
    case SCANNER_IOCTRL_UPGRADE: {
        auto *request = static_cast<UPGRADE_REQUEST *>(pointer);
        if (g_serial_upgrade) {
            return GT51X0_Upgrade_Running(engine, request->Buf, request->len, static_cast<int>(request->FirmwareOper));
        }
        call.upgrade = *request;
        call.bytes.assign(request->Buf, request->Buf + request->len);
        break;
    }
    case SCANNER_IOCTRL_SET_SENSOR_SN:
    case SCANNER_IOCTRL_SET_SENSOR_DATA:
    case SCANNER_IOCTRL_SAVE_ADJUST:
        call.bytes.assign(static_cast<uint8_t *>(pointer), static_cast<uint8_t *>(pointer) + arg);
        break;
    case SCANNER_IOCTRL_GET_SENSOR_SN:
    case SCANNER_IOCTRL_GET_SENSOR_DATA:
        if (!g_fetch.empty()) memcpy(pointer, g_fetch.data(), static_cast<size_t>(arg));
        break;
    default:
        break;
    }
    std::lock_guard<std::mutex> guard(g_calls_lock);
    g_calls.push_back(call);
    return g_result;
}

std::vector<std::string> g_synced;
int test_sync(ENGINE_RECORD *, const char *code, const char *param) {
    g_synced.push_back(std::string(code) + "/" + param);
    return static_cast<int>(g_synced.size()) * 10;
}

std::string g_changed;
int test_change(DEVICE_OBJECT *, const char *name, int arg) {
    g_changed = std::string(name) + ":" + std::to_string(arg);
    return std::string(name) == "MOCKB" ? 0 : -1;
}

void put32(std::vector<uint8_t> *out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> u32s(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) put32(&out, v);
    return out;
}

std::vector<uint8_t> pattern(size_t count, uint8_t seed = 1) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(seed + i * 7);
    return out;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Whether the socket's one abstract name is bound.
bool name_taken() {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const char name[] = "com.corvane.brevik.jnisocket";
    memcpy(addr.sun_path + 1, name, sizeof name - 1);
    socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + sizeof name - 1);
    bool taken = bind(fd, reinterpret_cast<sockaddr *>(&addr), size) != 0;
    close(fd);
    return taken;
}

class NetServiceTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        {
            std::lock_guard<std::mutex> guard(g_calls_lock);
            g_calls.clear();
        }
        g_result = 0;
        g_size_written = true;
        g_fetch.clear();
        g_synced.clear();
        g_changed.clear();
        net_test_device(&engine_, &device_, test_ioctrl, test_sync, test_change);
    }
    void TearDown() override {
        client_.close();
        zpt_net_deinit();
        ServiceTest::TearDown();
    }
    void link_library() { ASSERT_TRUE(svc_sandbox::link_libraries(root_, 0)); }
    void start() {
        // The program has a network of its own: a bound name is a link this process left running.
        ASSERT_FALSE(name_taken()) << "the socket name is already bound";
        link_library();
        ASSERT_EQ(zpt_net_init(&device_), 0);
        ASSERT_TRUE(client_.open());
    }

    ENGINE_RECORD engine_{};
    DEVICE_OBJECT device_{};
    NetClient client_;
};

TEST_F(NetServiceTest, WithoutTheLinkLibraryNothingIsSent) {
    EXPECT_EQ(zpt_net_init(&device_), -1);
    EXPECT_TRUE(logged("dlopen Error ["));
    EXPECT_EQ(zpt_net_direct_send(0x204, "abcd", 4), 0);
    EXPECT_EQ(zpt_net_send(0x20d, "abcd", 4, 1, 3), 0);
    EXPECT_EQ(zpt_net_deinit(), -1);
}

TEST_F(NetServiceTest, EngineInfoCarriesNameTypeAndSize) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    EXPECT_TRUE(logged("zpt_net_init =================== init"));
    struct Case {
        uint8_t command;
        int result;
        bool written;
        const char *name;
        uint32_t width, height;
    } cases[] = {
        {0x01, 0, true, "MOCKA", 752, 480},
        {0x10, 0, true, "DISPA", 752, 480},
        {0x01, -1, true, "MOCKA", 0, 0},   // the size control fails
        {0x01, 0, false, "MOCKA", 0, 0},   // answers 0 without writing
    };
    for (const Case &c : cases) {
        g_result = c.result;
        g_size_written = c.written;
        NetAnswer a = client_.command(c.command, {});
        ASSERT_TRUE(a.answered);
        EXPECT_EQ(a.status, 0);
        ASSERT_EQ(a.payload.size(), 28u);
        std::vector<uint8_t> expect(28, 0);
        memcpy(expect.data(), c.name, strlen(c.name));
        expect[16] = 2;
        memcpy(&expect[20], &c.width, 4);
        memcpy(&expect[24], &c.height, 4);
        EXPECT_EQ(a.payload, expect) << c.name << " " << c.result << " " << c.written;
    }
}

TEST_F(NetServiceTest, CommandsReachTheEngineControl) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    engine_.debugSaveImage = engine_.debugSendImage = 1;
    NetAnswer a = client_.command(0x02, u32s({1}));
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(engine_.debugEnable, 1u);
    EXPECT_EQ(engine_.debugSaveImage, 0u);
    EXPECT_EQ(engine_.debugSendImage, 0u);

    EXPECT_EQ(client_.command(0x03, u32s({1})).status, 0);
    EXPECT_EQ(client_.command(0x04, u32s({1})).status, 0);
    std::vector<uint8_t> pixels = pattern(640 * 480);
    EXPECT_EQ(client_.command(0x05, u32s({640, 480, 0, 0}) + pixels).status, 0);
    EXPECT_EQ(client_.command(0x0f, {0x5a}).status, 0);
    std::vector<uint8_t> sn = pattern(32, 3), data = pattern(16, 5), adjust = pattern(16, 9);
    EXPECT_EQ(client_.command(0x15, sn).status, 0);
    EXPECT_EQ(client_.command(0x17, data).status, 0);
    EXPECT_EQ(client_.command(0x19, adjust).status, 0);
    std::vector<uint8_t> firmware = pattern(1000, 11);
    EXPECT_EQ(client_.command(0x09, u32s({2, 0, 1000}) + firmware).status, 0);
    EXPECT_EQ(client_.command(0x0c, u32s({5}) + pattern(5, 13)).status, 0);

    std::vector<Call> got = calls();
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(got[0].code, SCANNER_IOCTRL_SAVE_BMP);
    EXPECT_EQ(got[0].arg, 1);
    EXPECT_EQ(got[1].code, SCANNER_IOCTRL_SEND_BMP);
    EXPECT_EQ(got[2].code, SCANNER_IOCTRL_DECODE_IMAGE);
    EXPECT_EQ(got[2].width, 640u);
    EXPECT_EQ(got[2].height, 480u);
    EXPECT_TRUE(got[2].bytes == pixels);
    EXPECT_EQ(got[3].code, SCANNER_IOCTRL_SENSOR_ADJUST);
    EXPECT_EQ(got[3].arg, 0x5a);
    EXPECT_EQ(got[4].code, SCANNER_IOCTRL_SET_SENSOR_SN);
    EXPECT_EQ(got[4].bytes, sn);
    EXPECT_EQ(got[5].code, SCANNER_IOCTRL_SET_SENSOR_DATA);
    EXPECT_EQ(got[5].bytes, data);
    EXPECT_EQ(got[6].code, SCANNER_IOCTRL_SAVE_ADJUST);
    EXPECT_EQ(got[6].bytes, adjust);
    EXPECT_EQ(got[7].code, SCANNER_IOCTRL_UPGRADE);
    EXPECT_EQ(got[7].upgrade.FirmwareType, 2u);
    EXPECT_EQ(got[7].upgrade.FirmwareOper, 0u);
    EXPECT_EQ(got[7].upgrade.len, 1000u);
    EXPECT_EQ(got[7].bytes, firmware);
    EXPECT_EQ(got[8].upgrade.FirmwareType, 4u);
    EXPECT_EQ(got[8].upgrade.FirmwareOper, 0u);
    EXPECT_EQ(got[8].bytes, pattern(5, 13));
    EXPECT_TRUE(logged("ECHO OK"));
}

TEST_F(NetServiceTest, SensorReadsAnswerTheEngineBytesOrZeros) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    for (bool writes : {true, false}) {
        g_fetch = writes ? pattern(32, 21) : std::vector<uint8_t>{};
        NetAnswer sn = client_.command(0x16, {});
        NetAnswer data = client_.command(0x18, {});
        EXPECT_EQ(sn.status, 0);
        EXPECT_EQ(data.status, 0);
        EXPECT_EQ(sn.payload, writes ? pattern(32, 21) : std::vector<uint8_t>(32, 0));
        EXPECT_EQ(data.payload, writes ? pattern(16, 21) : std::vector<uint8_t>(16, 0));
    }
    g_result = -1;
    for (uint8_t command : {0x03, 0x04, 0x0f, 0x16, 0x18})
        EXPECT_EQ(client_.command(command, u32s({1})).status, 1) << std::hex << int(command);
}

TEST_F(NetServiceTest, ShortUpgradeDataIsNeverReadPast) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    for (uint32_t len : {0u, 2u}) {
        EXPECT_EQ(client_.command(0x09, u32s({2, 0, len}) + pattern(len)).status, 0);
        std::vector<Call> got = calls();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back().bytes, pattern(len));
    }
    EXPECT_TRUE(logged("Info.Buf [1] [8] [0] [0]"));
}

// Requests whose lengths do not hold: status 1, nothing handed to the engine.
TEST_F(NetServiceTest, MalformedRequestsAreRefused) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    struct Case {
        const char *what;
        uint8_t command;
        std::vector<uint8_t> payload;
    } cases[] = {
        {"DecodeBmp short head", 0x05, pattern(15)},
        {"DecodeBmp beyond buffer", 0x05, u32s({1, 1, 0, 0}) + std::vector<uint8_t>(6000001, 0)},
        {"DecodeBmp pixels short", 0x05, u32s({100, 100, 0, 0}) + pattern(9999)},
        {"I2CRead short", 0x06, pattern(43)},
        {"I2CRead length 33", 0x06, u32s({0x1000, 0x10, 33}) + std::vector<uint8_t>(32, 0)},
        {"Upgrade short", 0x09, pattern(11)},
        {"Upgrade len past", 0x09, u32s({2, 0, 5}) + pattern(4)},
        {"Upgrade len wraps", 0x09, u32s({2, 0, 0xFFFFFFFFu}) + pattern(4)},
        {"UpgradeDataRom short", 0x0c, pattern(3)},
        {"UpgradeDataRom len past", 0x0c, u32s({5}) + pattern(4)},
        {"Debug short", 0x02, pattern(3)},
        {"SaveBmp short", 0x03, pattern(3)},
        {"1DSwitch short", 0x0a, pattern(8)},
        {"SensorAdjust empty", 0x0f, {}},
        {"SetSensorSN 31", 0x15, pattern(31)},
        {"SetSensorData 15", 0x17, pattern(15)},
        {"SaveAdjust 15", 0x19, pattern(15)},
        {"ChangeEngine 23", 0x0e, pattern(23)},
        {"ChangeEngine no terminator", 0x0e, u32s({0}) + std::vector<uint8_t>(20, 'M')},
        {"COMRead 2049", 0x11, u32s({9, 2049, 10, 0})},
        {"COMRead negative wait", 0x11, u32s({9, 4, 0xFFFFFFFFu, 0})},
        {"COMWrite 27", 0x12, u32s({9, 10, 0, 0}) + pattern(11)},
        {"COMSpeed 0", 0x13, u32s({9, 0, 0, 0})},
        {"COMClear speed 0", 0x14, u32s({9, 0, 0, 0})},
        {"1DSwitch no port", 0x0a, u32s({7, 9, 1})},
    };
    for (const Case &c : cases) {
        NetAnswer a = client_.command(c.command, c.payload);
        EXPECT_TRUE(a.answered) << c.what;
        EXPECT_EQ(a.status, 1) << c.what;
        EXPECT_TRUE(a.payload.empty()) << c.what;
    }
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(g_changed, std::string(20, 'M') + ":0");
    EXPECT_TRUE(logged("zpt_net_distribute refused [205] [15] [16]"));
}

TEST_F(NetServiceTest, EngineCommandsWithoutAnEngineAreRefused) {
    device_.current = nullptr;
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    for (uint8_t command : {0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x0f, 0x10, 0x16, 0x18}) {
        NetAnswer a = client_.command(command, std::vector<uint8_t>(44, 0));
        EXPECT_EQ(a.status, 1) << std::hex << int(command);
    }
    EXPECT_EQ(client_.command(0x05, u32s({2, 2, 0, 0, 0})).status, 1);
    EXPECT_EQ(client_.command(0x09, u32s({2, 0, 0})).status, 1);
    EXPECT_EQ(client_.command(0x15, pattern(32)).status, 1);
}

TEST_F(NetServiceTest, ChangeEngineNeedsReadyAndExactLength) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    std::vector<uint8_t> request = u32s({3}) + std::vector<uint8_t>{'M', 'O', 'C', 'K', 'B'} +
                                   std::vector<uint8_t>(15, 0);
    EXPECT_EQ(client_.command(0x0e, request).status, 0);
    EXPECT_EQ(g_changed, "MOCKB:3");
    g_changed.clear();
    device_.state = 0;
    EXPECT_EQ(client_.command(0x0e, request).status, 1);
    EXPECT_TRUE(g_changed.empty());
}

TEST_F(NetServiceTest, UnansweredCommandsAndSettingsReadBack) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    CODE_PARAM first[2] = {{"Enable", 0}, {"Minlen", 0}};
    CODE_PARAM second[1] = {{"Enable", 0}};
    CODE_GROUP groups[2]{};
    strcpy(groups[0].name, "QR");
    groups[0].count = 2;
    groups[0].entries = first;
    strcpy(groups[1].name, "EAN13");
    groups[1].count = 1;
    groups[1].entries = second;
    list_add_tail(&device_.codeGroups, &groups[0].node);
    list_add_tail(&device_.codeGroups, &groups[1].node);

    // Commands run one at a time in arrival order: an answered one behind the others
    // shows that they were handled and sent nothing.
    device_.state = 0;
    client_.post(0x0b, {});
    EXPECT_EQ(client_.command(0x01, {}).status, 0);
    EXPECT_TRUE(g_synced.empty());  // before ready: nothing
    device_.state = 1;
    client_.post(0x0b, {});
    client_.post(0x0d, u32s({50}));
    client_.post(0x1b, {});
    client_.post(0x01, {});  // answered, to nobody waiting: counted
    EXPECT_EQ(client_.command(0x01, {}).status, 0);
    EXPECT_EQ(g_synced, (std::vector<std::string>{"QR/Enable", "QR/Minlen", "EAN13/Enable"}));
    EXPECT_EQ(first[0].value, 10);
    EXPECT_EQ(first[1].value, 20);
    EXPECT_EQ(second[0].value, 30);
    EXPECT_EQ(client_.stray_answers(), 1);

    uint32_t level = log_get_level();
    EXPECT_FALSE(client_.command(0x08, u32s({0x1F}), 1).answered);
    EXPECT_EQ(log_get_level(), 0x1Fu);
    log_set_level(level);
}

// Reports from other threads while commands run, a stop in the middle, and a second start
// that serves the socket again.
TEST_F(NetServiceTest, StopWhileCommandsAndReportsRunThenServeAgain) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    engine_.debugEnable = 1;
    std::atomic<bool> run{true};
    std::thread commands([&] {
        while (run.load()) client_.command(0x01, {}, 1);
    });
    std::thread reports([&] {
        std::vector<uint8_t> frame = pattern(1000);
        while (run.load()) zpt_net_direct_send(0x20d, frame.data(), 4);
    });
    usleep(200 * 1000);
    EXPECT_EQ(zpt_net_deinit(), 0);
    EXPECT_EQ(zpt_net_direct_send(0x20d, "abcd", 4), 0);
    run.store(false);
    commands.join();
    reports.join();
    client_.close();

    ASSERT_EQ(zpt_net_init(&device_), 0);
    ASSERT_TRUE(client_.open());
    EXPECT_EQ(client_.command(0x01, {}).payload.size(), 28u);
}

// A request of another type than the commands' finds no handler: the link answers 1.
TEST_F(NetServiceTest, ARequestOfTypeOneGetsTheLinkStatus) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    NetAnswer a = client_.request(0x101, {});
    EXPECT_TRUE(a.answered);
    EXPECT_EQ(a.status, 1);
    EXPECT_TRUE(a.payload.empty());
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(client_.command(0x01, {}).status, 0);
}

// A debug frame reaches the client as a report of command 4, with the driver's trailer
// when it has one; the client's answer is dropped.
TEST_F(NetServiceTest, DebugFramesReachTheClientAsReports) {
    start();
    if (IsSkipped() || HasFatalFailure()) return;
    EXPECT_EQ(client_.command(0x02, u32s({1})).status, 0);
    EXPECT_EQ(client_.command(0x04, u32s({1})).status, 0);
    EXPECT_EQ(engine_.debugSendImage, 1u);
    std::vector<uint8_t> frame = pattern(752 * 480 + 16);
    uint8_t *image = frame.data();
    const uint8_t trailer[16] = {1, 2, 3};
    EXPECT_GT(common_scanner_debug_proc(&engine_, &image, 752, 480, nullptr), 0);
    EXPECT_GT(common_scanner_debug_proc(&engine_, &image, 752, 480, trailer), 0);
    std::vector<NetReport> got;
    for (int i = 0; i < 500 && got.size() < 2; ++i) {
        got = client_.reports();
        if (got.size() < 2) usleep(10 * 1000);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].command, 4);
    EXPECT_EQ(got[0].length, 360960u);
    EXPECT_EQ(got[1].command, 4);
    EXPECT_EQ(got[1].length, 360976u);
    EXPECT_EQ(client_.command(0x01, {}).status, 0) << "still serving after the dropped answers";
}

// The ports on their stand-ins: the engine's I2C bus on the modelled kernel, a UART on a
// pseudo-terminal, the switch ports on files under the root.
class NetPortsTest : public NetServiceTest {
  protected:
    static constexpr char kBus[] = "/dev/i2c-2";
    static constexpr uint8_t kEngine = 0x12;  // 8-bit registers
    static constexpr uint8_t kSensor = 0x3C;  // 16-bit registers
    static constexpr char kSwitchDir[] = "/sys/devices/switch/";
    static constexpr char k2dNode[] = "/sys/devices/scan2d/power";

    void SetUp() override {
        NetServiceTest::SetUp();
        sim_kernel_install();
        make_dirs("/dev");
        ASSERT_EQ(sim_i2c_bus_create(kBus), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kEngine, 1), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kSensor, 2), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, 2, kBus), 0);
        // The engine's driver keeps its bus open.
        PORT_DEVICE *bus = get_module_ops(PORT_KIND_I2C, 2);
        ASSERT_EQ(bus->open(bus, nullptr), 0);
        engine_.DriverChannel = 2;
        ASSERT_EQ(sim_pty_open(&pty_, "/dev/ttyS3"), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 3, "/dev/ttyS3"), 0);
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kSwitchDir) + node, "");
        write_file(k2dNode, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
        ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, k2dNode), 0);
        start();
    }
    void TearDown() override {
        client_.close();
        zpt_net_deinit();
        while (unregister_device(0, -1) == 0) {
        }
        sim_pty_close(&pty_);
        sim_kernel_remove();
        NetServiceTest::TearDown();
    }
    static std::vector<uint8_t> i2c_record(uint8_t flags, uint8_t slave, uint32_t reg, uint32_t length,
                                           std::vector<uint8_t> data = {}) {
        data.resize(32);
        return std::vector<uint8_t>{flags, slave, 0, 0} + u32s({reg, length}) + data;
    }
    // What the port wrote to the line, up to count bytes within a second.
    std::vector<uint8_t> line_received(size_t count) {
        std::vector<uint8_t> got;
        uint8_t buf[64];
        while (got.size() < count) {
            ssize_t n = sim_pty_receive(&pty_, buf, sizeof buf, 1000);
            if (n <= 0) break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }
    SimPty pty_;
};

TEST_F(NetPortsTest, I2cReadsAndWritesTheEngineBus) {
    if (IsSkipped() || HasFatalFailure()) return;
    uint8_t *engine = sim_i2c_registers(kBus, kEngine);
    uint8_t *sensor = sim_i2c_registers(kBus, kSensor);
    memcpy(engine + 0x40, "\x01\x02\x03\x04", 4);
    memcpy(sensor + 0x1234, "\xA1\xA2\xA3", 3);
    NetAnswer a = client_.command(0x06, i2c_record(0, kEngine, 0x40, 4));
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.payload, i2c_record(0, kEngine, 0x40, 4, {1, 2, 3, 4}));
    a = client_.command(0x06, i2c_record(0x02, kSensor, 0x1234, 3));
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.payload, i2c_record(0, kSensor, 0x1234, 3, {0xA1, 0xA2, 0xA3})) << "flags answered as 0";
    a = client_.command(0x06, i2c_record(0, 0x50, 0x40, 4));
    EXPECT_EQ(a.status, 1) << "an absent slave";
    EXPECT_TRUE(a.payload.empty());

    EXPECT_EQ(client_.command(0x07, i2c_record(0, kEngine, 0x60, 3, {9, 8, 7})).status, 0);
    EXPECT_EQ(std::vector<uint8_t>(engine + 0x60, engine + 0x63), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(client_.command(0x07, i2c_record(0x02, kSensor, 0x2000, 2, {5, 6})).status, 0);
    EXPECT_EQ(std::vector<uint8_t>(sensor + 0x2000, sensor + 0x2002), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(client_.command(0x07, i2c_record(0, 0x50, 0x60, 1, {1})).status, 1);
}

TEST_F(NetPortsTest, SerialCommandsOnAPseudoTerminal) {
    if (IsSkipped() || HasFatalFailure()) return;
    std::vector<uint8_t> data = pattern(10, 40);
    NetAnswer a = client_.command(0x12, u32s({3, 10, 0, 0}) + data);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.payload, data) << "the bytes written, echoed";
    EXPECT_EQ(line_received(10), data);
    EXPECT_EQ(client_.command(0x12, u32s({3, 10, 0, 0}) + data + std::vector<uint8_t>{0}).status, 1);

    ASSERT_EQ(sim_pty_send(&pty_, "hello", 5), 5);
    // A wait that would be negative is refused before anything is read.
    EXPECT_EQ(client_.command(0x11, u32s({3, 5, 0xFFFFFFFFu, 0})).status, 1);
    EXPECT_EQ(client_.command(0x11, u32s({3, 2049, 100, 0})).status, 1);
    a = client_.command(0x11, u32s({3, 5, 1000, 0}));
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(std::string(a.payload.begin(), a.payload.end()), "hello");

    EXPECT_EQ(client_.command(0x13, u32s({3, 0, 0, 9600})).status, 0);
    EXPECT_EQ(client_.command(0x13, u32s({3, 0, 0, 0})).status, 1);
    EXPECT_EQ(client_.command(0x14, u32s({3, 0, 0, 9600})).status, 0);
    EXPECT_EQ(client_.command(0x14, u32s({3, 0, 0, 0})).status, 1);
}

TEST_F(NetPortsTest, SwitchCommandsWriteThePortNodes) {
    if (IsSkipped() || HasFatalFailure()) return;
    EXPECT_EQ(client_.command(0x0a, u32s({0, 0x09, 1})).status, 0);
    EXPECT_EQ(read_file(std::string(kSwitchDir) + "uart_rts"), "1");
    EXPECT_EQ(client_.command(0x1a, u32s({0, 0x0f, 0})).status, 0);
    EXPECT_EQ(read_file(k2dNode), "1");
    EXPECT_EQ(client_.command(0x0a, u32s({7, 0x09, 1})).status, 1) << "no port on that channel";
    EXPECT_EQ(client_.command(0x1a, u32s({7, 0x0f, 0})).status, 1);
}

// The real start-up in a sandbox opens the socket; device close stops it, and a new
// start-up in the same process serves it again.
class NetStartUpTest : public StartupTest {};

TEST_F(NetStartUpTest, CloseStopsTheSocketAndANewStartUpServesItAgain) {
    write_config("none", {"MOCKA"});
    add_engine("MOCKA", 1, 1, {"probe=0"});
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(name_taken()) << round;
        start();
        if (HasFatalFailure()) return;
        NetClient client;
        ASSERT_TRUE(client.open());
        NetAnswer a = client.command(0x01, {});
        EXPECT_EQ(a.status, 0) << round;
        ASSERT_EQ(a.payload.size(), 28u) << round;
        EXPECT_STREQ(reinterpret_cast<const char *>(a.payload.data()), "MOCKA");
        DEVICE_OBJECT *device = m_scanner_dev;
        m_scanner_dev = nullptr;
        EXPECT_EQ(scanner_device_close(device), 0) << "the result of stopping the service socket";
        client.close();
    }
    EXPECT_FALSE(name_taken());
}

// The commands on the plug-in engine the start-up bound: the answer, and the line the
// engine's journal got for the call (none where the request is refused before the engine).
std::string hex(const std::vector<uint8_t> &bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) out += {digits[b >> 4], digits[b & 15]};
    return out;
}

uint32_t fnv1a(const std::vector<uint8_t> &bytes) {
    uint32_t h = 2166136261u;
    for (uint8_t b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

TEST_F(NetStartUpTest, CommandsReachThePlugInEngine) {
    write_config("none", {"MOCKA"});
    add_engine("MOCKA", ENGINE_KIND_CAMERA, 1, {"probe=0"});
    start();
    if (HasFatalFailure()) return;
    NetClient client;
    ASSERT_TRUE(client.open());
    auto info = [](const char *name, uint32_t width, uint32_t height) {
        std::vector<uint8_t> out(28, 0);
        memcpy(out.data(), name, strlen(name));
        out[16] = ENGINE_KIND_CAMERA;
        memcpy(&out[20], &width, 4);
        memcpy(&out[24], &height, 4);
        return out;
    };
    const std::vector<uint8_t> pixels = pattern(640 * 480, 7), sn = pattern(32, 3), data = pattern(16, 5),
                               adjust = pattern(16, 9), firmware = pattern(1000, 11), rom = pattern(5, 13);
    char decoded[64];
    snprintf(decoded, sizeof decoded, "ioctrl 0x104 0 w=640 h=480 sum=%08x", fnv1a(pixels));
    const std::string set_sn = "ioctrl 0x108 32 data=" + hex(sn), set_data = "ioctrl 0x10a 16 data=" + hex(data),
                      save_adjust = "ioctrl 0x10c 16 data=" + hex(adjust),
                      upgrade = "ioctrl 0x105 0 type=2 oper=0 len=1000 data=" + hex(firmware),
                      upgrade_rom = "ioctrl 0x105 0 type=4 oper=0 len=5 data=" + hex(rom);
    struct Case {
        const char *what;
        std::vector<std::string> behaviour;
        uint8_t command;
        std::vector<uint8_t> payload;
        uint8_t status;
        std::vector<uint8_t> answer;
        std::string journal;  // the engine's journal line for the call
        int calls;            // how many such lines the call adds
    } cases[] = {
        {"GetInfo", {}, 0x01, {}, 0, info("MOCKA", 752, 480), "ioctrl 0x101 0", 1},
        {"GetInfo, size fails", {"ioctrl.0x101=-1"}, 0x01, {}, 0, info("MOCKA", 0, 0), "ioctrl 0x101 0", 1},
        {"GetInfo, size not written", {"ioctrl.0x101=0"}, 0x01, {}, 0, info("MOCKA", 0, 0), "ioctrl 0x101 0", 1},
        {"GetDisplay", {}, 0x10, {}, 0, info("Unknow", 752, 480), "ioctrl 0x101 0", 1},
        {"Debug 1", {}, 0x02, u32s({1}), 0, {}, "ioctrl ", 0},
        {"SaveBmp", {}, 0x03, u32s({1}), 0, {}, "ioctrl 0x102 1", 1},
        {"SendBmp", {}, 0x04, u32s({1}), 0, {}, "ioctrl 0x103 1", 1},
        {"SaveBmp, engine fails", {"ioctrl.0x102=-1"}, 0x03, u32s({1}), 1, {}, "ioctrl 0x102 1", 1},
        {"DecodeBmp", {"ioctrl.0x104=0"}, 0x05, u32s({640, 480, 0, 0}) + pixels, 0, {}, decoded, 1},
        {"SensorAdjust", {}, 0x0f, {0x5a}, 0, {}, "ioctrl 0x107 90", 1},
        {"SensorAdjust, engine fails", {"ioctrl.0x107=-1"}, 0x0f, {0x5a}, 1, {}, "ioctrl 0x107 90", 1},
        {"SetSensorSN", {}, 0x15, sn, 0, {}, set_sn, 1},
        {"SetSensorSN, 31 bytes", {}, 0x15, pattern(31, 3), 1, {}, "ioctrl 0x108", 0},
        {"SetSensorData", {}, 0x17, data, 0, {}, set_data, 1},
        {"SetSensorData, 15 bytes", {}, 0x17, pattern(15, 5), 1, {}, "ioctrl 0x10a", 0},
        {"SaveAdjust", {}, 0x19, adjust, 0, {}, save_adjust, 1},
        {"SaveAdjust, 15 bytes", {}, 0x19, pattern(15, 9), 1, {}, "ioctrl 0x10c", 0},
        {"GetSensorSN", {"fill.0x109=" + hex(pattern(32, 21))}, 0x16, {}, 0, pattern(32, 21), "ioctrl 0x109 32", 1},
        {"GetSensorSN, nothing written", {}, 0x16, {}, 0, std::vector<uint8_t>(32, 0), "ioctrl 0x109 32", 1},
        {"GetSensorData", {"fill.0x10b=" + hex(pattern(16, 23))}, 0x18, {}, 0, pattern(16, 23), "ioctrl 0x10b 16", 1},
        {"GetSensorData, nothing written", {}, 0x18, {}, 0, std::vector<uint8_t>(16, 0), "ioctrl 0x10b 16", 1},
        {"GetSensorData, engine fails", {"ioctrl.0x10b=-1"}, 0x18, {}, 1, {}, "ioctrl 0x10b 16", 1},
        {"Upgrade", {"ioctrl.0x105=0"}, 0x09, u32s({2, 0, 1000}) + firmware, 0, {}, upgrade, 1},
        {"UpgradeDataRom", {"ioctrl.0x105=0"}, 0x0c, u32s({5}) + rom, 0, {}, upgrade_rom, 1},
    };
    for (const Case &c : cases) {
        std::vector<std::string> lines{"probe=0"};
        lines.insert(lines.end(), c.behaviour.begin(), c.behaviour.end());
        behave("MOCKA", lines);
        int before = count("MOCKA", c.journal);
        NetAnswer a = client.command(c.command, c.payload);
        EXPECT_TRUE(a.answered) << c.what;
        EXPECT_EQ(a.status, c.status) << c.what;
        EXPECT_EQ(a.payload, c.answer) << c.what;
        EXPECT_EQ(count("MOCKA", c.journal), before + c.calls) << c.what;
    }
}

// The whole device close while one client sends commands in a loop and another thread sends
// reports; a new start-up in the same process serves the socket again.
TEST_F(NetStartUpTest, DeviceCloseWhileCommandsAndReportsRun) {
    write_config("none", {"MOCKA"});
    add_engine("MOCKA", ENGINE_KIND_CAMERA, 1, {"probe=0"});
    start();
    if (HasFatalFailure()) return;
    NetClient client;
    ASSERT_TRUE(client.open());
    ASSERT_EQ(client.command(0x02, u32s({1})).status, 0);
    std::atomic<bool> run{true};
    std::atomic<int> answered{0};
    std::thread commands([&] {
        while (run.load())
            if (client.command(0x01, {}, 1).answered) answered.fetch_add(1);
    });
    std::thread reports([&] {
        std::vector<uint8_t> frame = pattern(1000);
        while (run.load()) zpt_net_direct_send(0x20d, frame.data(), 4);
    });
    while (answered.load() < 3) usleep(10 * 1000);
    DEVICE_OBJECT *device = m_scanner_dev;
    m_scanner_dev = nullptr;
    EXPECT_EQ(scanner_device_close(device), 0);
    EXPECT_EQ(zpt_net_direct_send(0x20d, "abcd", 4), 0);
    run.store(false);
    commands.join();
    reports.join();
    client.close();
    EXPECT_FALSE(name_taken());

    start();
    if (HasFatalFailure()) return;
    NetClient again;
    ASSERT_TRUE(again.open());
    NetAnswer a = again.command(0x01, {});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.payload.size(), 28u);
}

// ---- Firmware upgrades ----

int accept_register_write(uint8_t, int, const uint8_t *, int count) { return count; }
int ready_status_read(uint8_t, int, uint8_t *bytes, int count) {
    memset(bytes, 0, static_cast<size_t>(count));
    return count;
}

// The engine on the modelled kernel: its UART on a pseudo-terminal played by the GT51X0
// simulator, its power on a switch port; waits through the recording sleep seam.
class NetUpgradeTest : public NetServiceTest {
  protected:
    static constexpr char kSwitchDir[] = "/sys/devices/switch/";
    static constexpr char kTty[] = "/dev/ttyS1";

    void SetUp() override {
        NetServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        make_dirs("/dev");
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kSwitchDir) + node, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
        ASSERT_EQ(sim_pty_open(&pty_, kTty), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 1, kTty), 0);
        engine_.Scantype = ENGINE_KIND_SERIAL;
        engine_.DriverChannel = 1;
        ASSERT_GT(serial_open(1, 115200, 0), 0);
        sim_ = std::make_unique<gt51x0::Gt51x0Sim>(&pty_);
        sim_->start();
        start();
    }
    void TearDown() override {
        g_serial_upgrade = false;
        sim_->stop();
        client_.close();
        zpt_net_deinit();
        while (unregister_device(0, -1) == 0) {
        }
        sim_pty_close(&pty_);
        sim_sleep_remove();
        sim_kernel_remove();
        NetServiceTest::TearDown();
    }
    // The percents of the progress reports received so far.
    std::vector<uint32_t> percents() {
        std::vector<uint32_t> out;
        for (const NetReport &r : client_.reports()) {
            if (r.command != 0x0d || r.payload.size() != 4) continue;
            uint32_t v;
            memcpy(&v, r.payload.data(), 4);
            out.push_back(v);
        }
        return out;
    }
    SimPty pty_;
    std::unique_ptr<gt51x0::Gt51x0Sim> sim_;
};

// Runs first: a fresh process's last progress value is 0.
TEST_F(NetUpgradeTest, ProgressWithoutAFunctionReachesTheClientOncePerValue) {
    if (IsSkipped() || HasFatalFailure()) return;
    // A connected client is only known to the server once it has accepted it: a round
    // trip first, or the reports may go out before anyone listens.
    ASSERT_TRUE(client_.command(0x01, {}).answered);
    Upgrade_Init(0x12, accept_register_write, ready_status_read, nullptr);
    std::vector<uint8_t> part = pattern(3 * 512, 21);
    ASSERT_EQ(Upgrade_Running(UPGRADE_TYPE_KERNEL, part.data(), static_cast<uint32_t>(part.size())), 0);
    ASSERT_TRUE(eventually([&] { return percents().size() >= 2; }));
    // The first 0 equals the value at load: not sent.
    EXPECT_EQ(percents(), (std::vector<uint32_t>{33, 66}));
    upgrade_report_progress(66);
    upgrade_report_progress(100);
    ASSERT_TRUE(eventually([&] { return percents().size() >= 3; }));
    EXPECT_EQ(percents(), (std::vector<uint32_t>{33, 66, 100}));
    EXPECT_TRUE(logged("Upgrade Running [33]"));
}

TEST_F(NetUpgradeTest, AFileSentOverTheSocketUpgradesTheSerialEngine) {
    if (IsSkipped() || HasFatalFailure()) return;
    GT51X0_Upgrade_Init(nullptr);
    g_serial_upgrade = true;
    gt51x0::FirmwareFile f = gt51x0::make_file(0, 1000, 700, 71);
    NetAnswer a = client_.command(0x09, u32s({2, 0, static_cast<uint32_t>(f.bytes.size())}) + f.bytes, 30);
    ASSERT_TRUE(a.answered);
    EXPECT_EQ(a.status, 0);
    EXPECT_TRUE(sim_->firmware("kern") == gt51x0::str(f.parts[1]));
    EXPECT_TRUE(sim_->firmware("flah") == gt51x0::str(f.parts[2]));
    ASSERT_TRUE(eventually([&] { return !percents().empty() && percents().back() == 100; }));
    const std::vector<uint32_t> got = percents();
    for (size_t i = 1; i < got.size(); ++i) EXPECT_NE(got[i], got[i - 1]) << i;
    EXPECT_EQ(engine_.powerLocked, 0);
}

}  // namespace
