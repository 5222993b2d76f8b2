// The UART driver on pseudo-terminals: framing as applied to the terminal, reads with a
// time-out, writes, and the control codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "ports_test.h"

namespace {

class SerialTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        make_dirs("/dev");
        ASSERT_EQ(sim_pty_open(&pty_, "/dev/ttyS1"), 0);
        ASSERT_EQ(register_device(PORT_KIND_UART, 1, "/dev/ttyS1"), 0);
        dev_ = get_module_ops(PORT_KIND_UART, 1);
        ASSERT_NE(dev_, nullptr);
    }
    void TearDown() override {
        if (own_fd_ >= 0) close(own_fd_);
        PortsTest::TearDown();
        sim_pty_close(&pty_);
    }
    // The settings the driver last applied to its descriptor.
    struct termios applied(int *count = nullptr) const {
        struct termios t {};
        EXPECT_TRUE(sim_termios_applied(dev_->fd, &t, count));
        return t;
    }
    // Settings made on the line before the driver opens it, through a descriptor of the
    // test's own that stays open.
    void preset_line(speed_t speed, bool two_stop_bits) {
        own_fd_ = open(pty_.slave, O_RDWR | O_NOCTTY);
        ASSERT_GE(own_fd_, 0);
        struct termios t;
        ASSERT_EQ(tcgetattr(own_fd_, &t), 0);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (two_stop_bits)
            t.c_cflag |= CSTOPB;
        else
            t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        ASSERT_EQ(tcsetattr(own_fd_, TCSANOW, &t), 0);
    }
    // Waits until the port has input, without consuming it.
    bool wait_readable(int timeout_ms) const {
        struct pollfd p = {dev_->fd, POLLIN, 0};
        return poll(&p, 1, timeout_ms) == 1;
    }
    int open_port(int speed, int blocking, int bits, int stop, int parity) {
        SERIAL_PARAM p = {speed, blocking, bits, stop, parity};
        return dev_->open(dev_, &p);
    }
    SimPty pty_;
    PORT_DEVICE *dev_ = nullptr;
    int own_fd_ = -1;
};

TEST_F(SerialTest, OpensNonBlockingWithSpeedAndFraming) {
    int fd = open_port(9600, 0, 8, 2, 'e');
    ASSERT_GT(fd, 0);
    EXPECT_EQ(dev_->fd, fd);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    struct termios t = applied();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & PARENB, 0u);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), 0u);
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    // Raw mode: no input translation, no output processing, no line discipline.
    EXPECT_EQ(t.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
}

TEST_F(SerialTest, BlockingOpenLeavesTheDescriptorBlocking) {
    int fd = open_port(115200, 1, 8, 1, 'N');
    ASSERT_GT(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(SerialTest, ParityCharactersSetTheirBits) {
    struct Case {
        int parity;
        tcflag_t cflag;  // of PARENB | PARODD | CMSPAR
        bool check;      // INPCK
    };
    const Case cases[] = {
        {'N', 0, false},
        {'n', 0, false},
        {'O', PARENB | PARODD, true},
        {'o', PARENB | PARODD, true},
        {'E', PARENB, true},
        {'e', PARENB, true},
        {'M', PARENB | CMSPAR, true},
        {'m', PARENB | CMSPAR, true},
        {'S', PARENB | PARODD | CMSPAR, true},
        {'s', PARENB | PARODD | CMSPAR, true},
    };
    for (const Case &c : cases) {
        ASSERT_GT(open_port(19200, 0, 7, 1, c.parity), 0) << static_cast<char>(c.parity);
        struct termios t = applied();
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.cflag) << static_cast<char>(c.parity);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.check) << static_cast<char>(c.parity);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
        EXPECT_EQ(dev_->close(dev_, 0), 0);
    }
}

TEST_F(SerialTest, CharacterSizes) {
    const std::pair<int, tcflag_t> cases[] = {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}};
    for (const auto &c : cases) {
        ASSERT_GT(open_port(9600, 0, c.first, 1, 'N'), 0) << c.first;
        EXPECT_EQ(applied().c_cflag & CSIZE, c.second) << c.first;
        dev_->close(dev_, 0);
    }
}

TEST_F(SerialTest, InvalidFramingIsRefusedAndThePortLeftClosed) {
    const SERIAL_PARAM bad[] = {
        {9600, 0, 9, 1, 'N'}, {9600, 0, 4, 1, 'N'}, {9600, 0, 8, 1, 'x'}, {9600, 0, 8, 1, 0}, {9600, 0, 0, 1, 'E'},
    };
    for (SERIAL_PARAM p : bad) {
        EXPECT_EQ(dev_->open(dev_, &p), -1) << p.dataBits << " " << p.parity;
        EXPECT_EQ(dev_->fd, -1);
    }
    EXPECT_TRUE(logged("set parity error:"));
    EXPECT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    EXPECT_EQ(dev_->open(nullptr, nullptr), -1);
    EXPECT_EQ(module_serial_open(dev_, nullptr), -1);
}

TEST_F(SerialTest, MissingDeviceFailsToOpen) {
    ASSERT_EQ(register_device(PORT_KIND_UART, 2, "/dev/ttyMissing"), 0);
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_UART, 2);
    SERIAL_PARAM p = {9600, 0, 8, 1, 'N'};
    EXPECT_EQ(dev->open(dev, &p), -1);
    EXPECT_EQ(dev->fd, -1);
    EXPECT_TRUE(logged("Open device file err:"));
}

TEST_F(SerialTest, StopBitsOneAndTwoAreSetOtherValuesKeepTheLine) {
    struct Case {
        bool preset_two;
        int stop;
        bool want_two;
    };
    const Case cases[] = {{true, 1, false}, {false, 2, true}, {true, 3, true}, {false, 3, false}, {true, 0, true}};
    for (const Case &c : cases) {
        preset_line(B4800, c.preset_two);
        ASSERT_GT(open_port(4800, 0, 8, c.stop, 'N'), 0);
        EXPECT_EQ((applied().c_cflag & CSTOPB) != 0, c.want_two) << c.stop << " preset " << c.preset_two;
        dev_->close(dev_, 0);
        close(own_fd_);
        own_fd_ = -1;
    }
}

TEST_F(SerialTest, EveryTableSpeedIsApplied) {
    const std::pair<int, speed_t> speeds[] = {
        {115200, B115200}, {57600, B57600}, {38400, B38400}, {19200, B19200}, {9600, B9600},
        {4800, B4800},     {2400, B2400},   {1200, B1200},   {300, B300},
    };
    for (const auto &s : speeds) {
        ASSERT_GT(open_port(s.first, 0, 8, 1, 'N'), 0) << s.first;
        EXPECT_EQ(cfgetospeed(&static_cast<const struct termios &>(applied())), s.second) << s.first;
        dev_->close(dev_, 0);
        ASSERT_GT(open_port(300, 0, 8, 1, 'N'), 0);
        EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_SPEED, s.first, nullptr), 0) << s.first;
        struct termios t = applied();
        EXPECT_EQ(cfgetispeed(&t), s.second) << s.first;
        EXPECT_EQ(cfgetospeed(&t), s.second) << s.first;
        dev_->close(dev_, 0);
    }
}

TEST_F(SerialTest, SpeedOutsideTheTableKeepsThePreviousSpeed) {
    preset_line(B2400, false);
    ASSERT_GT(open_port(14400, 0, 8, 1, 'N'), 0);
    EXPECT_EQ(cfgetospeed(&static_cast<const struct termios &>(applied())), static_cast<speed_t>(B2400));
    int count = 0;
    applied(&count);
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_SPEED, 14400, nullptr), -1);
    int after = 0;
    applied(&after);
    EXPECT_EQ(after, count) << "nothing applied";
    EXPECT_TRUE(logged("serial_set_speed unsupported speed [14400]"));
}

TEST_F(SerialTest, OpeningAnOpenPortKeepsItsSettings) {
    int fd = open_port(38400, 0, 8, 1, 'O');
    ASSERT_GT(fd, 0);
    int count = 0;
    applied(&count);
    EXPECT_EQ(open_port(9600, 1, 5, 2, 'E'), 0);
    EXPECT_EQ(dev_->fd, fd);
    int after = 0;
    struct termios t = applied(&after);
    EXPECT_EQ(after, count);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
}

TEST_F(SerialTest, ReadsWhatTheEngineSends) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    ASSERT_EQ(sim_pty_send(&pty_, "hello\r\n", 7), 7);
    uint8_t buf[32] = {};
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 1000), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 7), "hello\r\n");
}

TEST_F(SerialTest, ReadIsBoundedByTheCallersLength) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    ASSERT_EQ(sim_pty_send(&pty_, "0123456789", 10), 10);
    uint8_t buf[4] = {};
    EXPECT_EQ(dev_->read(dev_, buf, 4, 1000), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 4), "0123");
    EXPECT_EQ(dev_->read(dev_, buf, 0, 0), 0);
    EXPECT_EQ(dev_->read(dev_, buf, -5, 0), 0);
    EXPECT_EQ(dev_->read(dev_, nullptr, 4, 0), 0);
}

TEST_F(SerialTest, ZeroTimeOutReturnsAtOnce) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    uint8_t buf[8];
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), 0);
    ASSERT_EQ(sim_pty_send(&pty_, "ab", 2), 2);
    ASSERT_TRUE(wait_readable(1000));
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), 2);
}

TEST_F(SerialTest, ReadTimesOutWithNothing) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    uint8_t buf[8];
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 150), 0);
    clock_gettime(CLOCK_MONOTONIC, &b);
    double ms = (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
    EXPECT_GE(ms, 100.0) << "returned before the time-out";
}

TEST_F(SerialTest, NegativeTimeOutIsAFailedWait) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    uint8_t buf[8];
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, -1), 0);
    EXPECT_TRUE(logged("select error"));
    EXPECT_EQ(dev_->read(nullptr, buf, sizeof buf, 0), 0);
}

// The wait must not depend on the descriptor's number: a long-running service may hold
// descriptors above FD_SETSIZE.
TEST_F(SerialTest, ReadsOnADescriptorAboveFdSetSize) {
    struct rlimit lim;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &lim), 0);
    const rlim_t want = FD_SETSIZE + 64;
    if (lim.rlim_cur < want) {
        struct rlimit raised = lim;
        raised.rlim_cur = want;
        if (raised.rlim_max < want) raised.rlim_max = want;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) GTEST_SKIP() << "cannot raise the descriptor limit";
    }
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    int high = FD_SETSIZE + 10;
    ASSERT_EQ(dup2(dev_->fd, high), high);
    close(dev_->fd);
    dev_->fd = high;
    ASSERT_EQ(sim_pty_send(&pty_, "xyz", 3), 3);
    uint8_t buf[8];
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 1000), 3);
    dev_->close(dev_, 0);
    setrlimit(RLIMIT_NOFILE, &lim);
}

TEST_F(SerialTest, WritesReachTheEngine) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    const uint8_t cmd[] = {0x7E, 0x00, 0x0A, 0x0D};
    EXPECT_EQ(dev_->write(dev_, cmd, sizeof cmd), 4);
    uint8_t got[8] = {};
    EXPECT_EQ(sim_pty_receive(&pty_, got, sizeof got, 1000), 4);
    EXPECT_EQ(memcmp(got, cmd, 4), 0);
}

TEST_F(SerialTest, InputBeforeAWriteIsDiscarded) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    ASSERT_EQ(sim_pty_send(&pty_, "stale", 5), 5);
    ASSERT_TRUE(wait_readable(1000));
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>("?"), 1), 1);
    ASSERT_EQ(sim_pty_send(&pty_, "fresh", 5), 5);
    uint8_t buf[16] = {};
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 1000), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 5), "fresh");
}

TEST_F(SerialTest, WriteOnAClosedPortFails) {
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>("x"), 1), -1);
    EXPECT_TRUE(logged("serial send err "));
    EXPECT_EQ(dev_->write(nullptr, reinterpret_cast<const uint8_t *>("x"), 1), -1);
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    EXPECT_EQ(dev_->write(dev_, nullptr, 1), -1);
    EXPECT_EQ(dev_->write(dev_, reinterpret_cast<const uint8_t *>("x"), -1), -1);
}

TEST_F(SerialTest, FlowControlOnThenOffLeavesItOff) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_CTSRTS, 1, nullptr), 0);
    EXPECT_NE(applied().c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_CTSRTS, 0, nullptr), 0);
    EXPECT_EQ(applied().c_cflag & CRTSCTS, 0u);
    EXPECT_TRUE(logged("set_hw_ctsrts [1]"));
    EXPECT_TRUE(logged("set_hw_ctsrts [0]"));
}

TEST_F(SerialTest, FlushDiscardsWaitingInput) {
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    ASSERT_EQ(sim_pty_send(&pty_, "junk", 4), 4);
    ASSERT_TRUE(wait_readable(1000));
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_FLUSH, 0, nullptr), 0);
    uint8_t buf[8];
    EXPECT_EQ(dev_->read(dev_, buf, sizeof buf, 0), 0);
}

TEST_F(SerialTest, ControlCodesOfClosedPortsAndOtherKindsFail) {
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_SPEED, 9600, nullptr), -1);
    EXPECT_EQ(dev_->ioctrl(dev_, MODULE_IOCRL_SERIAL_CTSRTS, 1, nullptr), -1);
    EXPECT_EQ(dev_->ioctrl(nullptr, MODULE_IOCRL_SERIAL_FLUSH, 0, nullptr), -1);
    ASSERT_GT(open_port(9600, 0, 8, 1, 'N'), 0);
    for (int code : std::initializer_list<int>{MODULE_IOCRL_POWER_ON, MODULE_IOCRL_GPIO_SET, 0x13, 0})
        EXPECT_EQ(dev_->ioctrl(dev_, code, 0, nullptr), -1) << code;
}

TEST_F(SerialTest, CloseMarksThePortClosed) {
    int fd = open_port(9600, 0, 8, 1, 'N');
    ASSERT_GT(fd, 0);
    EXPECT_EQ(dev_->close(dev_, 0), 0);
    EXPECT_EQ(dev_->fd, -1);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(dev_->close(dev_, 0), 0);
    EXPECT_EQ(dev_->close(nullptr, 0), -1);
}

}  // namespace
