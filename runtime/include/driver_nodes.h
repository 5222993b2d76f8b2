// The terminal's device list "DRIVEREN": one element per device (I2C, UART, GPIO,
// SWITCH1D, SWITCH2D, MTD, SENSOR), its channel in the "name" attribute, its path as text.
// Built into the scanner service and into the libraries that register the devices
// themselves (hidden there).
#pragma once

#include "xmlcfg.h"

// The key text of the encrypted configuration files.
inline constexpr char kServiceConfigKey[] = "Kwd7315";

// The device kind an element names (exact), or -1.
int driver_node_kind(XML_NODE *node);
// Walk procedures: register or unregister the device an element names; -1 for another
// element.
int register_driver_node(XML_NODE *node, char *attr, char *text, void *arg);
int unregister_driver_node(XML_NODE *node, char *attr, char *text, void *arg);
