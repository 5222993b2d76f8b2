// The device registry: every port of the process in one list, in registration order.
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "hwports.h"
#include "port_init.h"
#include "zptlog.h"

namespace {

struct PORT_KIND {
    const char *name;
    int (*init)(PORT_DEVICE *dev);
};

// Indexed by kind; the name is the element name of the driver configuration.
const PORT_KIND kPortKinds[] = {
    {"none", nullptr},                    // 0
    {"I2C", module_i2c_init},             // 1
    {"UART", module_serial_init},         // 2
    {"GPIO", module_gpio_init},           // 3
    {"SWITCH1D", module_switch_init},     // 4
    {"SWITCH2D", module_2dswitch_init},   // 5
    {"MTD", module_mtd_init},             // 6
    {"SENSOR", nullptr},                  // 7
};
static_assert(sizeof kPortKinds / sizeof kPortKinds[0] == PORT_KIND_SENSOR + 1, "one row per kind");

list_head g_ports = {&g_ports, &g_ports};

const PORT_KIND &port_kind(int kind) {
    bool known = kind >= PORT_KIND_I2C && kind <= PORT_KIND_SENSOR;
    return kPortKinds[known ? kind : 0];
}

// kind * 256 + channel, wrapping like the 32-bit id it is stored in.
int32_t port_id(int kind, int channel) {
    return static_cast<int32_t>(static_cast<uint32_t>(kind) * 256u + static_cast<uint32_t>(channel));
}

PORT_DEVICE *port_from_link(list_head *link) {
    return reinterpret_cast<PORT_DEVICE *>(reinterpret_cast<char *>(link) - offsetof(PORT_DEVICE, link));
}

}  // namespace

extern "C" int register_device(int kind, int channel, const char *path) {
    size_t path_len = path != nullptr ? strlen(path) : 0;
    // A cut path would name another node: refuse it whole.
    if (path_len >= PORT_PATH_SIZE) {
        log_write(LOG_LEVEL_PORT, "%s path too long [%zu] [%d] kind [%d] channel [%d]", "register_device", path_len,
                  PORT_PATH_SIZE - 1, kind, channel);
        return -1;
    }
    PORT_DEVICE *dev = static_cast<PORT_DEVICE *>(malloc(sizeof(PORT_DEVICE)));
    if (dev == nullptr) return -1;
    const PORT_KIND &k = port_kind(kind);
    port_clear(dev, "");
    if (k.init != nullptr) k.init(dev);
    dev->id = port_id(kind, channel);
    if (path != nullptr) memcpy(dev->path, path, path_len + 1);
    dev->link.prev = g_ports.prev;
    dev->link.next = &g_ports;
    g_ports.prev->next = &dev->link;
    g_ports.prev = &dev->link;
    log_write(LOG_LEVEL_PORT, "%s id [%s] channel [%d] device [%s]", "register_device", k.name, channel, dev->path);
    return 0;
}

extern "C" PORT_DEVICE *get_module_ops(int kind, int channel) {
    int32_t id = port_id(kind, channel);
    for (list_head *l = g_ports.next; l != &g_ports; l = l->next) {
        PORT_DEVICE *dev = port_from_link(l);
        if (channel == -1 || dev->id == id) return dev;
    }
    return nullptr;
}

extern "C" int unregister_device(int kind, int channel) {
    PORT_DEVICE *dev = get_module_ops(kind, channel);
    if (dev == nullptr) return -1;
    log_write(LOG_LEVEL_PORT, "%s [%s]", "unregister_device", dev->name);
    dev->link.prev->next = dev->link.next;
    dev->link.next->prev = dev->link.prev;
    if (dev->close != nullptr) dev->close(dev, 0);
    free(dev);
    return 0;
}
