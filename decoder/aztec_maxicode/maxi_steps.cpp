#include "aztec_maxicode/maxi_steps.h"

#include "toolkit/sampling.h"

namespace vexo {

i32 Maxi_SegmentStepOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 count, i32 limit, i32 step) {
    return Geo_SegmentStepOffsetsWithin(p, q, out, count, limit, step);
}

}  // namespace vexo
