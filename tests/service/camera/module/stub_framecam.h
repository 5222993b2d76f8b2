// The test camera library's record of what it was given.
#pragma once

#include <stdint.h>

#include "framecam.h"

inline constexpr int64_t kStubHandle = 0x5151;

struct StubFramecam {
    FRAMECAM_FRAME_FN frame = nullptr;
    FRAMECAM_NOTIFY_FN notify = nullptr;
    uint32_t width = 0, height = 0;
    int inits = 0, opens = 0, closes = 0, starts = 0, stops = 0, deinits = 0;
};

using StubFramecamStateFn = StubFramecam *(*)();
