// The RV2X/RV1X driver as the service loads it, over the PL7230 tests' root: the engine at
// 0x12 on the simulated bus (a device hook models its boot loader and refusals), the MIPI
// bridge at 0x0E, the switch lines of power channel 0 and this host's camera library.
#pragma once

#include <stdint.h>

#include <atomic>
#include <string>
#include <vector>

#include "pl7230_test.h"

inline constexpr char kRvPlatform1[] = "MSM8X12_TX52"; // platform type 1
inline constexpr char kRvPlatform2[] = "MSM8909_TX07"; // platform type 2
inline constexpr char kRvProbePath[] = "/sys/bus/platform/rv21";
inline constexpr char kRvSwitchDir[] = "/sys/devices/scan1d/";
inline constexpr char kRvSwitch[] = "/sys/devices/scan1d/scan_switch";
inline constexpr uint16_t kRvEngine = 0x12;
inline constexpr uint16_t kRvBridge = 0x0E;

// The engine's behaviour beyond its registers, read by the bus's device hook.
struct Rv21BusModel {
    std::atomic<int> refuseAll{0};     // every message refused
    std::atomic<int> refuseWrites[256]; // writes to the register refused (its value kept)
    std::atomic<int> skewRead{-1};     // reads of this register come back changed
    std::atomic<int> lastRegister{-1};
    void reset() {
        refuseAll = 0;
        for (auto &r : refuseWrites) r = 0;
        skewRead = -1;
        lastRegister = -1;
    }
};
inline Rv21BusModel &rv21_bus() {
    static Rv21BusModel model;
    return model;
}

inline std::string rv21_engine_xml(const char *platform_name, const std::string &platform,
                                   const std::string &device) {
    std::string dev = "<ScanFormat>0</ScanFormat><ScanBuffer>3</ScanBuffer>" + device;
    std::string devices;
    for (const char *name : {"RV21", "RV27", "RV17", "RV19"})
        devices += std::string("<") + name + ">" + dev + "</" + name + ">";
    return std::string("<?xml version=\"1.0\"?>\n<Engine><ScanProbe><Cmd name=\"") + platform_name + "\">" +
           kRvProbePath + "</Cmd></ScanProbe><ScanEngine><" + platform_name +
           "><DriverChannel>2</DriverChannel><PowerChannel>0</PowerChannel>" + platform + "</" + platform_name +
           "></ScanEngine><Devices>" + devices + "</Devices></Engine>\n";
}

class Rv21Test : public Pl7230Test {
  protected:
    void SetUp() override {
        Pl7230Test::SetUp();
        load_driver(RV21_LIBRARY);
        rv21_bus().reset();
        write_file(kRvSwitch, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kRvSwitchDir), 0);
        write_file(kRvProbePath, "");
        ASSERT_EQ(sim_i2c_add_device(kBus, kRvBridge, 2), 0);
    }
    void TearDown() override {
        Pl7230Test::TearDown();
        nodes_.clear(); // freed: a case table may tear down and set up again
    }
    void add_rv_engine(uint8_t id) {
        ASSERT_EQ(sim_i2c_add_device(kBus, kRvEngine, 1), 0);
        regs_ = sim_i2c_registers(kBus, kRvEngine);
        regs_[0xF0] = id;
        sim_i2c_set_device_hook(kBus, kRvEngine, [](uint8_t *regs, bool read, const uint8_t *bytes, uint16_t len) {
            Rv21BusModel &m = rv21_bus();
            if (m.refuseAll.load() != 0) return false;
            if (!read) {
                if (len >= 1) m.lastRegister = bytes[0];
                if (len >= 2) {
                    std::atomic<int> &left = m.refuseWrites[bytes[0]];
                    if (left.load() > 0) {
                        --left;
                        return false;
                    }
                    // Work mode 0xFF starts the boot loader, whose state then reads CE 50.
                    if (bytes[0] == 0xFD && bytes[1] == 0xFF) {
                        regs[0x00] = 0xCE;
                        regs[0x01] = 0x50;
                    }
                }
            } else if (m.lastRegister.load() == m.skewRead.load() && m.lastRegister.load() >= 0) {
                regs[m.lastRegister.load()] ^= 0x01;
            }
            return true;
        });
    }
    void set_area_register(const int32_t (&words)[4]) { memcpy(regs_ + 0xCB, words, sizeof words); }
    // Probe and initialise one engine; QR Code on by its setting.
    void start_rv(uint8_t id, const char *platform_name = kRvPlatform1, const std::string &platform = "",
                  const std::string &device = "") {
        add_rv_engine(id);
        open_engine_xml(rv21_engine_xml(platform_name, platform, device));
        add_qr_enable("default=\"1\" ");
        ASSERT_EQ(record_.scanner_probe(&record_), 0);
        ASSERT_EQ(record_.scanner_init(&record_), 0);
        record_.scanner_sync(&record_, "QR", "Enable");
    }
    // Successful writes to the engine as "RR=VV" (first data byte), in order.
    static std::vector<std::string> rv_writes(uint16_t addr = kRvEngine) {
        std::vector<std::string> out;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus)) {
            if (t.result < 0 || t.msgs.size() != 1 || t.msgs[0].addr != addr) continue;
            if ((t.msgs[0].flags & PLAT_I2C_M_RD) != 0 || t.msgs[0].bytes.size() < 2) continue;
            char line[32];
            snprintf(line, sizeof line, "%02X=%02X", t.msgs[0].bytes[0], t.msgs[0].bytes[1]);
            out.push_back(line);
        }
        return out;
    }
    // Transfers the bridge was asked for.
    static int bridge_transfers() {
        int n = 0;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kBus))
            if (!t.msgs.empty() && t.msgs[0].addr == kRvBridge) ++n;
        return n;
    }
    // Camera-library calls of the journal without their handles ("cam_open", "cam_ioctrl 0x22 1").
    std::vector<std::string> camera_calls() const {
        std::vector<std::string> out;
        for (const std::string &line : journal()) {
            if (line.rfind("cam_ioctrl ", 0) == 0) {
                size_t code = line.find(' ', strlen("cam_ioctrl "));
                out.push_back("cam_ioctrl" + line.substr(code));
            } else if (line.rfind("cam_init", 0) != 0) {
                out.push_back(line.substr(0, line.find(' ')));
            }
        }
        return out;
    }
    std::vector<int> waits_of(int ms) const {
        std::vector<int> out;
        for (const SimWait &w : sim_sleep_waits())
            if (w.ms == ms) out.push_back(w.ms);
        return out;
    }
    void wait_idle() {
        ASSERT_TRUE(eventually([&] { return common_load(record_.common->mState) == COMMON_STATE_IDLE; }));
    }
    static int count_in(const std::string &text, const std::string &needle) {
        int n = 0;
        for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
        return n;
    }
    // The core's low-power thread logs this once after every close callback.
    int cycles_closed() const { return count_in(log_text(), "SCANNER_IOCTRL_LOWPOWER=====================Running"); }
    void start_cycle() {
        closed_before_ = cycles_closed();
        ASSERT_EQ(record_.scanner_start_decode(&record_, on_event, nullptr, 0), 0);
    }
    // Stops the cycle and waits until its close callback has run.
    void end_cycle() {
        record_.scanner_stop_decode(&record_, 0);
        wait_idle();
        ASSERT_TRUE(eventually([&] { return cycles_closed() > closed_before_; }));
    }

    uint8_t *regs_ = nullptr;
    int closed_before_ = 0;
};
