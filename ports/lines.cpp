// The line drivers: switch, 2D switch and GPIO lines through device attribute nodes.
// Every request opens its node, transfers a few bytes and closes it again.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "hwports.h"
#include "plat.h"
#include "port_init.h"
#include "zptlog.h"

namespace {

// Node paths are built in a buffer of this size; a path that does not fit is refused.
constexpr size_t kNodePathSize = 100;

struct SWITCH_KEYWORD {
    int code;
    const char *text;
    int count;  // bytes written: some keywords go out with their terminator
};

const SWITCH_KEYWORD kSwitchKeywords[] = {
    {MODULE_IOCRL_POWER_ON, "power_on", 9},
    {MODULE_IOCRL_POWER_OFF, "power_off", 10},
    {MODULE_IOCRL_TRIGGER_ON, "trigger_on", 11},
    {MODULE_IOCRL_TRIGGER_OFF, "trigger_off", 12},
    {MODULE_IOCRL_MIPICHIP_ON, "mipichip_on", 11},
    {MODULE_IOCRL_MIPICHIP_OFF, "mipichip_off", 12},
    {MODULE_IOCRL_AIMER_ON, "aimer_on", 8},
    {MODULE_IOCRL_AIMER_OFF, "aimer_off", 9},
    {MODULE_IOCRL_ILLUM_ON, "illum_on", 8},
    {MODULE_IOCRL_ILLUM_OFF, "illum_off", 9},
    {MODULE_IOCRL_WAKE_ON, "wake_on", 8},
    {MODULE_IOCRL_WAKE_OFF, "wake_off", 9},
};
static_assert(sizeof kSwitchKeywords / sizeof kSwitchKeywords[0] == 12, "twelve keywords");

constexpr char kSwitchNode[] = "scan_switch";

struct SWITCH_LINE {
    const char *node;
    int set_code;
    int get_code;  // 0: the line cannot be read
};

const SWITCH_LINE kSwitchLines[] = {
    {"uart_rts", MODULE_IOCRL_SET_UART_RTS, MODULE_IOCRL_GET_UART_RTS},
    {"uart_cts", MODULE_IOCRL_SET_UART_CTS, MODULE_IOCRL_GET_UART_CTS},
    {"psam_en", MODULE_IOCRL_SET_PSAM_EN, MODULE_IOCRL_GET_PSAM_EN},
    {"psam_rst", MODULE_IOCRL_SET_PSAM_RST, MODULE_IOCRL_GET_PSAM_RST},
    {"vback_fac", MODULE_IOCRL_VBACK_FAC, 0},
};
static_assert(sizeof kSwitchLines / sizeof kSwitchLines[0] == 5, "five lines");

// path + node into out; false (and a log line) when it does not fit.
bool node_path(const PORT_DEVICE *dev, const char *node, char (&out)[kNodePathSize]) {
    int n = snprintf(out, sizeof out, "%s%s", dev->path, node);
    if (n < 0 || static_cast<size_t>(n) >= sizeof out) {
        log_write(LOG_LEVEL_PORT, "%s node path too long [%d] [%zu] [%s]", dev->name, n, kNodePathSize - 1, node);
        return false;
    }
    return true;
}

int node_write(const char *node, const void *bytes, size_t count) {
    const PLAT_KERNEL *k = plat_kernel();
    int fd = k->open(node, O_RDWR, 0);
    if (fd < 0) {
        int err = errno;
        log_write(LOG_LEVEL_PORT, "open(%s) failed: %s (%d)", node, strerror(err), err);
        return -1;
    }
    ssize_t n = k->write(fd, bytes, count);
    int err = errno;
    k->close(fd);
    if (n < 0) {
        log_write(LOG_LEVEL_PORT, "write(%s) failed: %s (%d)", node, strerror(err), err);
        return -1;
    }
    return 0;
}

// The level a node holds: the decimal value of its first byte; 0 when it cannot be read.
int node_read_level(const char *node) {
    const PLAT_KERNEL *k = plat_kernel();
    int fd = k->open(node, O_RDONLY, 0);
    if (fd < 0) {
        int err = errno;
        log_write(LOG_LEVEL_PORT, "open(%s) failed: %s (%d)", node, strerror(err), err);
        return 0;
    }
    char text[2] = {0, 0};
    ssize_t n = k->read(fd, text, 1);
    int err = errno;
    k->close(fd);
    if (n < 0) {
        log_write(LOG_LEVEL_PORT, "read(%s) failed: %s (%d)", node, strerror(err), err);
        return 0;
    }
    return atoi(text);
}

const SWITCH_KEYWORD *switch_keyword(int code) {
    for (const SWITCH_KEYWORD &kw : kSwitchKeywords)
        if (kw.code == code) return &kw;
    return nullptr;
}

int switch_set_line(PORT_DEVICE *dev, const SWITCH_LINE &line, const int *level) {
    char node[kNodePathSize];
    if (!node_path(dev, line.node, node)) return -1;
    if (level == nullptr) {
        log_write(LOG_LEVEL_PORT, "%s no level [%s]", dev->name, node);
        return -1;
    }
    if (line.set_code == MODULE_IOCRL_VBACK_FAC) log_write(LOG_LEVEL_PORT, "MODULE_IOCRL_VBACK_FAC [%s] [%d]", node, *level);
    return node_write(node, *level != 0 ? "1" : "0", 1);
}

int switch_get_line(PORT_DEVICE *dev, const SWITCH_LINE &line) {
    char node[kNodePathSize];
    if (!node_path(dev, line.node, node)) return -1;
    return node_read_level(node);
}

}  // namespace

extern "C" int module_switch_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "Switch Driver");
    dev->ioctrl = module_switch_ioctrl;
    return 0;
}

extern "C" int module_2dswitch_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "2DSwitch Driver");
    dev->ioctrl = module_2dswitch_ioctrl;
    return 0;
}

extern "C" int module_gpio_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "GPIO Driver");
    dev->ioctrl = module_gpio_ioctrl;
    return 0;
}

extern "C" int module_switch_ioctrl(PORT_DEVICE *dev, int code, int, int *pointer) {
    if (dev == nullptr) return -1;
    if (const SWITCH_KEYWORD *kw = switch_keyword(code)) {
        char node[kNodePathSize];
        if (!node_path(dev, kSwitchNode, node)) return -1;
        return node_write(node, kw->text, static_cast<size_t>(kw->count));
    }
    for (const SWITCH_LINE &line : kSwitchLines) {
        if (code == line.set_code) return switch_set_line(dev, line, pointer);
        if (code == line.get_code) return switch_get_line(dev, line);
    }
    return -1;
}

extern "C" int module_2dswitch_ioctrl(PORT_DEVICE *dev, int code, int, int *) {
    if (dev == nullptr) return -1;
    if (code != MODULE_IOCRL_2D_POWER_ON && code != MODULE_IOCRL_2D_POWER_OFF) return -1;
    char node[kNodePathSize];
    if (!node_path(dev, "", node)) return -1;
    return node_write(node, code == MODULE_IOCRL_2D_POWER_ON ? "1" : "0", 1);
}

extern "C" int module_gpio_ioctrl(PORT_DEVICE *dev, int code, int, int *pointer) {
    if (dev == nullptr) return -1;
    const PLAT_KERNEL *k = plat_kernel();
    if (code == MODULE_IOCRL_GPIO_SET) {
        if (pointer == nullptr) {
            log_write(LOG_LEVEL_PORT, "%s no level [%s]", dev->name, dev->path);
            return 0;
        }
        int fd = k->open(dev->path, O_RDWR, 0);
        if (fd < 0) return 0;
        char text[16];
        int n = snprintf(text, sizeof text, "%d\n", *pointer);
        ssize_t written = k->write(fd, text, static_cast<size_t>(n));
        (void)written;
        k->close(fd);
        return 0;
    }
    if (code == MODULE_IOCRL_GPIO_GET) {
        int fd = k->open(dev->path, O_RDONLY, 0);
        if (fd < 0) return 0;
        char level;
        ssize_t got = k->read(fd, &level, 1);
        (void)got;
        k->close(fd);
    }
    return 0;
}
