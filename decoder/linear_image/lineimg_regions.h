// Where the module's region list comes from.
#pragma once

#include "linear_image/lineimg_module.h"

namespace vexo {

// Fills the table (quads, kinds, count) for the current image; copy is a 20-quad working
// area from the work arena.
void LineImg_CollectRegions(REGION_QUAD *copy, LINEIMG_REGIONS *table);

// When set, fills the table in place of LineImg_CollectRegions (set only by test hooks).
using LineImgRegionSource = void (*)(LINEIMG_REGIONS *table);
extern LineImgRegionSource g_lineImgRegionSource;

}  // namespace vexo
