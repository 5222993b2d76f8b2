// Edge thresholds of a scan line measured from its falls.
#pragma once

#include "core/types.h"

namespace vexo {

// Edge ratio (1024 = 100 %) and minimum edge step from the falling runs of a profile of count
// samples: runs that drop by more than minDrop and by at least ratio / 1024 of their first
// sample count, at most 128 of them. Returns half their mean relative drop (at least 102) and
// writes half their mean drop (7 when that mean is 15 or less) to *minStep (may be null).
// Without such runs (or samples): 102 and 6. `scratch` is the caller's work-memory offset;
// the estimate needs none.
i32 LineImg_EstimateEdgeThresholds(const u8 *samples, i32 count, i32 minDrop, i32 ratio, i32 *minStep, i32 scratch);

}  // namespace vexo
