// The device's operations: each forwards to the current engine's plug-in function and
// answers its failure value at the first of device, engine or slot that is missing.
#include "service_internal.h"

namespace {

ENGINE_RECORD *engine_of(DEVICE_OBJECT *device) { return device != nullptr ? device_current(device) : nullptr; }

int dev_open(DEVICE_OBJECT *device) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_open != nullptr ? r->scanner_open(r) : -1;
}

int dev_close(DEVICE_OBJECT *device) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_close != nullptr ? r->scanner_close(r) : -1;
}

int dev_start_decode(DEVICE_OBJECT *device, SCAN_EVENT_CALLBACK callback, void *reserved, int arg) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_start_decode != nullptr ? r->scanner_start_decode(r, callback, reserved, arg)
                                                              : -1;
}

int dev_stop_decode(DEVICE_OBJECT *device, int arg) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_stop_decode != nullptr ? r->scanner_stop_decode(r, arg) : -1;
}

ENGINE_RECORD *dev_get_engine(DEVICE_OBJECT *device) { return engine_of(device); }

int dev_get_scan_type(DEVICE_OBJECT *device) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr ? r->Scantype : -1;
}

int dev_ioctrl(DEVICE_OBJECT *device, int code, int arg, void *pointer) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_ioctrl != nullptr ? r->scanner_ioctrl(r, code, arg, pointer) : -1;
}

int dev_version(DEVICE_OBJECT *device, char *out) {
    ENGINE_RECORD *r = engine_of(device);
    return r != nullptr && r->scanner_version != nullptr ? r->scanner_version(r, out) : 0;
}

}  // namespace

void device_fill_operations(DEVICE_OBJECT *device) {
    device->open = dev_open;
    device->close = dev_close;
    device->start_decode = dev_start_decode;
    device->stop_decode = dev_stop_decode;
    device->set_param = set_code_param;
    device->get_param = dev_get_param;
    device->get_engine = dev_get_engine;
    device->get_scan_type = dev_get_scan_type;
    device->ioctrl = dev_ioctrl;
    device->version = dev_version;
    device->change_engine = change_engine;
}
