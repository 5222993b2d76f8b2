// Where the module's region list comes from.
#pragma once

#include "linear_image/lineimg_module.h"

namespace vexo {

// Fills the table (quads, kinds, count) for the current image; copy is a 20-quad working
// area from the work arena.
void LineImg_CollectRegions(REGION_QUAD *copy, LINEIMG_REGIONS *table);

// The steps of the list: the box made an axis-aligned rectangle inside the image; a region
// cut against that box (1, or 2 with the second part in *second); regions whose centre
// lies in another removed (returns the new count); mirrored corner orders swapped; first
// sides running backwards turned half a turn.
void LineImg_AlignBox(REGION_QUAD *quads, i32 n);
i32 LineImg_CutRegion(REGION_QUAD *region, const REGION_QUAD *box, REGION_QUAD *second);
i32 LineImg_DropNestedRegions(REGION_QUAD *quads, u8 *kinds, i32 n);
void LineImg_FixHandedness(REGION_QUAD *quads, i32 n, const u8 *kinds);
void LineImg_FixDirection(REGION_QUAD *quads, i32 n, const u8 *kinds);

// When set, fills the table in place of LineImg_CollectRegions (set only by test hooks).
using LineImgRegionSource = void (*)(LINEIMG_REGIONS *table);
extern LineImgRegionSource g_lineImgRegionSource;

}  // namespace vexo
