// The elements of "DRIVEREN" and the devices they register.
#include <stdlib.h>
#include <string.h>

#include <libxml/tree.h>

#include "driver_nodes.h"
#include "hwports.h"

namespace {

struct DriverKind {
    const char *element;
    int kind;
};
static constexpr DriverKind kDriverKinds[] = {
    {"I2C", PORT_KIND_I2C},       {"UART", PORT_KIND_UART},         {"GPIO", PORT_KIND_GPIO},
    {"SWITCH1D", PORT_KIND_SWITCH1D}, {"SWITCH2D", PORT_KIND_SWITCH2D}, {"MTD", PORT_KIND_MTD},
    {"SENSOR", PORT_KIND_SENSOR},
};
static_assert(sizeof kDriverKinds / sizeof kDriverKinds[0] == 7, "seven device kinds");

}  // namespace

int driver_node_kind(XML_NODE *node) {
    if (node == nullptr || node->name == nullptr) return -1;
    for (const DriverKind &k : kDriverKinds)
        if (strcmp(reinterpret_cast<const char *>(node->name), k.element) == 0) return k.kind;
    return -1;
}

int register_driver_node(XML_NODE *node, char *attr, char *text, void *) {
    int kind = driver_node_kind(node);
    if (kind < 0) return -1;
    register_device(kind, atoi(attr), text);
    return 0;
}

int unregister_driver_node(XML_NODE *node, char *attr, char *, void *) {
    int kind = driver_node_kind(node);
    if (kind < 0) return -1;
    unregister_device(kind, atoi(attr));
    return 0;
}
