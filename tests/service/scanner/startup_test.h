// Start-up tests: a terminal's configuration under the platform root (CONFIG.xml, the
// devices of "DRIVEREN" as files and a simulated I2C bus, engine files, defaults) and the
// exported API driving the device through its start-up threads.
#pragma once

#include <string.h>
#include <sys/system_properties.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common_atomic.h"
#include "scanner_test.h"

// The parameters every test engine declares; the cache holds them in this order.
inline const char kEngineCodes[] =
    "<QRCode><Enable>0</Enable><Minlen>0</Minlen><Maxlen>0</Maxlen></QRCode>"
    "<Aztec><Enable>0</Enable><Minlen>0</Minlen></Aztec>"
    "<Empty/>";

class StartupTest : public ScannerTest {
  protected:
    void SetUp() override {
        ScannerTest::SetUp();
        make_dirs("/cache");
        write_file("/sys/scan/scan_switch", "");
        write_file("/sys/scan2d/power", "");
        write_file("/dev/mtdserial", std::string(64, '\0'));
        ASSERT_EQ(sim_i2c_bus_create("/dev/i2c-1"), 0);
        write_encrypted("DRIVEREN",
                        "<?xml version=\"1.0\"?>\n<Driver>\n"
                        "  <SWITCH1D name=\"0\">/sys/scan/</SWITCH1D>\n"
                        "  <SWITCH2D name=\"0\">/sys/scan2d/power</SWITCH2D>\n"
                        "  <I2C name=\"1\">/dev/i2c-1</I2C>\n"
                        "  <MTD name=\"1\">/dev/mtdserial</MTD>\n"
                        "  <Other name=\"3\">/dev/other</Other>\n"
                        "</Driver>\n");
    }
    void TearDown() override {
        release_hook();
        sim_sleep_set_hook(nullptr);
        zpt_scandeinit();
        ScannerTest::TearDown();
    }

    // CONFIG.xml in the configuration directory.
    void write_config(const std::string &scanner_type, const std::vector<std::string> &scans) {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Config>\n  <ScannerType>" + scanner_type +
                          "</ScannerType>\n";
        for (const std::string &s : scans) xml += "  <Scan>" + s + "</Scan>\n";
        write_file(std::string(kConfigDir) + "CONFIG.xml", xml + "</Config>\n");
    }
    // An engine: its file (name, kind, wake mode, codes), its library and its behaviour.
    void add_engine(const std::string &name, int kind, int wake, const std::vector<std::string> &behaviour,
                    const std::string &build = "") {
        write_engine_file(name + "EN", {{"Scaninfo", name},
                                        {"Scantype", std::to_string(kind)},
                                        {"ScanWakeUp", std::to_string(wake)},
                                        {"TrigChannel", "0"},
                                        {"PowerChannel", "0"},
                                        {"Code", kEngineCodes}});
        ASSERT_TRUE(mock_engine::install(root_, build.empty() ? name : build, "/system/lib64/", name));
        behave(build.empty() ? name : build, behaviour);
    }
    void write_defaults(const std::string &body) {
        write_encrypted("DEFAULTEN", "<?xml version=\"1.0\"?>\n<Defaults>" + body + "</Defaults>\n");
    }

    // Starts the device; with ready, waits until it reports ready.
    void start(bool ready = true) {
        ASSERT_EQ(zpt_scaninit(), 1);
        ASSERT_NE(m_scanner_dev, nullptr);
        if (ready) {
            ASSERT_TRUE(eventually([] { return zpt_scangetstate() == 1; }));
        }
    }
    // Waits until both start-up threads have ended.
    static bool threads_ended() {
        return eventually([] {
            return common_load(g_probe_thread.running) == 0 && common_load(g_post_probe_thread.running) == 0;
        });
    }
    static std::string property(const char *name) {
        char value[PROPERTY_VALUE_MAX] = {};
        property_get(name, value, nullptr);
        return value;
    }

    // A gate in the sleep seam: the first wait of ms on the start-up's thread blocks there
    // until released.
    void hold_first_wait(int ms) {
        sim_sleep_set_hook([this, ms](int waited) {
            std::unique_lock<std::mutex> g(gate_m_);
            if (waited != ms || gate_used_) return;
            gate_used_ = true;
            held_ = true;
            gate_cv_.notify_all();
            gate_cv_.wait(g, [this] { return released_; });
        });
    }
    bool wait_held() {
        std::unique_lock<std::mutex> g(gate_m_);
        return gate_cv_.wait_for(g, kHangGuard, [this] { return held_; });
    }
    void release_hook() {
        std::lock_guard<std::mutex> g(gate_m_);
        released_ = true;
        gate_cv_.notify_all();
    }

    std::mutex gate_m_;
    std::condition_variable gate_cv_;
    bool gate_used_ = false;
    bool held_ = false;
    bool released_ = false;
};
