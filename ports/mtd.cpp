// The MTD driver: one short text record at the start of a flash partition.
#include <fcntl.h>
#include <string.h>

#include "hwports.h"
#include "plat.h"
#include "port_init.h"
#include "zptlog.h"

namespace {

constexpr int kMtdTextMax = MTD_RECORD_SIZE - 1;
constexpr uint8_t kMtdMarker = 0x40;

}  // namespace

extern "C" int module_mtd_init(PORT_DEVICE *dev) {
    if (dev == nullptr) return -1;
    port_clear(dev, "Mtd Driver");
    dev->open = module_mtd_open;
    dev->close = module_mtd_close;
    dev->read = module_mtd_read;
    dev->write = module_mtd_write;
    return 0;
}

extern "C" int module_mtd_open(PORT_DEVICE *dev, void *) {
    if (dev == nullptr) return -1;
    // Opening again must not leak the descriptor already held.
    if (dev->fd >= 0) plat_kernel()->close(dev->fd);
    dev->fd = plat_kernel()->open(dev->path, O_RDWR, 0);
    return dev->fd >= 0 ? 0 : -1;
}

extern "C" int module_mtd_close(PORT_DEVICE *dev, int) {
    if (dev == nullptr) return -1;
    if (dev->fd >= 0) plat_kernel()->close(dev->fd);
    dev->fd = -1;
    return 0;
}

extern "C" int module_mtd_write(PORT_DEVICE *dev, const uint8_t *bytes, int len) {
    if (dev == nullptr || bytes == nullptr || dev->fd < 0) return -1;
    if (len < 0) {
        log_write(LOG_LEVEL_PORT, "%s bad length [%d]", "module_mtd_write", len);
        return -1;
    }
    int n = len < kMtdTextMax ? len : kMtdTextMax;
    uint8_t record[MTD_RECORD_SIZE];
    memcpy(record, bytes, static_cast<size_t>(n));
    record[n] = kMtdMarker;
    const PLAT_KERNEL *k = plat_kernel();
    if (k->lseek(dev->fd, 0, SEEK_SET) != 0) return -1;
    return k->write(dev->fd, record, static_cast<size_t>(n) + 1) == n + 1 ? 0 : -1;
}

extern "C" int module_mtd_read(PORT_DEVICE *dev, uint8_t *buf, int len, int) {
    if (dev == nullptr || buf == nullptr || dev->fd < 0) return -1;
    if (len < MTD_RECORD_SIZE) {
        log_write(LOG_LEVEL_PORT, "%s buffer too small [%d] [%d]", "module_mtd_read", len, MTD_RECORD_SIZE);
        return -1;
    }
    uint8_t record[MTD_RECORD_SIZE];
    const PLAT_KERNEL *k = plat_kernel();
    if (k->lseek(dev->fd, 0, SEEK_SET) != 0) return -1;
    if (k->read(dev->fd, record, sizeof record) != MTD_RECORD_SIZE) return -1;
    memcpy(buf, record, sizeof record);
    return 0;
}
