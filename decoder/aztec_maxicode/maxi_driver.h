// The MaxiCode module's result and its decode over the finder's candidates.
#pragma once

#include "aztec_maxicode/maxi_data.h"
#include "aztec_maxicode/maxi_module.h"
#include "core/types.h"

namespace vexo {

// Holds three symbols of the longest text and a terminating zero.
inline constexpr i32 kMaxiResultTextBytes = 1104;
static_assert(kMaxiResultTextBytes >= 3 * kMaxiMaxTextBytes + 1);

struct MAXI_RESULT {
    i32 length;  // reported length: 0 until a decode succeeds
    u8 text[kMaxiResultTextBytes];
    i32 total;  // sum of the symbols read in this decode
    REGION_QUAD corners;  // of the last symbol read, whole pixels
};

extern MAXI_RESULT g_maxiResult;
extern MAXI_CARRIER g_maxiCarrier;

// 1 when one symbol (in multi-symbol mode one or two) was read.
int Maxi_DecodeImage();

}  // namespace vexo
