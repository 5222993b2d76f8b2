// Switch, 2D switch and GPIO lines on plain files under the test root.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "ports_test.h"

namespace {

constexpr char kSwitchDir[] = "/sys/devices/switch/";

class LinesTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        make_dirs(kSwitchDir);
        ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 0, kSwitchDir), 0);
        ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 0, "/sys/devices/scan2d/power"), 0);
        ASSERT_EQ(register_device(PORT_KIND_GPIO, 0, "/sys/class/gpio/gpio90/value"), 0);
        sw_ = get_module_ops(PORT_KIND_SWITCH1D, 0);
        sw2d_ = get_module_ops(PORT_KIND_SWITCH2D, 0);
        gpio_ = get_module_ops(PORT_KIND_GPIO, 0);
        ASSERT_TRUE(sw_ && sw2d_ && gpio_);
    }
    std::string node(const char *name) const { return std::string(kSwitchDir) + name; }
    PORT_DEVICE *sw_ = nullptr;
    PORT_DEVICE *sw2d_ = nullptr;
    PORT_DEVICE *gpio_ = nullptr;
};

TEST_F(LinesTest, EveryKeywordWritesItsExactBytes) {
    struct Case {
        int code;
        std::string bytes;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {MODULE_IOCRL_POWER_ON, "power_on\0"s},       {MODULE_IOCRL_POWER_OFF, "power_off\0"s},
        {MODULE_IOCRL_TRIGGER_ON, "trigger_on\0"s},   {MODULE_IOCRL_TRIGGER_OFF, "trigger_off\0"s},
        {MODULE_IOCRL_MIPICHIP_ON, "mipichip_on"s},   {MODULE_IOCRL_MIPICHIP_OFF, "mipichip_off"s},
        {MODULE_IOCRL_AIMER_ON, "aimer_on"s},         {MODULE_IOCRL_AIMER_OFF, "aimer_off"s},
        {MODULE_IOCRL_ILLUM_ON, "illum_on"s},         {MODULE_IOCRL_ILLUM_OFF, "illum_off"s},
        {MODULE_IOCRL_WAKE_ON, "wake_on\0"s},         {MODULE_IOCRL_WAKE_OFF, "wake_off\0"s},
    };
    for (const Case &c : cases) {
        write_file(node("scan_switch"), "");
        EXPECT_EQ(sw_->ioctrl(sw_, c.code, 0, nullptr), 0) << c.code;
        EXPECT_EQ(read_file(node("scan_switch")), c.bytes) << "code " << c.code;
    }
}

TEST_F(LinesTest, KeywordOnMissingNodeFails) {
    EXPECT_EQ(sw_->ioctrl(sw_, MODULE_IOCRL_POWER_ON, 0, nullptr), -1);
    EXPECT_TRUE(logged("open(" + node("scan_switch") + ") failed: No such file or directory (2)"));
}

TEST_F(LinesTest, SetCodesWriteOneDigitFromThePointedInteger) {
    struct Case {
        int code;
        const char *node;
    };
    const Case cases[] = {
        {MODULE_IOCRL_SET_UART_RTS, "uart_rts"}, {MODULE_IOCRL_SET_UART_CTS, "uart_cts"},
        {MODULE_IOCRL_SET_PSAM_EN, "psam_en"},   {MODULE_IOCRL_SET_PSAM_RST, "psam_rst"},
        {MODULE_IOCRL_VBACK_FAC, "vback_fac"},
    };
    for (const Case &c : cases) {
        for (int level : {5, 0, -1, 1}) {
            write_file(node(c.node), "");
            // The value argument is never read: only the pointed-to integer counts.
            EXPECT_EQ(sw_->ioctrl(sw_, c.code, !level, &level), 0);
            EXPECT_EQ(read_file(node(c.node)), level != 0 ? "1" : "0") << c.node << " " << level;
        }
    }
    EXPECT_TRUE(logged("MODULE_IOCRL_VBACK_FAC [" + node("vback_fac") + "] [5]"));
}

TEST_F(LinesTest, SetCodeWithoutLevelIsRefused) {
    write_file(node("uart_rts"), "0");
    EXPECT_EQ(sw_->ioctrl(sw_, MODULE_IOCRL_SET_UART_RTS, 1, nullptr), -1);
    EXPECT_EQ(read_file(node("uart_rts")), "0");
}

TEST_F(LinesTest, GetCodesReadTheLevelAndNeverChangeTheLine) {
    struct Case {
        int code;
        const char *node;
    };
    const Case cases[] = {
        {MODULE_IOCRL_GET_UART_RTS, "uart_rts"},
        {MODULE_IOCRL_GET_UART_CTS, "uart_cts"},
        {MODULE_IOCRL_GET_PSAM_EN, "psam_en"},
        {MODULE_IOCRL_GET_PSAM_RST, "psam_rst"},
    };
    for (const Case &c : cases) {
        int one = 1;
        write_file(node(c.node), "1\n");
        EXPECT_EQ(sw_->ioctrl(sw_, c.code, 0, nullptr), 1) << c.node;
        write_file(node(c.node), "0");
        EXPECT_EQ(sw_->ioctrl(sw_, c.code, 1, &one), 0) << c.node;
        EXPECT_EQ(read_file(node(c.node)), "0") << c.node;
    }
}

TEST_F(LinesTest, GetOnMissingNodeReadsZeroAndLogs) {
    EXPECT_EQ(sw_->ioctrl(sw_, MODULE_IOCRL_GET_UART_CTS, 0, nullptr), 0);
    EXPECT_TRUE(logged("open(" + node("uart_cts") + ") failed: No such file or directory (2)"));
}

TEST_F(LinesTest, EachDriverAnswersOnlyItsOwnCodes) {
    int one = 1;
    write_file("/sys/devices/scan2d/power", "");
    write_file(node("scan_switch"), "");
    for (int code : std::initializer_list<int>{MODULE_IOCRL_POWER_ON, MODULE_IOCRL_AIMER_ON, MODULE_IOCRL_SET_UART_RTS, MODULE_IOCRL_GPIO_SET,
                     MODULE_IOCRL_SERIAL_SPEED, 0, 0x2d, 0x100})
        EXPECT_EQ(sw2d_->ioctrl(sw2d_, code, 1, &one), -1) << code;
    for (int code : std::initializer_list<int>{MODULE_IOCRL_2D_POWER_ON, MODULE_IOCRL_2D_POWER_OFF, MODULE_IOCRL_SERIAL_FLUSH,
                     MODULE_IOCRL_GPIO_SET, MODULE_IOCRL_GET_UART_RTS - 0x10, 0x2d, 0x2f})
        EXPECT_EQ(sw_->ioctrl(sw_, code, 1, &one), -1) << code;
    EXPECT_EQ(read_file("/sys/devices/scan2d/power"), "");
    EXPECT_EQ(read_file(node("scan_switch")), "");
    EXPECT_EQ(sw_->ioctrl(nullptr, MODULE_IOCRL_POWER_ON, 0, nullptr), -1);
    EXPECT_EQ(sw2d_->ioctrl(nullptr, MODULE_IOCRL_2D_POWER_ON, 0, nullptr), -1);
    EXPECT_EQ(gpio_->ioctrl(nullptr, MODULE_IOCRL_GPIO_SET, 0, &one), -1);
}

TEST_F(LinesTest, TwoDSwitchWritesOneDigitIntoItsNode) {
    write_file("/sys/devices/scan2d/power", "");
    EXPECT_EQ(sw2d_->ioctrl(sw2d_, MODULE_IOCRL_2D_POWER_ON, 0, nullptr), 0);
    EXPECT_EQ(read_file("/sys/devices/scan2d/power"), "1");
    EXPECT_EQ(sw2d_->ioctrl(sw2d_, MODULE_IOCRL_2D_POWER_OFF, 0, nullptr), 0);
    EXPECT_EQ(read_file("/sys/devices/scan2d/power"), "0");
    unlink(host("/sys/devices/scan2d/power").c_str());
    EXPECT_EQ(sw2d_->ioctrl(sw2d_, MODULE_IOCRL_2D_POWER_ON, 0, nullptr), -1);
    EXPECT_TRUE(logged("open(/sys/devices/scan2d/power) failed: No such file or directory (2)"));
}

TEST_F(LinesTest, GpioWritesTheDecimalValueAndAlwaysAnswersZero) {
    const std::string value = "/sys/class/gpio/gpio90/value";
    for (int level : {1, 0, -12, 255}) {
        write_file(value, "");
        EXPECT_EQ(gpio_->ioctrl(gpio_, MODULE_IOCRL_GPIO_SET, 0, &level), 0);
        EXPECT_EQ(read_file(value), std::to_string(level) + "\n");
    }
    write_file(value, "1\n");
    EXPECT_EQ(gpio_->ioctrl(gpio_, MODULE_IOCRL_GPIO_GET, 0, nullptr), 0);
    EXPECT_EQ(read_file(value), "1\n");
    EXPECT_EQ(gpio_->ioctrl(gpio_, 0x2d, 0, nullptr), 0);
    unlink(host(value).c_str());
    int one = 1;
    EXPECT_EQ(gpio_->ioctrl(gpio_, MODULE_IOCRL_GPIO_SET, 0, &one), 0);
    EXPECT_EQ(gpio_->ioctrl(gpio_, MODULE_IOCRL_GPIO_GET, 0, nullptr), 0);
    EXPECT_FALSE(exists(value));
}

// Node paths are built in 100 bytes: the longest path that fits works, one more character
// is refused rather than cut (a cut name would address another node).
TEST_F(LinesTest, SwitchPathThatDoesNotFitIsRefused) {
    const std::string node_name = "scan_switch";
    std::string fits = "/sys/" + std::string(99 - node_name.size() - 6, 'd') + "/";
    std::string too_long = "/sys/" + std::string(99 - node_name.size() - 5, 'd') + "/";
    ASSERT_EQ(fits.size() + node_name.size(), 99u);
    for (const std::string &dir : {fits, too_long}) {
        make_dirs(dir);
        write_file(dir + node_name, "");
    }
    ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 1, fits.c_str()), 0);
    ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 2, too_long.c_str()), 0);
    PORT_DEVICE *ok = get_module_ops(PORT_KIND_SWITCH1D, 1);
    PORT_DEVICE *bad = get_module_ops(PORT_KIND_SWITCH1D, 2);
    EXPECT_EQ(ok->ioctrl(ok, MODULE_IOCRL_AIMER_ON, 0, nullptr), 0);
    EXPECT_EQ(read_file(fits + node_name), "aimer_on");
    EXPECT_EQ(bad->ioctrl(bad, MODULE_IOCRL_AIMER_ON, 0, nullptr), -1);
    EXPECT_EQ(read_file(too_long + node_name), "");
    EXPECT_FALSE(exists(too_long + "scan_switc"));
    EXPECT_TRUE(logged("Switch Driver node path too long [100] [99] [scan_switch]"));
}

TEST_F(LinesTest, LinePathThatDoesNotFitIsRefused) {
    std::string too_long = "/sys/" + std::string(99 - 7 - 5, 'e') + "/";  // + "psam_en" is 100
    write_file(too_long + "psam_en", "0");
    ASSERT_EQ(register_device(PORT_KIND_SWITCH1D, 1, too_long.c_str()), 0);
    PORT_DEVICE *bad = get_module_ops(PORT_KIND_SWITCH1D, 1);
    int one = 1;
    EXPECT_EQ(bad->ioctrl(bad, MODULE_IOCRL_SET_PSAM_EN, 0, &one), -1);
    EXPECT_EQ(bad->ioctrl(bad, MODULE_IOCRL_GET_PSAM_EN, 0, nullptr), -1);
    EXPECT_EQ(read_file(too_long + "psam_en"), "0");
    // psam_rst is one character longer: refused as well.
    EXPECT_EQ(bad->ioctrl(bad, MODULE_IOCRL_SET_PSAM_RST, 0, &one), -1);
}

TEST_F(LinesTest, TwoDSwitchPathThatDoesNotFitIsRefused) {
    std::string too_long = "/sys/" + std::string(95, 'n');
    write_file(too_long, "");
    ASSERT_EQ(register_device(PORT_KIND_SWITCH2D, 1, too_long.c_str()), 0);
    PORT_DEVICE *bad = get_module_ops(PORT_KIND_SWITCH2D, 1);
    EXPECT_EQ(bad->ioctrl(bad, MODULE_IOCRL_2D_POWER_ON, 0, nullptr), -1);
    EXPECT_EQ(read_file(too_long), "");
}

}  // namespace
