// Points a fixed step apart along a segment, as offsets from its start: the stepping of the
// MaxiCode reading and of the PDF417-family readers.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Offsets from p of the points 0, step, 2 step, ... along the major axis of p-q (the minor
// axis follows in 1/1024 fixed point), the first (0, 0). Points are written while k x step
// stays below the limit: 16 x limit when limit > 0, else the larger coordinate difference of
// p and q. At most count points. Returns the number written: 0 when count or step is 0 or
// less, p = q or an argument is null; 1 when the step reaches the limit.
i32 Maxi_SegmentStepOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 count, i32 limit, i32 step);

}  // namespace vexo
