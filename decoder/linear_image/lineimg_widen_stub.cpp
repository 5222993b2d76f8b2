// Placeholder until widening and splitting land: the quadrilaterals stay as grouped.
#include "linear_image/lineimg_finder.h"

namespace vexo {

void LineImg_ExtendQuadSides(REGION_QUAD *, const u8 *, i32) {}

i32 LineImg_SplitQuads(REGION_QUAD *, u8 *, i32 count) { return count; }

}  // namespace vexo
