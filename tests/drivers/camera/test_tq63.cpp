// The TQ63 driver as the service loads it: the plug-in bound into an engine record over the
// PL7230 tests' root, the engine at 0x12 (identification, version, boot loader) and its
// sensor at 0x60 (2-byte registers) on the simulated bus, the switch lines of power
// channel 0, and the build's exposure library in the root's library directory.
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pl7230_test.h"

namespace {

constexpr char kTq63Platform[] = "TQ63_PLAT";
constexpr char kTq63ProbePath[] = "/sys/bus/platform/tq63";
constexpr char kTq63SwitchDir[] = "/sys/devices/scan1d/";
constexpr char kTq63Switch[] = "/sys/devices/scan1d/scan_switch";
constexpr uint16_t kTq63Engine = 0x12;
constexpr uint16_t kTq63Sensor = 0x60;

std::string tq63_engine_xml(const std::string &platform, const std::string &device) {
    std::string dev = "<ScanFormat>0</ScanFormat><ScanBuffer>3</ScanBuffer>" + device;
    return std::string("<?xml version=\"1.0\"?>\n<Engine><ScanProbe><Cmd name=\"") + kTq63Platform + "\">" +
           kTq63ProbePath + "</Cmd></ScanProbe><ScanEngine><" + kTq63Platform +
           "><DriverChannel>2</DriverChannel><PowerChannel>0</PowerChannel>" + platform + "</" + kTq63Platform +
           "></ScanEngine><Devices><TQ63>" + dev + "</TQ63><TQ53>" + dev + "</TQ53></Devices></Engine>\n";
}

// The last `first` is followed by a `then` (a pulse of the aimer thread may come between).
bool tq63_then(const std::vector<std::string> &list, const std::string &first, const std::string &then) {
    auto last = std::find(list.rbegin(), list.rend(), first);
    return last != list.rend() && std::find(list.rbegin(), last, then) != last;
}

class Tq63Test : public Pl7230Test {
  protected:
    void SetUp() override {
        Pl7230Test::SetUp();
        load_driver(TQ63_LIBRARY);
        write_file(kTq63Switch, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kTq63SwitchDir), 0);
        write_file(kTq63ProbePath, "");
    }
    void add_engine(uint8_t id) {
        ASSERT_EQ(sim_i2c_add_device(kBus, kTq63Engine, 1), 0);
        engine_regs_ = sim_i2c_registers(kBus, kTq63Engine);
        engine_regs_[0xF0] = id;
        engine_regs_[0xF1] = 0x12;
        engine_regs_[0xF2] = 0x25;
        // Run mode 0xFF starts the boot loader, whose state register then reads CE 50.
        sim_i2c_set_device_hook(kBus, kTq63Engine, [](uint8_t *regs, bool read, const uint8_t *bytes, uint16_t len) {
            if (!read && len >= 2 && bytes[0] == 0xFD && bytes[1] == 0xFF) {
                regs[0x00] = 0xCE;
                regs[0x01] = 0x50;
            }
            return true;
        });
    }
    void add_sensor() {
        ASSERT_EQ(sim_i2c_add_device(kBus, kTq63Sensor, 2), 0);
        sensor_regs_ = sim_i2c_registers(kBus, kTq63Sensor);
    }
    void install_exposure() { write_file("/system/lib64/liblumactl.so", read_host_file(LUMACTL_LIBRARY)); }
    void start_tq63(uint8_t id, const std::string &platform = "", const std::string &device = "") {
        add_engine(id);
        add_sensor();
        open_engine_xml(tq63_engine_xml(platform, device));
        add_qr_enable("default=\"1\" ");
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        record_.scanner_sync(&record_, "QR", "Enable");
    }
    // Writes to the engine as "RR=VV" (first data byte), in order.
    static std::vector<std::string> engine_writes(uint16_t addr, int reg_bytes) {
        std::vector<std::string> out;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus)) {
            if (t.msgs.size() != 1 || t.msgs[0].addr != addr || (t.msgs[0].flags & PLAT_I2C_M_RD) != 0) continue;
            const std::vector<uint8_t> &b = t.msgs[0].bytes;
            if (b.size() < static_cast<size_t>(reg_bytes) + 1) continue;
            char line[32];
            if (reg_bytes == 2)
                snprintf(line, sizeof line, "%02X%02X=%02X", b[0], b[1], b[2]);
            else
                snprintf(line, sizeof line, "%02X=%02X", b[0], b[1]);
            out.push_back(line);
        }
        return out;
    }
    // Registers read from the engine, in order.
    static std::vector<int> engine_reads() {
        std::vector<int> out;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus))
            if (t.msgs.size() == 2 && t.msgs[0].addr == kTq63Engine && !t.msgs[0].bytes.empty())
                out.push_back(t.msgs[0].bytes[0]);
        return out;
    }
    std::vector<std::string> switches() const { return sim_writes(kTq63Switch); }

    uint8_t *engine_regs_ = nullptr;
    uint8_t *sensor_regs_ = nullptr;
};

TEST_F(Tq63Test, ProbeByIdentification) {
    struct Tq63ProbeCase {
        int id;  // -1: no engine answers
        int result;
        const char *probed, *named;
    };
    const Tq63ProbeCase cases[] = {
        {3, 0, "TQ63", "TQ63"}, {7, 0, "TQ63", "TQ53"}, {5, -1, "", ""}, {-1, -1, "", ""}};
    for (const Tq63ProbeCase &c : cases) {
        SCOPED_TRACE(c.id);
        TearDown();
        SetUp();
        if (c.id >= 0) add_engine(static_cast<uint8_t>(c.id));
        open_engine_xml(tq63_engine_xml("<ScanDirection>2</ScanDirection><ScanMinImage>3</ScanMinImage>",
                                        "<SleepTime>4</SleepTime>"));
        ASSERT_EQ(record_.scanner_probe(&record_), c.result);
        EXPECT_TRUE(logged(c.id >= 0 ? "scanner_readid [" + std::to_string(c.id) + "]" : "scanner_readid [0]"));
        if (c.result != 0) continue;
        EXPECT_STREQ(record_.name, c.probed);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        EXPECT_STREQ(record_.name, c.named);
        EXPECT_EQ(record_.PowerChannel, 0);
        EXPECT_TRUE(logged("mScanMinImage [4] "));
        EXPECT_TRUE(logged("mLowerMax     [4] "));
        EXPECT_TRUE(logged(std::string("*                    ") + c.named));
        std::vector<std::string> lines = journal();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("cam_init 1 0 640 480", 0), 0u) << "direction 2 becomes 1: " << lines.back();
    }
}

// The runtime initialises the exposure library once per process: this test comes before
// every other cycle of the binary.
TEST_F(Tq63Test, ExposureFollowsFromTheThirdFrame) {
    install_exposure();
    make_dirs("/data/framecam");
    testkit::Frame grey;
    grey.width = 640;
    grey.height = 480;
    grey.pixels.assign(640 * 480, 64);
    ASSERT_TRUE(testkit::WritePgm(host("/data/framecam/grey.pgm"), grey));
    write_file(FRAMECAM_IMAGES_PATH, "/data/framecam/grey.pgm\n");
    start_tq63(3, "<ScanMinImage>3</ScanMinImage>");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    sim_i2c_clear_transfers(kBus);
    sim_io_clear();
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    // The grey frames hold no code: the cycle runs until it is stopped after four frames.
    ASSERT_TRUE(eventually([&] { return engine_writes(kTq63Sensor, 2).size() >= 30u; }))
        << engine_writes(kTq63Sensor, 2).size();
    record_.scanner_stop_decode(&record_, 0);
    ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    std::vector<std::string> sensor = engine_writes(kTq63Sensor, 2);
    // The library's set-up (15 control rows, 5 exposure rows), then five rows per frame from
    // the third frame on: grey 64 asks for gain 2 at exposure 502 first.
    ASSERT_EQ(sensor.size() % 5, 0u);
    EXPECT_EQ(std::vector<std::string>(sensor.begin() + 20, sensor.begin() + 25),
              (std::vector<std::string>{"3500=00", "3501=1F", "3502=60", "350A=00", "350B=20"}));
    const int frames = 2 + static_cast<int>(sensor.size() - 20) / 5;
    // One aimer pulse per frame grabbed in the cycle (the last may find the cycle ended). A
    // pulse decided in the cycle may still be switching after it (on and off, 10 ms each): the
    // switches must rest with the aimer off for longer than a pulse.
    ASSERT_TRUE(eventually([&] {
        const std::vector<std::string> before = switches();
        plat_sleep_real(50);
        const std::vector<std::string> after = switches();
        return after == before && !after.empty() && after.back() == "aimer_off";
    }));
    std::vector<std::string> sw = switches();
    int on = static_cast<int>(std::count(sw.begin(), sw.end(), "aimer_on"));
    EXPECT_LE(on, frames);
    EXPECT_GE(on, frames - 1);
    // Between cycles the stream runs and no frame is grabbed: no pulse.
    sim_io_clear();
    plat_sleep_real(100);
    sw = switches();
    EXPECT_EQ(std::count(sw.begin(), sw.end(), "aimer_on"), 0);
}

TEST_F(Tq63Test, CycleReadsAQrFrameAndSwitchesTheLights) {
    install_decoder();
    install_exposure();
    const std::string text = "TQ63 reads with exposure control";
    serve_qr(text, 640, 480);
    start_tq63(7, "<ScanDirection>0</ScanDirection>");
    ASSERT_EQ(record_.scanner_open(&record_), 0);
    // scanner_open leaves the lights off: TQ53 also writes its registers.
    EXPECT_EQ(engine_writes(kTq63Engine, 1), (std::vector<std::string>{"7D=01", "7C=01"}));
    ASSERT_EQ(record_.scanner_ioctrl(&record_, FRAMECAM_IOCTRL_SELECT, 1, nullptr), 0);
    sim_i2c_clear_transfers(kBus);
    sim_io_clear();
    ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return has_event(SCN_EVENT_DATA); }));
    ASSERT_TRUE(eventually([&] {
        std::vector<std::string> sw = switches();
        return tq63_then(sw, "illum_off", "aimer_off");
    }));
    std::vector<Event> got = events_now();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].event, SCN_EVENT_BEEP);
    EXPECT_EQ(got[1].event, SCN_EVENT_DATA);
    EXPECT_EQ(got[1].codeId, 57u);
    EXPECT_EQ(got[1].bytes, text + std::string(1, '\0'));
    EXPECT_TRUE(logged("TQ63: Decode OK, data:(" + std::to_string(text.size()) + ")(" + text + ")"));
    // The first frame decoded: no exposure change (at most the library's own set-up).
    std::vector<std::string> sensor = engine_writes(kTq63Sensor, 2);
    EXPECT_TRUE(sensor.empty() || sensor.size() == 20u) << sensor.size();
    // Illumination on at the open (switch and register), off then the aimer off at the close.
    std::vector<std::string> sw = switches();
    ASSERT_GE(sw.size(), 3u);
    EXPECT_EQ(sw.front(), "illum_on");
    // A pulse of the last frame may still end after the close callback.
    EXPECT_TRUE(tq63_then(sw, "illum_off", "aimer_off"));
    // Each light's register follows its switch: the aimer's may still be on its way.
    std::vector<std::string> regs;
    EXPECT_TRUE(eventually([&] {
        regs = engine_writes(kTq63Engine, 1);
        return tq63_then(regs, "7D=01", "7C=01");
    }));
    ASSERT_GE(regs.size(), 3u);
    EXPECT_EQ(regs.front(), "7D=00");
    EXPECT_EQ(cam_get_state(), CAM_STATE_OPEN | CAM_STATE_STREAMING) << "the stream runs on";

    // Low power stops it and gives every frame back.
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_LOWPOWER, 0, nullptr), 0);
    EXPECT_TRUE(logged("SCANNER_IOCTRL_LOWPOWER [TQ53] oper"));
    EXPECT_EQ(cam_get_state() & CAM_STATE_STREAMING, 0);
}

TEST_F(Tq63Test, UpgradeThroughTheBootLoader) {
    start_tq63(3);
    std::vector<uint8_t> firmware(512, 0x5A);
    UPGRADE_REQUEST request{UPGRADE_TYPE_KERNEL, 0, static_cast<uint32_t>(firmware.size()), firmware.data()};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, nullptr), -1);
    UPGRADE_REQUEST empty{UPGRADE_TYPE_KERNEL, 0, 0, firmware.data()};
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &empty), -1);

    sim_i2c_clear_transfers(kBus);
    sim_sleep_clear();
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &request), 0);
    EXPECT_TRUE(logged("Booting Bootloader"));
    EXPECT_TRUE(logged("============Upgrade End============[0]"));
    EXPECT_EQ(record_.powerLocked, 0);
    std::vector<int> reads = engine_reads();
    ASSERT_GE(reads.size(), 3u);
    EXPECT_EQ(std::vector<int>(reads.begin(), reads.begin() + 3), (std::vector<int>{0x00, 0xF0, 0x00}));
    std::vector<std::string> w = engine_writes(kTq63Engine, 1);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.front(), "FD=FF");
    EXPECT_EQ(w.back(), "20=00");
    bool waited = false;
    for (const SimWait &x : sim_sleep_waits()) waited = waited || x.ms == 1000;
    EXPECT_TRUE(waited);
    std::string power = read_file(k2dNode);
    EXPECT_EQ(power, "1");

    // The boot loader already runs: no identification.
    sim_i2c_clear_transfers(kBus);
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &request), 0);
    reads = engine_reads();
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 0xF0), 0);
    // Forced: neither the state nor the identification is read.
    sim_i2c_clear_transfers(kBus);
    request.FirmwareOper = 1;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &request), 0);
    reads = engine_reads();
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 0x00) + std::count(reads.begin(), reads.end(), 0xF0), 0);
    EXPECT_EQ(record_.powerLocked, 0);

    // A wrong identification: the read's byte count, the lock cleared.
    engine_regs_[0x00] = 0;
    engine_regs_[0x01] = 0;
    engine_regs_[0xF0] = 4;
    request.FirmwareOper = 0;
    EXPECT_EQ(record_.scanner_ioctrl(&record_, SCANNER_IOCTRL_UPGRADE, 0, &request), 3);
    EXPECT_TRUE(logged("TQ63 ID Error And TQ53 ID Error"));
    EXPECT_EQ(record_.powerLocked, 0);
}

TEST_F(Tq63Test, VersionTexts) {
    char out[ENGINE_VERSION_SIZE] = {};
    ExposureFree();  // forget a library an earlier test's root held
    // No decoder and no exposure library.
    start_tq63(3);
    EXPECT_EQ(record_.scanner_version(&record_, out), 9);
    EXPECT_STREQ(out, "Exposure:");
    install_exposure();
    EXPECT_EQ(record_.scanner_version(&record_, out), 17);
    EXPECT_STREQ(out, "Exposure:1.01.012");
}

TEST_F(Tq63Test, VersionWithTheDecodersBannerIsCutToTheField) {
    install_decoder();
    install_exposure();
    start_tq63(3);
    char out[ENGINE_VERSION_SIZE + 8];
    memset(out, 'Z', sizeof out);
    int n = record_.scanner_version(&record_, out);
    EXPECT_EQ(n, static_cast<int>(strlen(out)));
    EXPECT_LE(n, ENGINE_VERSION_SIZE - 1);
    EXPECT_EQ(out[ENGINE_VERSION_SIZE], 'Z');
    std::string text(out);
    const std::string tail = " TQ63(SV-V25 HV-V12)\nExposure:1.01.012";
    if (text.size() < ENGINE_VERSION_SIZE - 1) {
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
    }
}

TEST_F(Tq63Test, CloseAnswersZeroAndDeinitLeavesNothing) {
    start_tq63(3);
    unregister_device(PORT_KIND_SWITCH2D, 0);
    EXPECT_EQ(record_.scanner_close(&record_), 0);
    EXPECT_EQ(record_.scanner_deinit(&record_), 0);
    record_.common = nullptr;
}

}  // namespace
