// Shared by the drivers' initialisers.
#pragma once

#include <string.h>

#include "hwports.h"

// Clears the record, marks it unregistered and closed, and writes the driver's name.
inline void port_clear(PORT_DEVICE *dev, const char *driver_name) {
    memset(dev, 0, sizeof *dev);
    dev->id = -1;
    dev->fd = -1;
    strncpy(dev->name, driver_name, sizeof dev->name - 1);
}
