// The bar region tracker: finds regions crossed by long parallel bars inside candidate
// regions by following and stepping across bar edges, into g_barResults.
#pragma once

#include "core/types.h"
#include "locate/bar_follow.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kBarClassSkipped = 2000;  // region class never scanned
inline constexpr i32 kBarScanPositionsMax = 32;
// The tracker's scratch areas lie at fixed offsets of the second buffer, below this end.
inline constexpr i32 kBarTrackerWorkBytes = 28512;

// Scans the regions not of class 2000, rows first then columns, and measures every stored
// region; results of earlier calls stay. Regions are cut to the frame. Answers 0.
i32 Loc_TrackBarRegions(const REGION_QUAD *regions, i32 count);
// Row (which bit 0) or column (bit 1) positions over the region, coarse to fine, at most 31.
i32 Loc_BarScanPositions(i32 *rows, i32 *columns, const REGION_QUAD *region, u32 which);
i32 Loc_TrackBarRows(const i32 *rows, i32 n, const REGION_QUAD *region);
i32 Loc_TrackBarColumns(const i32 *columns, i32 n, const REGION_QUAD *region);
void Loc_TrackBarsOnRow(i32 y, const REGION_QUAD *region);
void Loc_TrackBarsOnColumn(i32 x, const REGION_QUAD *region);
// Appends the region fitted around the track's segments.
void Loc_BuildBarRegion(const BAR_TRACK *track, i32 scratchOffset, i32 rows);
// Builds the region when the track holds more than four segments; answers 0.
i32 Loc_BuildBarRegionIfLong(const BAR_TRACK *track, i32 scratchOffset, i32 rows);
// Appends one region fitted to the squares of n segments; nothing when 20 are stored, the
// squares give no line or the lines are parallel.
void Loc_FitBarRegionQuad(const GEO_POINT (*squares)[4], i32 n, i32 scratchOffset, i32 rows, const BAR_SEGMENT *first,
                          const BAR_SEGMENT *last, i32 segmentCount);
void Loc_SegmentSquare(const BAR_SEGMENT *s, GEO_POINT out[4]);
void Loc_MeasureBarRegions();
f64 Loc_MeasureBarRegion(const REGION_QUAD *region, i32 k);
// Copy min(count, max) entries; 0 for max <= 0 or a null out.
i32 Loc_GetBarRegions(REGION_QUAD *out, i32 max);
i32 Loc_GetBarPairRates(i32 *out, i32 max);
i32 Loc_GetBarDenseFlags(i32 *out, i32 max);
// Forgets the regions (count, segment counts, dense flags); regions and rates stay.
void Loc_ResetBarRegions();
// 1 when the edges of the region's midline and a line 12 px off it mostly pair.
int Loc_RegionEdgesPair(const REGION_QUAD *region, i32 across);
// 0.6 x (max - mean) / max x 1024 over the line p-q; 102 for no samples or all zeros.
i32 Loc_LineContrastRatio(const GEO_POINT *p, const GEO_POINT *q, i32 scratchOffset);

}  // namespace vexo
