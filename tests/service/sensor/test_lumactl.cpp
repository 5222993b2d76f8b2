// The exposure library as the runtime loads it (by file, its functions by name), against a
// CMOS sensor with 2-byte registers at 0x60 on the simulated bus.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/i2c.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hwports.h"
#include "plat.h"
#include "readercore.h"
#include "service_log.h"
#include "sim.h"

namespace {

constexpr char kLumaBus[] = "/dev/i2c-3";
constexpr int kLumaChannel = 3;
constexpr uint16_t kLumaSensor = 0x60;

using LumaWriteFn = int (*)(uint16_t, const uint8_t *, int);
using LumaReadFn = int (*)(uint16_t, uint8_t *, int);
using LumaSleepFn = void (*)(int);
using LumaLogFn = void (*)(const char *, ...);

int g_luma_refuse_at = -1;  // the index of the write the bus refuses (-1: none)
int g_luma_write_count = 0;
std::string g_luma_log;

int luma_bus_write(uint16_t reg, const uint8_t *data, int length) {
    if (g_luma_write_count++ == g_luma_refuse_at) sim_i2c_fail_writes(kLumaBus, 1);
    return i2c_write_word(kLumaChannel, kLumaSensor, reg, data, length, 0, 1) == length ? 0 : -1;
}
int luma_bus_read(uint16_t reg, uint8_t *data, int length) {
    return i2c_read_word(kLumaChannel, kLumaSensor, reg, data, length, 0, 1);
}
void luma_sleep(int ms) { plat_sleep_ms(ms); }
void luma_log(const char *format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_luma_log += line;
}

class LumaTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        sim_kernel_install();
        sim_sleep_install(0);
        make_dirs("/dev");
        make_dirs("/data");
        ASSERT_EQ(sim_i2c_bus_create(kLumaBus), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, kLumaChannel, kLumaBus), 0);
        ASSERT_NE(i2c_open(kLumaChannel), nullptr);
        g_luma_refuse_at = -1;
        g_luma_write_count = 0;
        g_luma_log.clear();
        // A fresh copy of the library for every test: its state lives in its data.
        handle_ = dlopen(LUMACTL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        init = sym<int (*)(LumaWriteFn, LumaReadFn, LumaSleepFn, uint8_t)>("ExposureInit");
        lux = sym<int (*)(const uint8_t *, int, int)>("GetImageLux");
        ajust = sym<int (*)(int, int)>("ExposureAjust");
        standby = sym<void (*)(int)>("CmosStandby");
        version = sym<const char *(*)()>("GetVisionString");
        dbg = sym<void (*)(const char *, ...)>("Dbg");
        log_init = sym<void (*)(LumaLogFn)>("log_init");
        gray_max = sym<int32_t *>("GrayLevelMax");
        gray_max_num = sym<int32_t *>("GrayLevelMax_num");
        gray_spot = sym<int32_t *>("GrayLevelSpot");
    }
    void TearDown() override {
        if (handle_ != nullptr) dlclose(handle_);
        handle_ = nullptr;
        i2c_close(kLumaChannel);
        while (unregister_device(0, -1) == 0) {
        }
        sim_sleep_remove();
        sim_kernel_remove();
        ServiceTest::TearDown();
    }
    template <typename T>
    T sym(const char *name) {
        void *p = dlsym(handle_, name);
        EXPECT_NE(p, nullptr) << name;
        return reinterpret_cast<T>(p);
    }
    uint8_t *add_sensor(uint8_t id_high = 0x77, uint8_t id_low = 0x50) {
        EXPECT_EQ(sim_i2c_add_device(kLumaBus, kLumaSensor, 2), 0);
        uint8_t *regs = sim_i2c_registers(kLumaBus, kLumaSensor);
        regs[0x300A] = id_high;
        regs[0x300B] = id_low;
        return regs;
    }
    // Every register write that reached the bus, as "RRRR=VV", a refused one as "!".
    static std::vector<std::string> writes() {
        std::vector<std::string> out;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kLumaBus)) {
            if (t.msgs.size() != 1 || (t.msgs[0].flags & I2C_M_RD) != 0) continue;
            const std::vector<uint8_t> &b = t.msgs[0].bytes;
            if (t.result < 0) {  // the bus keeps no bytes of a refused write
                out.push_back("!");
                continue;
            }
            char line[32];
            snprintf(line, sizeof line, "%02X%02X=%02X", b.size() > 0 ? b[0] : 0, b.size() > 1 ? b[1] : 0,
                     b.size() > 2 ? b[2] : 0);
            out.push_back(line);
        }
        return out;
    }
    static std::vector<std::string> tail(const std::vector<std::string> &all, size_t n) {
        return std::vector<std::string>(all.end() - static_cast<std::ptrdiff_t>(std::min(n, all.size())), all.end());
    }
    static std::vector<int> waits() {
        std::vector<int> out;
        for (const SimWait &w : sim_sleep_waits()) out.push_back(w.ms);
        return out;
    }
    std::string debug_file() const { return exists("/data/Q7_control.log") ? read_file("/data/Q7_control.log") : ""; }
    int init_bus(uint8_t sensor_init) { return init(luma_bus_write, luma_bus_read, luma_sleep, sensor_init); }

    void *handle_ = nullptr;
    int (*init)(LumaWriteFn, LumaReadFn, LumaSleepFn, uint8_t) = nullptr;
    int (*lux)(const uint8_t *, int, int) = nullptr;
    int (*ajust)(int, int) = nullptr;
    void (*standby)(int) = nullptr;
    const char *(*version)() = nullptr;
    void (*dbg)(const char *, ...) = nullptr;
    void (*log_init)(LumaLogFn) = nullptr;
    int32_t *gray_max = nullptr;
    int32_t *gray_max_num = nullptr;
    int32_t *gray_spot = nullptr;
};

const std::vector<std::string> kLumaSetupRows = {"0100=00", "3808=02", "3809=80", "380A=01", "380B=E0", "380C=03",
                                                 "380D=A0", "380E=02", "380F=04", "5000=85", "5001=80"};
const std::vector<std::string> kLumaControlRows = {"3503=07", "3509=10", "3600=1C", "3602=62", "3620=B7",
                                                   "3622=04", "3626=21", "3627=30", "3634=41", "3636=00",
                                                   "3662=01", "3664=F0", "3669=1A", "366A=00", "366B=50"};

std::vector<std::string> luma_exposure_rows(const char *e0, const char *e1, const char *e2, const char *g0,
                                            const char *g1) {
    return {std::string("3500=") + e0, std::string("3501=") + e1, std::string("3502=") + e2,
            std::string("350A=") + g0, std::string("350B=") + g1};
}

TEST_F(LumaTest, InitWithTheSensorSetUp) {
    add_sensor();
    ASSERT_EQ(init_bus(1), 0);
    std::vector<std::string> expected = {"0103=01"};
    expected.insert(expected.end(), kLumaSetupRows.begin(), kLumaSetupRows.end());
    expected.insert(expected.end(), kLumaControlRows.begin(), kLumaControlRows.end());
    std::vector<std::string> exposure = luma_exposure_rows("00", "1F", "60", "00", "10");
    expected.insert(expected.end(), exposure.begin(), exposure.end());
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(waits(), (std::vector<int>{10, 20}));
    std::string file = debug_file();
    EXPECT_NE(file.find("ExposureInit, pfn_i2c_write: "), std::string::npos);
    EXPECT_NE(file.find("bSensorInit: 1\r\n"), std::string::npos);
    EXPECT_NE(file.find("ExposureInit, reset cmos\r\nExposureInit, exposure init 1\r\nExposureInit, exposure init 2\r\n"),
              std::string::npos);
    char pointer[16];
    snprintf(pointer, sizeof pointer, "%08x",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(reinterpret_cast<void *>(luma_bus_write))));
    EXPECT_NE(file.find(std::string("pfn_i2c_write: ") + pointer + ","), std::string::npos);
}

TEST_F(LumaTest, InitFailuresAsATable) {
    struct LumaInitCase {
        const char *what;
        bool sensor;
        uint8_t id_low;
        uint8_t sensor_init;
        int refuse_at;
        int result;
        size_t written;  // writes that reached the bus, the refused one included
    };
    const LumaInitCase cases[] = {
        {"wrong identification", true, 0x51, 1, -1, -3, 0},
        {"no sensor answers", false, 0x50, 1, -1, -2, 0},
        {"refused reset", true, 0x50, 1, 0, -4, 1},
        {"refused set-up row", true, 0x50, 1, 3, -4, 4},
        {"refused control row", true, 0x50, 0, 2, -4, 3},
        {"refused exposure write", true, 0x50, 0, 16, -2, 17},
        {"no identification without set-up", true, 0x51, 0, -1, 0, 20},
    };
    for (const LumaInitCase &c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        if (c.sensor) add_sensor(0x77, c.id_low);
        g_luma_refuse_at = c.refuse_at;
        log_init(luma_log);
        EXPECT_EQ(init_bus(c.sensor_init), c.result);
        std::vector<std::string> w = writes();
        EXPECT_EQ(w.size(), c.written);
        if (c.refuse_at >= 0 && !w.empty()) {
            EXPECT_EQ(w.back(), "!") << "nothing after the refused write";
        }
        size_t reads = 0;
        for (const SimI2cTransfer &t : sim_i2c_transfers(kLumaBus)) reads += t.msgs.size() == 2 ? 1 : 0;
        EXPECT_EQ(reads, c.sensor_init != 0 ? (c.sensor ? 2u : 1u) : 0u);
    }
    EXPECT_TRUE(g_luma_log.empty());
    TearDown();
    SetUp();
    add_sensor(0x77, 0x51);
    log_init(luma_log);
    EXPECT_EQ(init_bus(1), -3);
    EXPECT_NE(g_luma_log.find("77 51"), std::string::npos) << g_luma_log;
    // A missing function: nothing is stored or written.
    EXPECT_EQ(init(nullptr, luma_bus_read, luma_sleep, 1), -1);
    EXPECT_EQ(init(luma_bus_write, nullptr, luma_sleep, 1), -1);
    EXPECT_EQ(init(luma_bus_write, luma_bus_read, nullptr, 1), -1);
    EXPECT_EQ(ajust(128, 64), 0) << "the write function of the failed identification stays stored";
}

TEST_F(LumaTest, AjustAsATable) {
    struct LumaAjustCase {
        int target, current;
        std::vector<std::string> rows;
    };
    const LumaAjustCase cases[] = {
        {128, 64, luma_exposure_rows("00", "1F", "60", "00", "20")},   // gain 2, exposure 502
        {128, 200, luma_exposure_rows("00", "14", "10", "00", "10")},  // gain 1, exposure 321
        {128, 1, luma_exposure_rows("00", "1F", "60", "03", "00")},    // gain 48, exposure 502
    };
    uint8_t *regs = add_sensor();
    for (const LumaAjustCase &c : cases) {
        SCOPED_TRACE(c.current);
        TearDown();
        SetUp();
        regs = add_sensor();
        ASSERT_EQ(init_bus(0), 0);
        sim_i2c_clear_transfers(kLumaBus);
        EXPECT_EQ(ajust(c.target, c.current), 0);
        EXPECT_EQ(writes(), c.rows);
    }
    // A black frame neither traps nor stores a 0: from gain 48 and exposure 502 it holds.
    sim_i2c_clear_transfers(kLumaBus);
    EXPECT_EQ(ajust(128, 0), 0);
    EXPECT_EQ(ajust(128, 1), 0);
    EXPECT_EQ(tail(writes(), 5), luma_exposure_rows("00", "1F", "60", "03", "00"));
    // A target of 0 still leaves both at their least.
    EXPECT_EQ(ajust(0, 0), 0);
    EXPECT_EQ(tail(writes(), 5), luma_exposure_rows("00", "00", "10", "00", "10"));
    EXPECT_EQ(ajust(128, 64), 0) << "from exposure 1 and gain 1";
    EXPECT_EQ(tail(writes(), 5), luma_exposure_rows("00", "00", "20", "00", "10"));
    (void)regs;
}

TEST_F(LumaTest, AjustWithoutInitAndARefusedWrite) {
    EXPECT_EQ(ajust(128, 64), -1);
    EXPECT_NE(debug_file().find("ExposureAjust Error: Q7_i2c_write: 0\r\n"), std::string::npos);
    add_sensor();
    ASSERT_EQ(init_bus(0), 0);
    sim_i2c_clear_transfers(kLumaBus);
    g_luma_write_count = 0;
    g_luma_refuse_at = 1;
    log_init(luma_log);
    EXPECT_EQ(ajust(128, 64), -2);
    EXPECT_EQ(writes(), (std::vector<std::string>{"3500=00", "!"}));
    // The stored values went ahead of the sensor: the next call starts from gain 2.
    EXPECT_EQ(ajust(128, 128), 0);
    EXPECT_EQ(tail(writes(), 5), luma_exposure_rows("00", "1F", "60", "00", "20"));
    EXPECT_NE(g_luma_log.find("Lux Target: 80, current: 80, exposure: 1f6, gain: 2\r\n"), std::string::npos);
    EXPECT_NE(g_luma_log.find("new exposure: 1f6, gain: 2\r\n"), std::string::npos);
}

TEST_F(LumaTest, StandbyVersionAndTheDebugFile) {
    add_sensor();
    log_init(luma_log);
    ASSERT_EQ(init_bus(0), 0);
    sim_i2c_clear_transfers(kLumaBus);
    standby(0);
    standby(1);
    EXPECT_EQ(writes(), (std::vector<std::string>{"0103=01", "0103=00"}));
    g_luma_refuse_at = g_luma_write_count;
    standby(1);
    EXPECT_STREQ(version(), "1.01.012");
    std::string file = debug_file();
    char pointer[16];
    snprintf(pointer, sizeof pointer, "%08x",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(reinterpret_cast<void *>(luma_log))));
    EXPECT_EQ(file.rfind(std::string("log_init, pfn_log: ") + pointer + "\r\nExposureInit, pfn_i2c_write: ", 0), 0u)
        << file;
    EXPECT_NE(file.find("CmosStandby: 0\nCmosStandby: 1\nCmosStandby, i2c write error\r\nCmosStandby: 1\n"),
              std::string::npos)
        << file;
    // A long line is cut to 2,047 characters, appended after the others.
    std::string long_line(3000, 'q');
    dbg("%s", long_line.c_str());
    std::string after = debug_file();
    EXPECT_EQ(after.size(), file.size() + 2047);
    EXPECT_EQ(after.substr(file.size()), long_line.substr(0, 2047));
}

// The sampled pixels of a 640 x 480 frame, from the worked positions.
std::vector<size_t> luma_samples_640() {
    std::vector<size_t> out;
    for (int y = 120; y <= 357; y += 3) {
        for (int x = 160; x <= 238; x += 2) out.push_back(static_cast<size_t>(y) * 640 + x);
        for (int x = 240; x <= 399; ++x) out.push_back(static_cast<size_t>(y) * 640 + x);
        for (int x = 400; x <= 478; x += 2) out.push_back(static_cast<size_t>(y) * 640 + x);
    }
    return out;
}

TEST_F(LumaTest, LuxSamplesTheCentre) {
    std::vector<uint8_t> frame(640 * 480, 200);
    const std::vector<size_t> samples = luma_samples_640();
    for (size_t i : samples) frame[i] = 40;
    log_init(luma_log);
    EXPECT_EQ(lux(frame.data(), 640, 480), 40);
    EXPECT_EQ(*gray_max, 40);
    EXPECT_EQ(*gray_max_num, static_cast<int32_t>(samples.size()));
    EXPECT_EQ(samples.size(), 80u * 240u);
    EXPECT_EQ(*gray_spot, 0);
    EXPECT_NE(g_luma_log.find("Lux: 28\r\n"), std::string::npos);
    // A known histogram: 50 spots, then 20 and 30 alternating (a tie: the lower level wins).
    for (size_t n = 0; n < samples.size(); ++n) frame[samples[n]] = n < 50 ? (n % 2 ? 255 : 240) : (n % 2 ? 20 : 30);
    EXPECT_EQ(lux(frame.data(), 640, 480), (25 * 255 + 25 * 240 + 9575 * 50) / 19200);
    EXPECT_EQ(*gray_max, 20);
    EXPECT_EQ(*gray_max_num, 9575);
    EXPECT_EQ(*gray_spot, 50);
    frame[samples[61]] = 30;  // one 20 becomes a 30: 30 leads
    EXPECT_GT(lux(frame.data(), 640, 480), 0);
    EXPECT_EQ(*gray_max, 30);
    EXPECT_EQ(*gray_max_num, 9576);
    EXPECT_EQ(lux(nullptr, 640, 480), 0);
}

TEST_F(LumaTest, LuxStaysInsideEveryFrame) {
    struct LumaSizeCase {
        int width, height;
        bool sampled;
    };
    const LumaSizeCase cases[] = {{752, 480, true}, {1, 1, false}, {2, 2, true}, {3, 5, true}, {5, 7, true},
                                  {641, 481, true}, {7, 3, true}, {1, 9, false}, {0, 480, false}, {640, -1, false}};
    for (const LumaSizeCase &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        // An exact allocation, so that ASan sees any read past the frame.
        size_t size = c.width > 0 && c.height > 0 ? static_cast<size_t>(c.width) * c.height : 1;
        std::vector<uint8_t> frame(size, 77);
        EXPECT_EQ(lux(frame.data(), c.width, c.height), c.sampled ? 77 : 0);
    }
}

// A sensor whose frames have the mean min(255, k x exposure x gain) from its registers.
int luma_model_mean(const uint8_t *regs, double k) {
    int exposure = (((regs[0x3500] & 0x0F) << 16) | (regs[0x3501] << 8) | regs[0x3502]) / 16;
    int gain = (((regs[0x350A] & 0x07) << 8) | regs[0x350B]) / 16;
    double mean = k * exposure * gain;
    return mean >= 255 ? 255 : static_cast<int>(mean);
}

TEST_F(LumaTest, ClosedLoopReachesTheTarget) {
    struct LumaLoopCase {
        double k;
        int steps, tolerance;
    };
    const LumaLoopCase cases[] = {{0.006, 4, 4}, {0.02, 4, 4}, {0.1, 4, 4}, {0.255, 4, 4}, {0.5, 4, 4},
                                  {1, 4, 4},     {2, 4, 4},    {5, 8, 10},  {20, 8, 10}};
    std::vector<uint8_t> frame(640 * 480);
    for (const LumaLoopCase &c : cases) {
        SCOPED_TRACE(c.k);
        TearDown();
        SetUp();
        uint8_t *regs = add_sensor();
        ASSERT_EQ(init_bus(0), 0);
        for (int step = 0; step < c.steps; ++step) {
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(luma_model_mean(regs, c.k)));
            ASSERT_EQ(ajust(128, lux(frame.data(), 640, 480)), 0);
        }
        EXPECT_NEAR(luma_model_mean(regs, c.k), 128, c.tolerance);
    }
    // Too dark to reach: gain 48 and exposure 502 hold, never 0.
    TearDown();
    SetUp();
    uint8_t *regs = add_sensor();
    ASSERT_EQ(init_bus(0), 0);
    for (int step = 0; step < 6; ++step) {
        std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(luma_model_mean(regs, 0.001)));
        ASSERT_EQ(ajust(128, lux(frame.data(), 640, 480)), 0);
        EXPECT_EQ(tail(writes(), 5), luma_exposure_rows("00", "1F", "60", "03", "00"));
    }
}

}  // namespace
