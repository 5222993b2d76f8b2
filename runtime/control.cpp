// Port and control wrappers: engine lines, the engine UART and I2C registers reached by
// channel number, looked up at every call.
#include <atomic>

#include "plat.h"
#include "readercore.h"
#include "runtime_internal.h"

namespace {

constexpr int kPowerSettleMs = 300;
constexpr int kAllPowerSettleMs = 500;
constexpr int kAllPowerChannels = 10;
constexpr int kTrigDrainMs = 5;
constexpr int kDefaultSpeed = 115200;

// One remembered speed for every UART channel: it sets the reply gap.
std::atomic<int> g_serial_speed{kDefaultSpeed};

int port_ioctrl(int kind, int channel, int code, int value, int *pointer) {
    PORT_DEVICE *dev = get_module_ops(kind, channel);
    if (dev == nullptr || dev->ioctrl == nullptr) return -1;
    return dev->ioctrl(dev, code, value, pointer);
}

int switch_code(int channel, int code) { return port_ioctrl(PORT_KIND_SWITCH1D, channel, code, 0, nullptr); }

PORT_DEVICE *uart(int channel) { return get_module_ops(PORT_KIND_UART, channel); }

// Attempts allowed by a tries count: below 1 means one.
int attempts(int tries) { return tries < 1 ? 1 : tries; }

using I2cReadOp = int (*)(PORT_DEVICE *, uint8_t, int, uint8_t *, int);
using I2cWriteOp = int (*)(PORT_DEVICE *, uint8_t, int, const uint8_t *, int);

int i2c_read_with(int channel, uint8_t slave, int reg, uint8_t *buffer, int len, int delay_ms, int tries, bool word) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_I2C, channel);
    if (dev == nullptr) return -1;
    I2cReadOp op = word ? dev->i2c_read_word : dev->i2c_read;
    if (op == nullptr) return -1;
    for (int i = attempts(tries); i > 0; --i) {
        if (op(dev, slave, reg, buffer, len) == 0) return len;
        plat_sleep_ms(delay_ms);
    }
    return -1;
}

int i2c_write_with(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len, int delay_ms, int tries,
                   bool word) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_I2C, channel);
    if (dev == nullptr) return -1;
    I2cWriteOp op = word ? dev->i2c_write_word : dev->i2c_write;
    if (op == nullptr) return -1;
    for (int i = attempts(tries); i > 0; --i) {
        if (op(dev, slave, reg, bytes, len) == 0) return len;
        plat_sleep_ms(delay_ms);
    }
    return 0;
}

}  // namespace

void control_test_reset() { g_serial_speed.store(kDefaultSpeed); }

extern "C" int control_power_oper(int channel, int on) {
    return switch_code(channel, on == 1 ? MODULE_IOCRL_POWER_ON : MODULE_IOCRL_POWER_OFF);
}

extern "C" int control_2dpower_oper(int channel, int on) {
    return port_ioctrl(PORT_KIND_SWITCH2D, channel, on == 1 ? MODULE_IOCRL_2D_POWER_ON : MODULE_IOCRL_2D_POWER_OFF, 0,
                       nullptr);
}

extern "C" int control_wake(int channel, int on) {
    return switch_code(channel, on != 0 ? MODULE_IOCRL_WAKE_ON : MODULE_IOCRL_WAKE_OFF);
}

extern "C" int control_power(ENGINE_RECORD *record, int on) {
    if (record == nullptr || record->powerLocked == 1) return -1;
    int r = control_power_oper(record->PowerChannel, on);
    plat_sleep_ms(kPowerSettleMs);
    return r;
}

extern "C" int control_2dpower(ENGINE_RECORD *record, int on) {
    if (record == nullptr) return -1;
    // Switching on stays allowed during an upgrade; only losing power is refused.
    if (on == 0 && record->powerLocked == 1) return -1;
    int r = control_2dpower_oper(record->PowerChannel, on);
    if (r != 0) return r;
    plat_sleep_ms(kPowerSettleMs);
    return 0;
}

extern "C" int control_all_power(int on) {
    for (int channel = 0; channel < kAllPowerChannels; ++channel) {
        control_wake(channel, 0);
        control_2dpower_oper(channel, on);
        control_power_oper(channel, on);
    }
    plat_sleep_ms(kAllPowerSettleMs);
    return 0;
}

extern "C" int control_trig(ENGINE_RECORD *record, int on) {
    if (record == nullptr || get_module_ops(PORT_KIND_SWITCH1D, record->TrigChannel) == nullptr) return -1;
    ReadPacketClearSerial(record, kTrigDrainMs);
    return switch_code(record->TrigChannel, on == 1 ? MODULE_IOCRL_TRIGGER_ON : MODULE_IOCRL_TRIGGER_OFF);
}

extern "C" int control_set_rts(ENGINE_RECORD *record, int level) {
    if (record == nullptr) return -1;
    return port_ioctrl(PORT_KIND_SWITCH1D, record->TrigChannel, MODULE_IOCRL_SET_UART_RTS, 0, &level);
}

extern "C" int control_get_cts(ENGINE_RECORD *record) {
    if (record == nullptr) return -1;
    return switch_code(record->TrigChannel, MODULE_IOCRL_GET_UART_CTS);
}

extern "C" int control_aimer(ENGINE_RECORD *record, int on) {
    if (record == nullptr) return -1;
    return switch_code(record->PowerChannel, on == 1 ? MODULE_IOCRL_AIMER_ON : MODULE_IOCRL_AIMER_OFF);
}

extern "C" int control_illum(ENGINE_RECORD *record, int on) {
    if (record == nullptr) return -1;
    return switch_code(record->PowerChannel, on == 1 ? MODULE_IOCRL_ILLUM_ON : MODULE_IOCRL_ILLUM_OFF);
}

extern "C" int control_uhf(int level) { return port_ioctrl(PORT_KIND_GPIO, 1, MODULE_IOCRL_GPIO_SET, 0, &level); }

extern "C" int serial_speed(int channel, int speed) {
    int r = port_ioctrl(PORT_KIND_UART, channel, MODULE_IOCRL_SERIAL_SPEED, speed, nullptr);
    if (r == 0) g_serial_speed.store(speed);
    return r;
}

extern "C" int serial_open(int channel, int speed, int blocking) {
    PORT_DEVICE *dev = uart(channel);
    if (dev == nullptr || dev->open == nullptr) return -1;
    if (dev->fd < 1) {
        SERIAL_PARAM p = {speed, blocking, 8, 1, 'n'};
        return dev->open(dev, &p);
    }
    serial_speed(channel, speed);
    return dev->fd;
}

extern "C" int serial_open_param(int channel, int speed, int blocking, int data_bits, int stop_bits, int parity) {
    PORT_DEVICE *dev = uart(channel);
    if (dev == nullptr || dev->open == nullptr) return -1;
    if (dev->fd >= 1) return dev->fd;
    SERIAL_PARAM p = {speed, blocking, data_bits, stop_bits, parity};
    return dev->open(dev, &p);
}

extern "C" int serial_close(int channel) {
    PORT_DEVICE *dev = uart(channel);
    if (dev == nullptr || dev->close == nullptr) return -1;
    return dev->close(dev, 0);
}

extern "C" int serial_read(int channel, uint8_t *buffer, int length, int timeout_ms) {
    PORT_DEVICE *dev = uart(channel);
    if (dev == nullptr || dev->read == nullptr) return -1;
    return dev->read(dev, buffer, length, timeout_ms);
}

extern "C" int serial_write(int channel, const uint8_t *bytes, int length) {
    PORT_DEVICE *dev = uart(channel);
    if (dev == nullptr || dev->write == nullptr) return -1;
    return dev->write(dev, bytes, length);
}

extern "C" int serial_ctsrts(int channel, int on) {
    return port_ioctrl(PORT_KIND_UART, channel, MODULE_IOCRL_SERIAL_CTSRTS, on, nullptr);
}

extern "C" int serial_clear(int channel) {
    return port_ioctrl(PORT_KIND_UART, channel, MODULE_IOCRL_SERIAL_FLUSH, 0, nullptr);
}

extern "C" int getBaydrateDelay(void) {
    int speed = g_serial_speed.load();
    return speed == 0 ? 1 : 40000 / speed + 1;
}

extern "C" PORT_DEVICE *i2c_open(int channel) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_I2C, channel);
    if (dev == nullptr) return nullptr;
    if (dev->fd < 1) {
        if (dev->open == nullptr || dev->open(dev, nullptr) != 0) return nullptr;
    }
    return dev;
}

extern "C" int i2c_close(int channel) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_I2C, channel);
    if (dev == nullptr || dev->close == nullptr) return -1;
    return dev->close(dev, 0) != 0 ? -1 : 0;
}

extern "C" int i2c_read(int channel, uint8_t slave, int reg, uint8_t *buffer, int len, int delay_ms, int tries) {
    return i2c_read_with(channel, slave, reg, buffer, len, delay_ms, tries, false);
}

extern "C" int i2c_write(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len, int delay_ms, int tries) {
    return i2c_write_with(channel, slave, reg, bytes, len, delay_ms, tries, false);
}

extern "C" int i2c_read_word(int channel, uint8_t slave, int reg, uint8_t *buffer, int len, int delay_ms, int tries) {
    return i2c_read_with(channel, slave, reg, buffer, len, delay_ms, tries, true);
}

extern "C" int i2c_write_word(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len, int delay_ms,
                              int tries) {
    return i2c_write_with(channel, slave, reg, bytes, len, delay_ms, tries, true);
}

extern "C" int i2c_read_direct(int channel, uint8_t slave, int reg, uint8_t *buffer, int len) {
    return i2c_read(channel, slave, reg, buffer, len, 0, 0);
}

extern "C" int i2c_write_direct(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len) {
    return i2c_write(channel, slave, reg, bytes, len, 0, 0);
}

extern "C" int i2c_write_echo(int channel, uint8_t slave, int reg, const uint8_t *bytes, int len, int delay_ms,
                              int tries) {
    PORT_DEVICE *dev = get_module_ops(PORT_KIND_I2C, channel);
    if (dev == nullptr || dev->i2c_write == nullptr || dev->i2c_read == nullptr || bytes == nullptr || len < 1)
        return -1;
    int status = -1;
    for (int i = attempts(tries); i > 0; --i) {
        status = dev->i2c_write(dev, slave, reg, bytes, len) == 0 ? 0 : -1;
        plat_sleep_ms(delay_ms);
        uint8_t back = 0;
        // The register's content decides, not the write's status.
        if (dev->i2c_read(dev, slave, reg, &back, 1) == 0 && back == bytes[0]) return len;
    }
    return status;
}

extern "C" int msleep(int ms) {
    plat_sleep_ms(ms);
    return 0;
}

extern "C" int control_mipi(int channel, int on) { return on != 0 ? tc358746_init(channel) : tc358746_deinit(channel); }
