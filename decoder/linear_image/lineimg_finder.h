// The region finder: the candidate quadrilaterals of linear symbols inside one region,
// found by a row pass (upright bars, kind 1) and a column pass (flat bars, kind 2).
#pragma once

#include "core/types.h"
#include "toolkit/quad.h"

namespace vexo {

struct SEGMENT_STORE;

inline constexpr i32 kFinderQuadCap = 20;
inline constexpr u8 kQuadUpright = 1;
inline constexpr u8 kQuadFlat = 2;

struct LINEIMG_FINDER {
    u8 full;  // a pair found the segment store full: the pass stops scanning
    i16 count;
    REGION_QUAD quads[kFinderQuadCap];
    u8 kinds[kFinderQuadCap];
};
extern LINEIMG_FINDER g_finder;

// region is read as a box: left = c0.x, right = c1.x, top = c0.y, bottom = c2.y. The passes
// read rows and columns up to 4 pixels past the box without testing the image, so the box
// must lie at least 4 pixels inside the frame (the core's regions do); one that does not is
// clipped to that margin first. Returns the number of quadrilaterals (0 to 20).
i32 LineImg_FindQuads(const REGION_QUAD *region);
// Copies min(count, capacity) quadrilaterals and kinds; the state is left as it was.
i32 LineImg_GetQuads(REGION_QUAD *quads, u8 *kinds, i32 capacity);

i32 LineImg_RowPass(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity);
i32 LineImg_ColumnPass(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity);
// Each pass by itself: full flag cleared and segment store emptied first; the quad count
// (which guards the grouping) is left as it is.
i32 LineImg_RowPassAlone(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity);
i32 LineImg_ColumnPassAlone(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity);
int LineImg_TraceRowPair(EDGE_PAIRING *pairing, i32 lineStart, i32 scratch, i32 *meanOut);
int LineImg_TraceColumnPair(EDGE_PAIRING *pairing, i32 lineStart, i32 scratch, i32 *meanOut);
// Orientation 1 rows (upright bars), 0 columns, as the grouping reads it.
void LineImg_FilterSegments(i32 orientation, i32 scratch);
void LineImg_CentralBox(REGION_QUAD *box);

// Widening: each quadrilateral's ends (c0-c2, then c1-c3) moved outwards while falling
// edges lie just beyond them. Splitting: one or two quadrilaterals each (two when the middle
// line shows one gap over 5 times its neighbours on both edge kinds); the list stops at 18.
// The halves of a split trapezoid (ends differing by more than a factor 1.6) are refitted.
void LineImg_ExtendQuadSides(REGION_QUAD *quads, const u8 *kinds, i32 count);
void LineImg_ExtendLeftSide(REGION_QUAD *quad);
void LineImg_ExtendRightSide(REGION_QUAD *quad);
i32 LineImg_SplitQuad(const REGION_QUAD *quad, REGION_QUAD out[2]);
i32 LineImg_SplitQuads(REGION_QUAD *quads, u8 *kinds, i32 count);
// Rebuilds quad from two bar edges traced afresh from its two ends inwards (the finder's
// segment store is emptied for each); left as it was when either is not found.
void LineImg_RefitQuad(REGION_QUAD *quad, u8 kind, i32 sideLength);
// The first segment of store whose length lies within 0.7 to 1.7 sideLength and which runs
// parallel to side 0 (c0-c2) or 1 (c1-c3) within |cos| > 0.905: 1 with its ends, else 0.
int LineImg_FindParallelSegment(const REGION_QUAD *quad, const SEGMENT_STORE *store, i32 side,
                                GEO_POINT *end0, GEO_POINT *end1, i32 sideLength);

}  // namespace vexo
