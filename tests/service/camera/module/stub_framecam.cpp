// A camera library for tests of the ring: it keeps the callbacks cam_init was given, so
// that a test can deliver frames itself, and counts the calls.
#include <stdint.h>

#include "framecam.h"
#include "stub_framecam.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
StubFramecam g_stub;
}  // namespace

STUB_EXPORT StubFramecam *stub_framecam_state() { return &g_stub; }

STUB_EXPORT int64_t cam_init(uint32_t, uint32_t, uint32_t width, uint32_t height, FRAMECAM_FRAME_FN frame,
                             FRAMECAM_NOTIFY_FN notify) {
    g_stub.frame = frame;
    g_stub.notify = notify;
    g_stub.width = width;
    g_stub.height = height;
    ++g_stub.inits;
    return kStubHandle;
}
STUB_EXPORT int cam_open(int64_t) { return ++g_stub.opens, 0; }
STUB_EXPORT int cam_close(int64_t) { return ++g_stub.closes, 0; }
STUB_EXPORT int cam_start(int64_t) { return ++g_stub.starts, 0; }
STUB_EXPORT int cam_stop(int64_t) { return ++g_stub.stops, 0; }
STUB_EXPORT int cam_ioctrl(int64_t, int, int, void *) { return 0; }
STUB_EXPORT int cam_deinit(int64_t) { return ++g_stub.deinits, 0; }
