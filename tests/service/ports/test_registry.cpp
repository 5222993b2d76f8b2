// The device registry: registration by kind and channel, lookup, unregistration.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "ports_test.h"

namespace {

using RegistryTest = PortsTest;

TEST_F(RegistryTest, EmptyRegistryFindsNothing) {
    EXPECT_EQ(get_module_ops(1, 0), nullptr);
    EXPECT_EQ(get_module_ops(1, -1), nullptr);
    EXPECT_EQ(unregister_device(1, 0), -1);
    EXPECT_FALSE(logged("unregister_device"));
}

TEST_F(RegistryTest, EachKindGetsItsDriverNameAndOperations) {
    struct Case {
        int kind;
        const char *kind_name;
        const char *driver;
        const char *ops;  // o c r w i R W r2 W2: which slots are set, '1' or '0'
    };
    const Case cases[] = {
        {1, "I2C", "I2c Driver", "110001111"},      {2, "UART", "Serial Driver", "111110000"},
        {3, "GPIO", "GPIO Driver", "000010000"},    {4, "SWITCH1D", "Switch Driver", "000010000"},
        {5, "SWITCH2D", "2DSwitch Driver", "000010000"}, {6, "MTD", "Mtd Driver", "111100000"},
        {7, "SENSOR", "", "000000000"},             {9, "none", "", "000000000"},
        {0, "none", "", "000000000"},
    };
    for (const Case &c : cases) {
        std::string path = "/dev/node" + std::to_string(c.kind);
        ASSERT_EQ(register_device(c.kind, 3, path.c_str()), 0);
        PORT_DEVICE *dev = get_module_ops(c.kind, 3);
        ASSERT_NE(dev, nullptr) << c.kind;
        EXPECT_STREQ(dev->name, c.driver);
        EXPECT_EQ(dev->path, path);
        EXPECT_EQ(dev->id, c.kind * 256 + 3);
        EXPECT_EQ(dev->fd, -1);
        const void *slots[] = {
            reinterpret_cast<const void *>(dev->open),          reinterpret_cast<const void *>(dev->close),
            reinterpret_cast<const void *>(dev->read),          reinterpret_cast<const void *>(dev->write),
            reinterpret_cast<const void *>(dev->ioctrl),        reinterpret_cast<const void *>(dev->i2c_read),
            reinterpret_cast<const void *>(dev->i2c_write),     reinterpret_cast<const void *>(dev->i2c_read_word),
            reinterpret_cast<const void *>(dev->i2c_write_word),
        };
        std::string set;
        for (const void *s : slots) set += s != nullptr ? '1' : '0';
        EXPECT_EQ(set, c.ops) << "kind " << c.kind;
        EXPECT_TRUE(logged("register_device id [" + std::string(c.kind_name) + "] channel [3] device [" + path + "]"))
            << c.kind;
    }
}

TEST_F(RegistryTest, IdIsKindTimes256PlusChannel) {
    ASSERT_EQ(register_device(6, 1, "/dev/mtd1"), 0);
    PORT_DEVICE *dev = get_module_ops(6, 1);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->id, 0x601);
    EXPECT_EQ(get_module_ops(6, 0), nullptr);
    EXPECT_EQ(get_module_ops(1, 1), nullptr);
}

TEST_F(RegistryTest, ChannelMinusOneGivesTheFirstPortOfAnyKind) {
    ASSERT_EQ(register_device(4, 0, "/sys/a/"), 0);
    ASSERT_EQ(register_device(1, 2, "/dev/i2c-2"), 0);
    PORT_DEVICE *first = get_module_ops(1, -1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->id, 4 * 256);
}

TEST_F(RegistryTest, DuplicatesStayAndTheEarlierIsReachedFirst) {
    ASSERT_EQ(register_device(1, 0, "/dev/first"), 0);
    ASSERT_EQ(register_device(1, 0, "/dev/second"), 0);
    EXPECT_STREQ(get_module_ops(1, 0)->path, "/dev/first");
    EXPECT_EQ(unregister_device(1, 0), 0);
    ASSERT_NE(get_module_ops(1, 0), nullptr);
    EXPECT_STREQ(get_module_ops(1, 0)->path, "/dev/second");
    EXPECT_TRUE(logged("unregister_device [I2c Driver]"));
}

TEST_F(RegistryTest, NullPathRegistersAnEmptyPath) {
    ASSERT_EQ(register_device(3, 0, nullptr), 0);
    EXPECT_STREQ(get_module_ops(3, 0)->path, "");
}

// A cut path would name another node: a path that does not fit is refused whole.
TEST_F(RegistryTest, OverLongPathIsRefused) {
    std::string fits = "/sys/" + std::string(PORT_PATH_SIZE - 1 - 5, 'p');
    std::string too_long = fits + "q";
    ASSERT_EQ(register_device(4, 0, fits.c_str()), 0);
    EXPECT_EQ(get_module_ops(4, 0)->path, fits);
    EXPECT_EQ(register_device(4, 1, too_long.c_str()), -1);
    EXPECT_EQ(get_module_ops(4, 1), nullptr);
    EXPECT_TRUE(logged("register_device path too long [200] [199] kind [4] channel [1]"));
}

TEST_F(RegistryTest, UnregisteringAnOpenUartClosesItsDescriptor) {
    SimPty pty;
    make_dirs("/dev");
    ASSERT_EQ(sim_pty_open(&pty, "/dev/ttyS1"), 0);
    ASSERT_EQ(register_device(2, 1, "/dev/ttyS1"), 0);
    PORT_DEVICE *dev = get_module_ops(2, 1);
    SERIAL_PARAM p = {9600, 0, 8, 1, 'N'};
    int fd = dev->open(dev, &p);
    ASSERT_GT(fd, 0);
    EXPECT_EQ(unregister_device(2, 1), 0);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(get_module_ops(2, 1), nullptr);
    sim_pty_close(&pty);
}

TEST_F(RegistryTest, InitialisersRefuseNull) {
    for (auto init : {module_i2c_init, module_serial_init, module_gpio_init, module_switch_init, module_2dswitch_init,
                      module_mtd_init})
        EXPECT_EQ(init(nullptr), -1);
}

}  // namespace
