// The MIPI bridge on the simulated I2C bus and the exposure wrappers with a fake
// exposure library.
#include <linux/i2c.h>

#include <string>
#include <vector>

#include "wrapper_test.h"

namespace {

constexpr char kBus[] = "/dev/i2c-2";
constexpr int kChannel = 2;
constexpr uint16_t kBridge = 0x0E;

std::string hex(const std::vector<uint8_t> &bytes) {
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        snprintf(b, sizeof b, "%02X ", v);
        out += b;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

class MipiBridgeTest : public WrapperTest {
  protected:
    void SetUp() override {
        WrapperTest::SetUp();
        make_dirs("/dev");
        ASSERT_EQ(sim_i2c_bus_create(kBus), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, kChannel, kBus), 0);
    }
    // The data bytes (after the register number) of every write, as "reg: bytes".
    static std::vector<std::string> writes(const std::vector<SimI2cTransfer> &transfers) {
        std::vector<std::string> out;
        for (const SimI2cTransfer &t : transfers) {
            if (t.msgs.size() != 1 || (t.msgs[0].flags & I2C_M_RD) != 0) continue;
            const std::vector<uint8_t> &b = t.msgs[0].bytes;
            if (t.msgs[0].addr != kBridge || b.size() < 2) {
                out.push_back("?");
                continue;
            }
            char reg[8];
            snprintf(reg, sizeof reg, "%02X%02X:", b[0], b[1]);
            out.push_back(reg + std::string(" ") + hex(std::vector<uint8_t>(b.begin() + 2, b.end())));
        }
        return out;
    }
};

const std::vector<std::string> kTableWrites = {
    "0002: 00 01",       "0002: 00 00",       "0016: 20 81",       "0018: 02 13",       "0006: 00 C8",
    "0008: 00 60",       "0022: 05 E0",       "0140: 00 00 00 00", "0144: 00 00 00 00", "0148: 00 01 00 00",
    "014C: 00 01 00 00", "0150: 00 01 00 00", "0210: 30 00 00 00", "0214: 00 05 00 00", "0218: 20 04 00 00",
    "021C: 00 03 00 00", "0220: 10 05 00 00", "0224: 50 00 00 00", "0228: 00 0A 00 00", "022C: 00 04 00 00",
    "0234: 00 03 00 00", "0238: 00 00 00 00", "0204: 00 01 00 00", "0518: 00 01 00 00", "0500: 80 A0 A3 00",
    "0004: 02 40",
};

TEST_F(MipiBridgeTest, InitReadsTheIdAndWritesTheTableInOrder) {
    ASSERT_EQ(sim_i2c_add_device(kBus, kBridge, 2), 0);
    uint8_t *regs = sim_i2c_registers(kBus, kBridge);
    regs[0] = 0x44;
    regs[1] = 0x01;
    size_t transfers_at_wait = 0;
    sim_sleep_set_hook([&](int) { transfers_at_wait = sim_i2c_transfers(kBus).size(); });
    EXPECT_EQ(control_mipi(kChannel, 1), 0);
    sim_sleep_set_hook(nullptr);
    std::vector<SimI2cTransfer> t = sim_i2c_transfers(kBus);
    ASSERT_EQ(t.size(), 27u);
    // One 2-byte read of register 0x0000.
    ASSERT_EQ(t[0].msgs.size(), 2u);
    EXPECT_EQ(hex(t[0].msgs[0].bytes), "00 00");
    EXPECT_EQ(t[0].msgs[1].len, 2);
    EXPECT_EQ(t[0].msgs[1].addr, kBridge);
    EXPECT_EQ(writes(t), kTableWrites);
    EXPECT_EQ(sim_sleep_waits().size(), 1u);
    EXPECT_EQ(sim_sleep_waits()[0].ms, 1);
    EXPECT_EQ(transfers_at_wait, 2u) << "the wait follows entry 1 only";
    EXPECT_TRUE(logged("tc358746_read_id [44] [1]"));
    EXPECT_TRUE(logged("tc358746_init ================="));
    EXPECT_EQ(regs[4], 0x02);
    EXPECT_EQ(regs[5], 0x40);
}

TEST_F(MipiBridgeTest, AnAbsentChipIsStillTriedEverywhere) {
    EXPECT_EQ(tc358746_init(kChannel), 0);
    std::vector<SimI2cTransfer> t = sim_i2c_transfers(kBus);
    ASSERT_EQ(t.size(), 27u);
    for (const SimI2cTransfer &x : t) EXPECT_LT(x.result, 0);
    EXPECT_TRUE(logged("tc358746_read_id [0] [0]"));
    // Without a port at all every access fails without effect.
    EXPECT_EQ(tc358746_init(5), 0);
    EXPECT_EQ(sim_i2c_transfers(kBus).size(), 27u);
}

TEST_F(MipiBridgeTest, DeinitResetsWithoutAPriorInit) {
    ASSERT_EQ(sim_i2c_add_device(kBus, kBridge, 2), 0);
    ASSERT_NE(i2c_open(kChannel), nullptr);
    EXPECT_EQ(control_mipi(kChannel, 0), 0);
    std::vector<SimI2cTransfer> t = sim_i2c_transfers(kBus);
    EXPECT_EQ(writes(t), std::vector<std::string>{"0002: 00 01"});
    EXPECT_TRUE(logged("tc358746_deinit ================="));
    EXPECT_TRUE(sim_sleep_waits().empty());
}

class ExposureTest : public WrapperTest {
  protected:
    void install_library() { install(FAKE_LUMACTL, "/system/lib64/liblumactl.so"); }
    std::string calls() {
        auto fn = module_fn<const char *(*)()>("/system/lib64/liblumactl.so", "fake_luma_calls");
        return fn != nullptr ? fn() : "<not loaded>";
    }
    void script_init(std::vector<int> results) {
        auto fn = module_fn<void (*)(const int *, int)>("/system/lib64/liblumactl.so", "fake_luma_script_init");
        ASSERT_NE(fn, nullptr);
        fn(results.data(), static_cast<int>(results.size()));
    }
};

TEST_F(ExposureTest, NothingIsBoundBeforeTheLibraryIsLoaded) {
    install_library();
    uint8_t frame[16] = {};
    EXPECT_EQ(GetImageLux(frame, 4, 4), -1);
    EXPECT_EQ(ExposureAjust(100, 50, 1), -1);
    CmosStandby(1);
    EXPECT_FALSE(logged("CmosStandby"));
    EXPECT_STREQ(GetVisionString(), "1.01.012");
    EXPECT_EQ(GetImageLux(frame, 4, 4), 77);
    EXPECT_EQ(ExposureAjust(100, 50, 1), 5);
    CmosStandby(1);
    EXPECT_TRUE(logged("CmosStandby [1]"));
    EXPECT_EQ(calls(), "lux 4x4;ajust 100 50;standby 1;") << "the library gets exactly (target, current)";
    ExposureFree();
    EXPECT_EQ(GetImageLux(frame, 4, 4), -1);
}

TEST_F(ExposureTest, AFailedInitIsRetriedUntilOneSucceeds) {
    install_library();
    EXPECT_EQ(GetVisionString(), std::string("1.01.012"));
    script_init({-2, 0, -3});
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(calls(), "init 1;init 0;");
}

TEST_F(ExposureTest, DeinitFirstMeansTheLibraryInitNeverRuns) {
    install_library();
    ExposureDeInit();
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(calls(), "");
    uint8_t frame[4] = {};
    EXPECT_EQ(GetImageLux(frame, 2, 2), 77) << "loaded by the init call";
}

// The service unloads the library at device close; a later start-up loads it again and it
// must be initialised again.
TEST_F(ExposureTest, ALibraryLoadedAgainIsInitialisedAgain) {
    install_library();
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(calls(), "init 1;");
    ExposureFree();
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 0), 0);
    const std::string after = calls();
    ASSERT_GE(after.size(), 7u);
    EXPECT_EQ(after.substr(after.size() - 7), "init 0;");
}

TEST_F(ExposureTest, WithoutTheLibraryEverythingFailsSoftly) {
    EXPECT_EQ(ExposureInit(nullptr, nullptr, nullptr, 1), 0);
    EXPECT_TRUE(logged("dlopen Error ["));
    EXPECT_EQ(GetVisionString(), nullptr);
    EXPECT_EQ(ExposureAjust(1, 2, 0), -1);
    CmosStandby(0);
    EXPECT_FALSE(logged("CmosStandby"));
}

}  // namespace
