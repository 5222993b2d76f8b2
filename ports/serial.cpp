// The UART driver: raw serial ports with a speed, framing and a read time-out.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>

#include "hwports.h"
#include "plat.h"
#include "port_init.h"
#include "zptlog.h"

namespace {

struct SERIAL_SPEED {
    int32_t baud;
    speed_t code;
};

// The only rates the engines and the card slot use.
constexpr SERIAL_SPEED kSerialSpeeds[] = {
    {115200, B115200}, {57600, B57600}, {38400, B38400}, {19200, B19200}, {9600, B9600},
    {4800, B4800},     {2400, B2400},   {1200, B1200},   {300, B300},
};
static_assert(sizeof kSerialSpeeds / sizeof kSerialSpeeds[0] == 9, "nine speeds");

bool serial_speed_code(int32_t baud, speed_t *code) {
    for (const SERIAL_SPEED &s : kSerialSpeeds) {
        if (s.baud == baud) {
            *code = s.code;
            return true;
        }
    }
    return false;
}

int serial_set_speed(PORT_DEVICE *dev, int32_t baud) {
    speed_t code;
    if (!serial_speed_code(baud, &code)) {
        log_write(LOG_LEVEL_PORT, "%s unsupported speed [%d]", "serial_set_speed", baud);
        return -1;
    }
    const PLAT_KERNEL *k = plat_kernel();
    struct termios t;
    k->tcflush(dev->fd, TCIOFLUSH);
    if (k->tcgetattr(dev->fd, &t) != 0 || cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0 ||
        k->tcsetattr(dev->fd, TCSANOW, &t) != 0) {
        log_write(LOG_LEVEL_PORT, "tcsetattr fd: [%d] [%d]", dev->fd, baud);
        return -1;
    }
    return 0;
}

int serial_set_flow_control(PORT_DEVICE *dev, int on) {
    const PLAT_KERNEL *k = plat_kernel();
    struct termios t;
    if (k->tcgetattr(dev->fd, &t) != 0) {
        log_write(LOG_LEVEL_PORT, "Get opt in parity error:");
        return -1;
    }
    if (on != 0)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    k->tcflush(dev->fd, TCIFLUSH);
    if (k->tcsetattr(dev->fd, TCSANOW, &t) != 0) {
        log_write(LOG_LEVEL_PORT, "set attr parity error:");
        return -1;
    }
    log_write(LOG_LEVEL_PORT, "set_hw_ctsrts [%d]", on);
    return 0;
}

void serial_make_raw(struct termios *t) {
    t->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t->c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t->c_cflag &= ~static_cast<tcflag_t>(CSIZE);
}

bool serial_set_size(struct termios *t, int32_t bits) {
    switch (bits) {
        case 5: t->c_cflag |= CS5; return true;
        case 6: t->c_cflag |= CS6; return true;
        case 7: t->c_cflag |= CS7; return true;
        case 8: t->c_cflag |= CS8; return true;
        default: return false;
    }
}

void serial_set_stop_bits(struct termios *t, int32_t bits) {
    if (bits == 1) t->c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    if (bits == 2) t->c_cflag |= CSTOPB;
}

// Stick parity (CMSPAR) fixes the parity bit: 0 with even ('M'), 1 with odd ('S').
bool serial_set_parity(struct termios *t, int32_t parity) {
    const tcflag_t all = PARENB | PARODD | CMSPAR;
    switch (parity) {
        case 'N': case 'n':
            t->c_cflag &= ~static_cast<tcflag_t>(PARENB);
            t->c_iflag &= ~static_cast<tcflag_t>(INPCK);
            return true;
        case 'O': case 'o':
            t->c_cflag |= PARENB | PARODD;
            t->c_iflag |= INPCK;
            return true;
        case 'E': case 'e':
            t->c_cflag = (t->c_cflag & ~static_cast<tcflag_t>(PARODD)) | PARENB;
            t->c_iflag |= INPCK;
            return true;
        case 'M': case 'm':
            t->c_cflag = (t->c_cflag & ~static_cast<tcflag_t>(PARODD)) | PARENB | CMSPAR;
            t->c_iflag |= INPCK;
            return true;
        case 'S': case 's':
            t->c_cflag |= all;
            t->c_iflag |= INPCK;
            return true;
        default:
            return false;
    }
}

// Steps after the descriptor is open; false leaves the closing to the caller.
bool serial_configure(PORT_DEVICE *dev, const SERIAL_PARAM *p) {
    const PLAT_KERNEL *k = plat_kernel();
    struct termios t;
    if (k->tcgetattr(dev->fd, &t) != 0) {
        log_write(LOG_LEVEL_PORT, "Get opt in parity error:");
        return false;
    }
    serial_make_raw(&t);
    if (!serial_set_size(&t, p->dataBits)) return false;
    serial_set_stop_bits(&t, p->stopBits);
    if (!serial_set_parity(&t, p->parity)) return false;
    k->tcflush(dev->fd, TCIFLUSH);
    if (k->tcsetattr(dev->fd, TCSANOW, &t) != 0) {
        log_write(LOG_LEVEL_PORT, "set attr parity error:");
        return false;
    }
    return true;
}

}  // namespace

extern "C" int module_serial_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "Serial Driver");
    dev->open = module_serial_open;
    dev->close = module_serial_close;
    dev->read = module_serial_read;
    dev->write = module_serial_write;
    dev->ioctrl = module_serial_ioctrl;
    return 0;
}

extern "C" int module_serial_open(PORT_DEVICE *dev, void *param) {
    const SERIAL_PARAM *p = static_cast<const SERIAL_PARAM *>(param);
    if (dev == nullptr || p == nullptr) return -1;
    if (dev->fd >= 0) return 0;
    const PLAT_KERNEL *k = plat_kernel();
    // O_NOCTTY: a service must not take the port as its controlling terminal.
    int flags = O_RDWR | O_NOCTTY | (p->blocking == 0 ? O_NONBLOCK : 0);
    dev->fd = k->open(dev->path, flags, 0);
    if (dev->fd < 0) {
        log_write(LOG_LEVEL_PORT, "Open device file err:");
        dev->fd = -1;
        return -1;
    }
    // An unsupported speed leaves the line at the speed it had.
    serial_set_speed(dev, p->speed);
    if (!serial_configure(dev, p)) {
        log_write(LOG_LEVEL_PORT, "set parity error:");
        k->close(dev->fd);
        dev->fd = -1;
        return -1;
    }
    return dev->fd;
}

extern "C" int module_serial_close(PORT_DEVICE *dev, int) {
    if (dev == nullptr) return -1;
    if (dev->fd >= 0) plat_kernel()->close(dev->fd);
    dev->fd = -1;
    return 0;
}

extern "C" int module_serial_read(PORT_DEVICE *dev, uint8_t *buf, int len, int timeout_ms) {
    if (dev == nullptr || buf == nullptr || len <= 0 || dev->fd < 0) return 0;
    const PLAT_KERNEL *k = plat_kernel();
    // poll, not select: a descriptor number above FD_SETSIZE must still work.
    struct pollfd p = {dev->fd, POLLIN, 0};
    int ready = timeout_ms < 0 ? -1 : k->poll(&p, 1, timeout_ms);
    if (ready < 0) {
        log_write(LOG_LEVEL_PORT, "select error");
        return 0;
    }
    if (ready == 0) return 0;
    return static_cast<int>(k->read(dev->fd, buf, static_cast<size_t>(len)));
}

extern "C" int module_serial_write(PORT_DEVICE *dev, const uint8_t *bytes, int len) {
    if (dev == nullptr) return -1;
    const PLAT_KERNEL *k = plat_kernel();
    // A reply is read after the request that asks for it: whatever came before is stale.
    if (dev->fd >= 0) k->tcflush(dev->fd, TCIFLUSH);
    ssize_t n = dev->fd >= 0 && bytes != nullptr && len >= 0 ? k->write(dev->fd, bytes, static_cast<size_t>(len)) : -1;
    if (n < 0) {
        log_write(LOG_LEVEL_PORT, "serial send err ");
        return -1;
    }
    return static_cast<int>(n);
}

extern "C" int module_serial_ioctrl(PORT_DEVICE *dev, int code, int value, int *) {
    if (dev == nullptr) return -1;
    switch (code) {
        case MODULE_IOCRL_SERIAL_SPEED: return serial_set_speed(dev, value);
        case MODULE_IOCRL_SERIAL_FLUSH: plat_kernel()->tcflush(dev->fd, TCIOFLUSH); return 0;
        case MODULE_IOCRL_SERIAL_CTSRTS: return serial_set_flow_control(dev, value);
        default: return -1;
    }
}
