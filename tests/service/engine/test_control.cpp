// Port and control wrappers: lines on switch files under the test root, read through the
// write journal and the recording sleep seam; I2C on the modelled bus; the UART speed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test.h"

namespace {

using namespace std::string_literals;
using Writes = std::vector<std::string>;

constexpr char kSwitchDir[] = "/sys/devices/switch/";
constexpr char kSwitchNode[] = "/sys/devices/switch/scan_switch";
constexpr char k2dNode[] = "/sys/devices/scan2d/power";

class LinesTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        for (const char *node : {"scan_switch", "uart_rts", "uart_cts"}) write_file(std::string(kSwitchDir) + node, "");
        write_file(k2dNode, "");
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
        ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, k2dNode), 0);
    }
    void TearDown() override {
        if (record_.common != nullptr) common_scanner_deinit(&record_, nullptr);
        EngineTest::TearDown();
    }
    // A record with its runtime state, its threads idle; journal and waits cleared.
    void init(int kind) {
        record_ = make_record(kind);
        ASSERT_EQ(common_scanner_init(&record_, nullptr, nullptr, nullptr, nullptr), 0);
        sim_io_clear();
        sim_sleep_clear();
    }
    ENGINE_RECORD record_{};
};

TEST_F(LinesTest, OpenAndCloseSwitchTheEngineByItsKind) {
    init(ENGINE_KIND_SERIAL);
    EXPECT_EQ(common_scanner_open(&record_), 0);
    EXPECT_EQ(sim_writes(kSwitchNode), (Writes{"wake_on\0"s, "trigger_off\0"s, "power_on\0"s}));
    EXPECT_EQ(waits_ms(), std::vector<int>{300});
    EXPECT_EQ(record_.opened, 1);
    EXPECT_TRUE(logged("common_scanner_open=============power"));

    sim_io_clear();
    sim_sleep_clear();
    EXPECT_EQ(common_scanner_close(&record_), 0);
    EXPECT_EQ(sim_writes(kSwitchNode), (Writes{"wake_off\0"s, "trigger_off\0"s, "power_off\0"s}));
    EXPECT_EQ(waits_ms(), std::vector<int>{300});
    EXPECT_EQ(record_.opened, 0);

    // Wake mode 0 keeps the line off while probing and switches it on at close.
    sim_io_clear();
    record_.ScanWakeUp = 0;
    EXPECT_EQ(common_scanner_open(&record_), 0);
    EXPECT_EQ(common_scanner_close(&record_), 0);
    EXPECT_EQ(sim_writes(kSwitchNode), (Writes{"wake_off\0"s, "trigger_off\0"s, "power_on\0"s, "wake_on\0"s,
                                               "trigger_off\0"s, "power_off\0"s}));
    ASSERT_EQ(common_scanner_deinit(&record_, nullptr), 0);

    init(ENGINE_KIND_CAMERA);
    EXPECT_EQ(common_scanner_open(&record_), 0);
    EXPECT_EQ(sim_writes(k2dNode), Writes{"1"});
    EXPECT_TRUE(sim_writes(kSwitchNode).empty());
    EXPECT_EQ(waits_ms(), std::vector<int>{300});

    // Locked during an upgrade: refused, nothing written, still open.
    sim_io_clear();
    record_.powerLocked = 1;
    EXPECT_EQ(common_scanner_close(&record_), -1);
    EXPECT_TRUE(sim_writes(k2dNode).empty());
    EXPECT_EQ(record_.opened, 1);
    record_.powerLocked = 0;

    EXPECT_EQ(common_scanner_open(nullptr), -1);
    ENGINE_RECORD bare = make_record(ENGINE_KIND_CAMERA);
    EXPECT_EQ(common_scanner_open(&bare), -1);
    EXPECT_EQ(common_scanner_close(&bare), -1);
}

TEST_F(LinesTest, PowerLockAndSwitchFailuresFollowTheirRules) {
    struct Case {
        const char *name;
        int locked;
        bool remove_nodes;
        int (*call)(ENGINE_RECORD *);
        int result;
        Writes switch_writes;
        Writes node_2d_writes;
        std::vector<int> waits;
    };
    const Case cases[] = {
        {"power on locked", 1, false, [](ENGINE_RECORD *r) { return control_power(r, 1); }, -1, {}, {}, {}},
        {"power off locked", 1, false, [](ENGINE_RECORD *r) { return control_power(r, 0); }, -1, {}, {}, {}},
        {"2D on locked", 1, false, [](ENGINE_RECORD *r) { return control_2dpower(r, 1); }, 0, {}, {"1"}, {300}},
        {"2D off locked", 1, false, [](ENGINE_RECORD *r) { return control_2dpower(r, 0); }, -1, {}, {}, {}},
        {"2D on failing", 0, true, [](ENGINE_RECORD *r) { return control_2dpower(r, 1); }, -1, {}, {}, {}},
        {"power on failing", 0, true, [](ENGINE_RECORD *r) { return control_power(r, 1); }, -1, {}, {}, {300}},
        {"power 2 is off", 0, false, [](ENGINE_RECORD *r) { return control_power(r, 2); }, 0, {"power_off\0"s}, {},
         {300}},
        {"trigger 2 is off", 0, false, [](ENGINE_RECORD *r) { return control_trig(r, 2); }, 0, {"trigger_off\0"s}, {},
         {}},
        {"trigger 1", 0, false, [](ENGINE_RECORD *r) { return control_trig(r, 1); }, 0, {"trigger_on\0"s}, {}, {}},
        {"wake 2 is on", 0, false, [](ENGINE_RECORD *r) { return control_wake(r->TrigChannel, 2); }, 0,
         {"wake_on\0"s}, {}, {}},
        {"aimer", 0, false, [](ENGINE_RECORD *r) { return control_aimer(r, 1) + control_aimer(r, 3); }, 0,
         {"aimer_on", "aimer_off"}, {}, {}},
        {"illumination", 0, false, [](ENGINE_RECORD *r) { return control_illum(r, 1) + control_illum(r, 0); }, 0,
         {"illum_on", "illum_off"}, {}, {}},
        {"no record", 0, false, [](ENGINE_RECORD *) {
             return control_power(nullptr, 1) + control_2dpower(nullptr, 1) + control_trig(nullptr, 1) +
                    control_aimer(nullptr, 1) + control_illum(nullptr, 1) + control_set_rts(nullptr, 1) +
                    control_get_cts(nullptr);
         }, -7, {}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ENGINE_RECORD r = make_record(ENGINE_KIND_SERIAL);
        r.powerLocked = c.locked;
        if (c.remove_nodes) {
            ASSERT_EQ(unregister_device(PORT_KIND_SWITCH1D, 0), 0);
            ASSERT_EQ(unregister_device(PORT_KIND_SWITCH2D, 0), 0);
            ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, "/sys/missing/"), 0);
            ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, "/sys/missing/power"), 0);
        }
        sim_io_clear();
        sim_sleep_clear();
        EXPECT_EQ(c.call(&r), c.result);
        EXPECT_EQ(sim_writes(kSwitchNode), c.switch_writes);
        EXPECT_EQ(sim_writes(k2dNode), c.node_2d_writes);
        EXPECT_EQ(waits_ms(), c.waits);
        if (c.remove_nodes) {
            unregister_device(PORT_KIND_SWITCH1D, 0);
            unregister_device(PORT_KIND_SWITCH2D, 0);
            ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
            ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, k2dNode), 0);
        }
    }
}

TEST_F(LinesTest, AllLinesSwitchEveryChannelThenWaitHalfASecond) {
    EXPECT_EQ(control_all_power(1), 0);
    EXPECT_EQ(sim_writes(kSwitchNode), (Writes{"wake_off\0"s, "power_on\0"s}));
    EXPECT_EQ(sim_writes(k2dNode), Writes{"1"});
    EXPECT_EQ(waits_ms(), std::vector<int>{500});
    while (unregister_device(0, -1) == 0) {
    }
    sim_io_clear();
    sim_sleep_clear();
    EXPECT_EQ(control_all_power(0), 0);
    EXPECT_TRUE(sim_io_journal().empty());
    EXPECT_EQ(waits_ms(), std::vector<int>{500});
}

TEST_F(LinesTest, HandshakeLinesAndTheUhfPower) {
    ENGINE_RECORD r = make_record(ENGINE_KIND_SERIAL);
    write_file(std::string(kSwitchDir) + "uart_cts", "1");
    EXPECT_EQ(control_set_rts(&r, 1), 0);
    EXPECT_EQ(control_set_rts(&r, 0), 0);
    EXPECT_EQ(sim_writes("/sys/devices/switch/uart_rts"), (Writes{"1", "0"}));
    EXPECT_EQ(control_get_cts(&r), 1);
    write_file("/sys/class/gpio/gpio7/value", "");
    ASSERT_EQ(register_device(PORT_KIND_GPIO, 1, "/sys/class/gpio/gpio7/value"), 0);
    EXPECT_EQ(control_uhf(1), 0);
    EXPECT_EQ(sim_writes("/sys/class/gpio/gpio7/value"), Writes{"1\n"});
    r.TrigChannel = 5;
    EXPECT_EQ(control_set_rts(&r, 1), -1);
    EXPECT_EQ(control_get_cts(&r), -1);
    EXPECT_EQ(control_trig(&r, 1), -1);
}

// ---- I2C on the modelled bus ----

constexpr char kBus[] = "/dev/i2c-3";
constexpr uint8_t kAbsent = 0x30;
constexpr uint8_t kDevice = 0x21;

class I2cTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        make_dirs("/dev");
        ASSERT_EQ(sim_i2c_bus_create(kBus), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kDevice, 1), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, 3, kBus), 0);
        ASSERT_NE(i2c_open(3), nullptr);
        sim_i2c_clear_transfers(kBus);
    }
    size_t transfers() const { return sim_i2c_transfers(kBus).size(); }
};

TEST_F(I2cTest, AttemptsAndDelaysAgainstAnAbsentDevice) {
    using ReadOp = int (*)(int, uint8_t, int, uint8_t *, int, int, int);
    using WriteOp = int (*)(int, uint8_t, int, const uint8_t *, int, int, int);
    struct Case {
        const char *name;
        ReadOp read;
        WriteOp write;
        int tries;
        int result;
        size_t attempts;
    };
    const Case cases[] = {
        {"read", i2c_read, nullptr, 3, -1, 3},
        {"read word", i2c_read_word, nullptr, 3, -1, 3},
        {"write", nullptr, i2c_write, 3, 0, 3},
        {"write word", nullptr, i2c_write_word, 3, 0, 3},
        {"read, no tries", i2c_read, nullptr, 0, -1, 1},
        {"read, tries below 0", i2c_read, nullptr, -1, -1, 1},
        {"read word, tries below 0", i2c_read_word, nullptr, -5, -1, 1},
        {"write, tries below 0", nullptr, i2c_write, -1, 0, 1},
        {"echo, tries below 0", nullptr, i2c_write_echo, -1, -1, 1},
        {"echo", nullptr, i2c_write_echo, 3, -1, 3},
    };
    uint8_t buf[2] = {0x55, 0x66};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_i2c_clear_transfers(kBus);
        sim_sleep_clear();
        int r = c.read != nullptr ? c.read(3, kAbsent, 0x10, buf, 2, 10, c.tries) : c.write(3, kAbsent, 0x10, buf, 2, 10, c.tries);
        EXPECT_EQ(r, c.result);
        // The echo reads back once per attempt.
        size_t per_attempt = c.write == i2c_write_echo ? 2 : 1;
        EXPECT_EQ(transfers(), c.attempts * per_attempt);
        EXPECT_EQ(waits_ms(), std::vector<int>(c.attempts, 10));
    }
    EXPECT_EQ(i2c_read_direct(3, kAbsent, 0x10, buf, 2), -1);
    EXPECT_EQ(i2c_write_direct(3, kAbsent, 0x10, buf, 2), 0);
    EXPECT_EQ(i2c_read(9, kDevice, 0, buf, 1, 0, 1), -1) << "no port";
    EXPECT_EQ(i2c_write(9, kDevice, 0, buf, 1, 0, 1), -1) << "no port";
}

TEST_F(I2cTest, PresentDeviceReadsWritesAndEchoes) {
    const uint8_t value[3] = {0x5A, 0x01, 0x02};
    EXPECT_EQ(i2c_write(3, kDevice, 0x40, value, 3, 10, 3), 3);
    uint8_t back[3] = {};
    EXPECT_EQ(i2c_read(3, kDevice, 0x40, back, 3, 10, 3), 3);
    EXPECT_EQ(memcmp(back, value, 3), 0);
    EXPECT_TRUE(waits_ms().empty());

    sim_i2c_clear_transfers(kBus);
    const uint8_t echo[1] = {0x77};
    EXPECT_EQ(i2c_write_echo(3, kDevice, 0x50, echo, 1, 10, 3), 1);
    std::vector<SimI2cTransfer> t = sim_i2c_transfers(kBus);
    ASSERT_EQ(t.size(), 2u) << "one write, one read back";
    EXPECT_EQ(t[0].msgs.size(), 1u);
    EXPECT_EQ(t[1].msgs.size(), 2u);
    EXPECT_EQ(waits_ms(), std::vector<int>{10});

    // The write is not acknowledged, but the register already holds the value.
    sim_i2c_registers(kBus, kDevice)[0x60] = 0x33;
    sim_i2c_fail_writes(kBus, 5);
    sim_sleep_clear();
    const uint8_t same[1] = {0x33};
    EXPECT_EQ(i2c_write_echo(3, kDevice, 0x60, same, 1, 10, 3), 1);
    EXPECT_EQ(waits_ms(), std::vector<int>{10});
    // Neither acknowledged nor held: the last write's status after every attempt.
    const uint8_t other[1] = {0x34};
    sim_sleep_clear();
    EXPECT_EQ(i2c_write_echo(3, kDevice, 0x60, other, 1, 10, 2), -1);
    EXPECT_EQ(waits_ms(), (std::vector<int>{10, 10}));
    sim_i2c_fail_writes(kBus, 0);
    // Acknowledged but read back different (a read-only register): 0.
    sim_i2c_registers(kBus, kDevice)[0x61] = 0;
    EXPECT_EQ(i2c_write_echo(3, kDevice, 0x61, other, 1, 0, 1), 1);
    EXPECT_EQ(i2c_close(3), 0);
    EXPECT_EQ(i2c_close(9), -1);
    EXPECT_EQ(i2c_open(9), nullptr);
}

// ---- The UART speed ----

TEST_F(EngineTest, TheRememberedSpeedSetsTheReplyGap) {
    make_dirs("/dev");
    SimPty pty;
    ASSERT_EQ(sim_pty_open(&pty, "/dev/ttyS1"), 0);
    ASSERT_EQ(register_device(PORT_KIND_UART, 1, "/dev/ttyS1"), 0);
    EXPECT_EQ(getBaydrateDelay(), 1);
    int fd = serial_open(1, 9600, 0);
    EXPECT_GT(fd, 0);
    EXPECT_EQ(getBaydrateDelay(), 1) << "opening does not set the remembered speed";
    EXPECT_EQ(serial_speed(1, 9600), 0);
    EXPECT_EQ(getBaydrateDelay(), 5);
    EXPECT_EQ(serial_open(1, 38400, 0), fd) << "an open port only changes speed";
    EXPECT_EQ(getBaydrateDelay(), 2);
    EXPECT_EQ(serial_speed(1, 12345), -1);
    EXPECT_EQ(getBaydrateDelay(), 2) << "a refused speed is not remembered";
    EXPECT_EQ(serial_open_param(1, 115200, 0, 7, 2, 'e'), fd) << "an open port is left as it is";
    EXPECT_EQ(serial_ctsrts(1, 0), 0);
    EXPECT_EQ(serial_clear(1), 0);
    EXPECT_EQ(serial_close(1), 0);
    EXPECT_EQ(serial_speed(2, 9600), -1);
    EXPECT_EQ(serial_open(2, 9600, 0), -1);
    EXPECT_EQ(serial_read(2, nullptr, 0, 0), -1);
    EXPECT_EQ(serial_write(2, nullptr, 0), -1);
    EXPECT_EQ(serial_close(2), -1);
    int t0 = msleep(25);
    EXPECT_EQ(t0, 0);
    EXPECT_EQ(waits_ms(), std::vector<int>{25});
    sim_pty_close(&pty);
}

}  // namespace
