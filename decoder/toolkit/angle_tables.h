// Cosine and sine of k pi / 314 (k = 0..627) scaled by 2^20, truncated toward zero: the angle
// units of the edge votes of the line fits (314 a half turn, 157 a right angle).
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kAngleSteps = 628;
extern const i32 kAngleCos[kAngleSteps];
extern const i32 kAngleSin[kAngleSteps];

}  // namespace vexo
