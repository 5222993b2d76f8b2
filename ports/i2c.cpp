// The I2C driver: register transfers through the bus's combined transfer request.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>

#include "hwports.h"
#include "plat.h"
#include "port_init.h"
#include "zptlog.h"

namespace {

// Writes up to this many data bytes go out of a stack buffer; longer ones are allocated.
constexpr int kStackWrite = 256;
constexpr int kMaxMessage = 0xFFFF;

int i2c_transfer(PORT_DEVICE *dev, PLAT_I2C_MSG *msgs, uint32_t count) {
    PLAT_I2C_RDWR_DATA data = {msgs, count};
    return plat_kernel()->ioctl(dev->fd, PLAT_I2C_RDWR, &data);
}

PLAT_I2C_MSG i2c_message(uint8_t slave, uint16_t flags, int len, uint8_t *buf) {
    return PLAT_I2C_MSG{slave, flags, static_cast<uint16_t>(len), buf, PLAT_I2C_TIMING};
}

// Register address bytes: the low byte alone, or the high byte then the low byte.
int reg_bytes(int reg, int width, uint8_t (&out)[2]) {
    if (width == 1) {
        out[0] = static_cast<uint8_t>(reg & 0xFF);
    } else {
        out[0] = static_cast<uint8_t>((reg >> 8) & 0xFF);
        out[1] = static_cast<uint8_t>(reg & 0xFF);
    }
    return width;
}

int i2c_read_reg(PORT_DEVICE *dev, uint8_t slave, int reg, int width, uint8_t *buf, int len) {
    if (dev == nullptr || buf == nullptr || dev->fd < 0) return -1;
    // A length outside the message's 16-bit field would read past buf: never send it.
    int result = -1;
    if (len >= 0 && len <= kMaxMessage) {
        uint8_t addr[2];
        PLAT_I2C_MSG msgs[2] = {
            i2c_message(slave, 0, reg_bytes(reg, width, addr), addr),
            i2c_message(slave, PLAT_I2C_M_RD, len, buf),
        };
        result = i2c_transfer(dev, msgs, 2);
    }
    if (result <= 0 || len <= 0) {
        log_write(LOG_LEVEL_PORT, "module_i2c_read Error [%x] [%x] [%s]", slave, reg, dev->path);
        return -1;
    }
    return 0;
}

int i2c_write_reg(PORT_DEVICE *dev, uint8_t slave, int reg, int width, const uint8_t *bytes, int len) {
    if (dev == nullptr || bytes == nullptr || dev->fd < 0) return -1;
    int result = -1;
    if (len >= 0 && len <= kMaxMessage - width) {
        uint8_t local[kStackWrite + 2];
        uint8_t *msg = len <= kStackWrite ? local : static_cast<uint8_t *>(malloc(static_cast<size_t>(len) + 2));
        if (msg != nullptr) {
            uint8_t addr[2];
            memcpy(msg, addr, static_cast<size_t>(reg_bytes(reg, width, addr)));
            memcpy(msg + width, bytes, static_cast<size_t>(len));
            PLAT_I2C_MSG one = i2c_message(slave, 0, len + width, msg);
            result = i2c_transfer(dev, &one, 1);
            if (msg != local) free(msg);
        }
    }
    if (result <= 0) {
        log_write(LOG_LEVEL_PORT, "module_i2c_write Error [%x] [%x] [%s]", slave, reg, dev->path);
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" int module_i2c_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "I2c Driver");
    dev->open = module_i2c_open;
    dev->close = module_i2c_close;
    dev->i2c_read = module_i2c_read;
    dev->i2c_write = module_i2c_write;
    dev->i2c_read_word = module_i2c_read_word;
    dev->i2c_write_word = module_i2c_write_word;
    return 0;
}

extern "C" int module_i2c_open(PORT_DEVICE *dev, void *path) {
    if (dev == nullptr) return -1;
    const PLAT_KERNEL *k = plat_kernel();
    if (dev->fd >= 0) {
        k->close(dev->fd);
        dev->fd = -1;
    }
    const char *node = path != nullptr ? static_cast<const char *>(path) : dev->path;
    dev->fd = k->open(node, O_RDWR, 0);
    return dev->fd >= 0 ? 0 : -1;
}

extern "C" int module_i2c_close(PORT_DEVICE *dev, int) {
    if (dev == nullptr) return -1;
    if (dev->fd < 0) return 0;
    plat_kernel()->close(dev->fd);
    dev->fd = -1;
    return 0;
}

extern "C" int module_i2c_read(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len) {
    return i2c_read_reg(dev, slave, reg, 1, buf, len);
}

extern "C" int module_i2c_read_word(PORT_DEVICE *dev, uint8_t slave, int reg, uint8_t *buf, int len) {
    return i2c_read_reg(dev, slave, reg, 2, buf, len);
}

extern "C" int module_i2c_write(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len) {
    return i2c_write_reg(dev, slave, reg, 1, bytes, len);
}

extern "C" int module_i2c_write_word(PORT_DEVICE *dev, uint8_t slave, int reg, const uint8_t *bytes, int len) {
    return i2c_write_reg(dev, slave, reg, 2, bytes, len);
}
