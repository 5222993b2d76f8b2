// The I2C driver on the modelled bus, and the MTD record on a plain file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ports_test.h"

namespace {

constexpr char kBus[] = "/dev/i2c-2";
constexpr uint16_t kEngine = 0x12;  // 8-bit registers
constexpr uint16_t kSensor = 0x3C;  // 16-bit registers

using Bytes = std::vector<uint8_t>;

class I2cTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        make_dirs("/dev");
        ASSERT_EQ(sim_i2c_bus_create(kBus), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kEngine, 1), 0);
        ASSERT_EQ(sim_i2c_add_device(kBus, kSensor, 2), 0);
        ASSERT_EQ(register_device(PORT_KIND_I2C, 2, kBus), 0);
        dev_ = get_module_ops(PORT_KIND_I2C, 2);
        ASSERT_NE(dev_, nullptr);
        ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    }
    // Checks one recorded message.
    static void expect_msg(const SimI2cMessage &m, uint16_t addr, uint16_t flags, const Bytes &bytes) {
        EXPECT_EQ(m.addr, addr);
        EXPECT_EQ(m.flags, flags);
        EXPECT_EQ(m.len, bytes.size());
        EXPECT_EQ(m.timing, 400u);
        EXPECT_EQ(m.bytes, bytes);
    }
    PORT_DEVICE *dev_ = nullptr;
};

TEST_F(I2cTest, ReadSendsTheRegisterByteThenReads) {
    sim_i2c_registers(kBus, kEngine)[0xF5] = 0xA7;
    uint8_t value = 0;
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 0xF5, &value, 1), 0);
    EXPECT_EQ(value, 0xA7);
    auto transfers = sim_i2c_transfers(kBus);
    ASSERT_EQ(transfers.size(), 1u);
    ASSERT_EQ(transfers[0].msgs.size(), 2u);
    expect_msg(transfers[0].msgs[0], kEngine, 0, {0xF5});
    expect_msg(transfers[0].msgs[1], kEngine, 1, {0xA7});
}

TEST_F(I2cTest, WriteSendsTheRegisterLowByteAndData) {
    const uint8_t data[] = {1, 2, 3};
    EXPECT_EQ(dev_->i2c_write(dev_, kEngine, 0x1F4, data, 3), 0);
    auto transfers = sim_i2c_transfers(kBus);
    ASSERT_EQ(transfers.size(), 1u);
    ASSERT_EQ(transfers[0].msgs.size(), 1u);
    expect_msg(transfers[0].msgs[0], kEngine, 0, {0xF4, 1, 2, 3});
    const uint8_t *regs = sim_i2c_registers(kBus, kEngine);
    EXPECT_EQ(Bytes(regs + 0xF4, regs + 0xF7), Bytes({1, 2, 3}));
}

TEST_F(I2cTest, WordRegistersGoHighByteFirst) {
    const uint8_t data[] = {0xD0, 0xD1};
    EXPECT_EQ(dev_->i2c_write_word(dev_, kSensor, 0x3500, data, 2), 0);
    uint8_t back[2] = {};
    EXPECT_EQ(dev_->i2c_read_word(dev_, kSensor, 0x3500, back, 2), 0);
    EXPECT_EQ(Bytes(back, back + 2), Bytes({0xD0, 0xD1}));
    auto transfers = sim_i2c_transfers(kBus);
    ASSERT_EQ(transfers.size(), 2u);
    ASSERT_EQ(transfers[0].msgs.size(), 1u);
    expect_msg(transfers[0].msgs[0], kSensor, 0, {0x35, 0x00, 0xD0, 0xD1});
    ASSERT_EQ(transfers[1].msgs.size(), 2u);
    expect_msg(transfers[1].msgs[0], kSensor, 0, {0x35, 0x00});
    expect_msg(transfers[1].msgs[1], kSensor, 1, {0xD0, 0xD1});
}

TEST_F(I2cTest, LongWritesAreOneMessage) {
    Bytes data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(dev_->i2c_write_word(dev_, kSensor, 0x1000, data.data(), static_cast<int>(data.size())), 0);
    auto transfers = sim_i2c_transfers(kBus);
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].msgs[0].len, 1002);
    const uint8_t *regs = sim_i2c_registers(kBus, kSensor);
    EXPECT_EQ(Bytes(regs + 0x1000, regs + 0x1000 + data.size()), data);
}

TEST_F(I2cTest, AbsentDeviceFailsWithALogLine) {
    uint8_t buf[2] = {};
    EXPECT_EQ(dev_->i2c_read(dev_, 0x50, 0x10, buf, 2), -1);
    EXPECT_EQ(dev_->i2c_write(dev_, 0x51, 0x11, buf, 2), -1);
    EXPECT_EQ(dev_->i2c_read_word(dev_, 0x52, 0x1234, buf, 2), -1);
    EXPECT_EQ(dev_->i2c_write_word(dev_, 0x53, 0x1235, buf, 2), -1);
    EXPECT_TRUE(logged("module_i2c_read Error [50] [10] [/dev/i2c-2]"));
    EXPECT_TRUE(logged("module_i2c_write Error [51] [11] [/dev/i2c-2]"));
    EXPECT_TRUE(logged("module_i2c_read Error [52] [1234] [/dev/i2c-2]"));
    EXPECT_TRUE(logged("module_i2c_write Error [53] [1235] [/dev/i2c-2]"));
    EXPECT_EQ(sim_i2c_transfers(kBus).size(), 4u);
}

TEST_F(I2cTest, ZeroLengthReadFailsEvenWhenTheBusAccepts) {
    uint8_t buf[1];
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 0x10, buf, 0), -1);
    auto transfers = sim_i2c_transfers(kBus);
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0].result, 2);
    EXPECT_TRUE(logged("module_i2c_read Error [12] [10] [/dev/i2c-2]"));
}

// The message length is a 16-bit field: a length that does not fit would read or write
// past the caller's buffer, so it never reaches the bus.
TEST_F(I2cTest, LengthsOutsideTheMessageFieldAreRefused) {
    uint8_t buf[4] = {};
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 0x10, buf, -1), -1);
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 0x10, buf, 0x10000), -1);
    EXPECT_EQ(dev_->i2c_write(dev_, kEngine, 0x10, buf, -2), -1);
    EXPECT_EQ(dev_->i2c_write(dev_, kEngine, 0x10, buf, 0xFFFF), -1);
    EXPECT_EQ(dev_->i2c_write_word(dev_, kSensor, 0x10, buf, 0xFFFE), -1);
    EXPECT_TRUE(sim_i2c_transfers(kBus).empty());
    EXPECT_TRUE(logged("module_i2c_write Error [12] [10] [/dev/i2c-2]"));
}

TEST_F(I2cTest, ATransferCountOfZeroIsAFailure) {
    sim_i2c_force_result(kBus, 0);
    uint8_t buf[1] = {0};
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 1, buf, 1), -1);
    EXPECT_EQ(dev_->i2c_write(dev_, kEngine, 1, buf, 1), -1);
}

TEST_F(I2cTest, ClosedPortOrMissingBufferFailsQuietly) {
    uint8_t buf[1];
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 1, nullptr, 1), -1);
    EXPECT_EQ(dev_->i2c_write(dev_, kEngine, 1, nullptr, 1), -1);
    EXPECT_EQ(dev_->i2c_read(nullptr, kEngine, 1, buf, 1), -1);
    EXPECT_EQ(dev_->close(dev_, 0), 0);
    EXPECT_EQ(dev_->fd, -1);
    EXPECT_EQ(dev_->close(dev_, 0), 0);
    EXPECT_EQ(dev_->i2c_read(dev_, kEngine, 1, buf, 1), -1);
    EXPECT_TRUE(sim_i2c_transfers(kBus).empty());
    EXPECT_FALSE(logged("module_i2c"));
}

TEST_F(I2cTest, OpeningAgainClosesTheOldDescriptor) {
    int old = dev_->fd;
    ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    EXPECT_TRUE(old == dev_->fd || fcntl(old, F_GETFD) == -1) << "descriptor leaked";
}

TEST_F(I2cTest, OpenTakesAnotherPathWhenGiven) {
    ASSERT_EQ(sim_i2c_bus_create("/dev/i2c-5"), 0);
    ASSERT_EQ(sim_i2c_add_device("/dev/i2c-5", 0x60, 1), 0);
    char path[] = "/dev/i2c-5";
    ASSERT_EQ(dev_->open(dev_, path), 0);
    uint8_t b = 0x42;
    EXPECT_EQ(dev_->i2c_write(dev_, 0x60, 0x20, &b, 1), 0);
    EXPECT_EQ(sim_i2c_registers("/dev/i2c-5", 0x60)[0x20], 0x42);
    EXPECT_TRUE(sim_i2c_transfers(kBus).empty());
    char missing[] = "/dev/i2c-9";
    EXPECT_EQ(dev_->open(dev_, missing), -1);
    EXPECT_EQ(dev_->fd, -1);
}

class MtdTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        write_file("/dev/mtd/mtd1", std::string(64, '#'));
        ASSERT_EQ(register_device(PORT_KIND_MTD, 1, "/dev/mtd/mtd1"), 0);
        dev_ = get_module_ops(PORT_KIND_MTD, 1);
        ASSERT_NE(dev_, nullptr);
    }
    PORT_DEVICE *dev_ = nullptr;
};

TEST_F(MtdTest, WritesAtMost49BytesAndTheMarker) {
    ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    std::string sixty(60, 's');
    for (int i = 0; i < 60; ++i) sixty[static_cast<size_t>(i)] = static_cast<char>('A' + i % 26);
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>(sixty.data()), 60), 0);
    EXPECT_EQ(read_file("/dev/mtd/mtd1"), sixty.substr(0, 49) + "@" + std::string(14, '#'));
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>("SN01"), 4), 0);
    EXPECT_EQ(read_file("/dev/mtd/mtd1").substr(0, 6), "SN01@" + sixty.substr(5, 1));
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>(""), 0), 0);
    EXPECT_EQ(read_file("/dev/mtd/mtd1").substr(0, 2), "@N");
    EXPECT_EQ(dev_->close(dev_, 0), 0);
}

TEST_F(MtdTest, ReadsTheFirst50Bytes) {
    ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    ASSERT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>("TERM-0042"), 9), 0);
    uint8_t buf[MTD_RECORD_SIZE + 4];
    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 10), "TERM-0042@");
    EXPECT_EQ(buf[49], '#');
    EXPECT_EQ(buf[50], 0xEE);
}

TEST_F(MtdTest, ShortPartitionOrSmallBufferFails) {
    write_file("/dev/mtd/mtd1", std::string(30, 'x'));
    ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    uint8_t buf[MTD_RECORD_SIZE];
    memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), -1);
    EXPECT_EQ(buf[0], 0xEE);
    write_file("/dev/mtd/mtd1", std::string(64, 'y'));
    EXPECT_EQ(dev_->read(dev_, buf, MTD_RECORD_SIZE - 1, 0), -1);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_TRUE(logged("module_mtd_read buffer too small [49] [50]"));
}

TEST_F(MtdTest, ClosedDeviceOrBadArgumentsFail) {
    uint8_t buf[MTD_RECORD_SIZE];
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), -1);
    EXPECT_EQ(dev_->write(dev_, buf, 4), -1);
    ASSERT_EQ(dev_->open(dev_, nullptr), 0);
    EXPECT_EQ(dev_->write(dev_, nullptr, 4), -1);
    EXPECT_EQ(dev_->write(dev_, buf, -1), -1);
    EXPECT_EQ(dev_->read(dev_, nullptr, 50, 0), -1);
    EXPECT_EQ(dev_->close(dev_, 0), 0);
    EXPECT_EQ(dev_->fd, -1);
    ASSERT_EQ(register_device(PORT_KIND_MTD, 2, "/dev/mtd/missing"), 0);
    PORT_DEVICE *missing = get_module_ops(PORT_KIND_MTD, 2);
    EXPECT_EQ(missing->open(missing, nullptr), -1);
}

}  // namespace
