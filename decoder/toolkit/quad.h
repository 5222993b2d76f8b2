// Tests and small operations on region quadrilaterals (corners c0 top-left, c1 top-right,
// c2 bottom-left, c3 bottom-right in the symbol's own frame), and the matching of two
// sorted position lists by runs of equal spacing. Integer arithmetic on the corners; no
// allocation.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Two edge position lists to pair, and the pairs found.
struct EDGE_PAIRING {
    i32 tolerance;  // largest difference of two positions that still pair
    i32 capacity;   // size of each of the three output arrays
    i32 minRun;     // a run of minRun - 1 pairs or more is kept
    i32 countA;
    i32 countB;
    i32 *posA;  // ascending
    i32 *posB;  // ascending
    i32 *outPositions;
    i32 outCount;
    i32 *matchA;
    i32 *matchB;
    i32 matchCount;
    i32 lineA;  // the caller's coordinates of the two lines (row y or column x); not read here
    i32 lineB;
};

// 1 when p lies inside q or on its border, in either corner orientation; 0 otherwise or
// for a missing argument. Meant for convex quads.
int Geo_PointInQuad(const GEO_POINT *p, const REGION_QUAD *q);

// 1 when the crossing of q's diagonals (useQuad non-zero) or p (useQuad 0) lies in the
// decoder's region-of-interest quad; 0 for a missing argument or parallel diagonals.
int Geo_InRoi(const REGION_QUAD *q, const GEO_POINT *p, i32 useQuad);

// 1 when the corner mean of a lies in b or that of b lies in a.
int Geo_QuadsOverlap(const REGION_QUAD *a, const REGION_QUAD *b);

// 1 when the line p-q crosses the line joining the midpoints of quad's top and bottom
// sides at a point inside quad; 0 when the lines are parallel.
int Geo_MidlineHitInQuad(const GEO_POINT *p, const GEO_POINT *q, const REGION_QUAD *quad);

// Reading order of two results. status below 2 is answered unchanged and order left
// alone; otherwise order = {0, 1} when pair[0] comes first, {1, 0} when pair[1] does, and
// the answer is 2.
i32 Geo_OrderQuadPair(const REGION_QUAD pair[2], i32 status, i32 order[2]);

// out[0], out[1] = midpoints of the left (c0-c2) and right (c1-c3) sides, sums halved by
// arithmetic shift.
void Geo_QuadSideMidpoints(const REGION_QUAD *q, GEO_POINT out[2]);
// The same with the sums divided by 2 truncating toward zero.
void Geo_QuadSideMidpointsDiv(const REGION_QUAD *q, GEO_POINT *left, GEO_POINT *right);

// Every coordinate shifted left by 4 (up non-zero) or right by 4 (arithmetic, rounding
// toward minus infinity); answers q.
REGION_QUAD *Geo_QuadScale16(REGION_QUAD *q, i32 up);

// Appends q's bounding box {left, top, right, bottom} to list, grown by 10 x margin on
// every side when grow is 1, clamped to the installed frame: 1; 0 when the list is full.
int Geo_AddQuadBox(const REGION_QUAD *q, BOX_LIST *list, u8 grow, i32 margin);

// Fits q into the installed frame. Where c0 or c2 lies outside the reference quad, the
// shorter of the top and bottom sides as clipped to the frame is taken and the opposite
// left corner moved along its side to the same length; then likewise on the right with c1
// and c3 (unless both lie inside the reference).
void Geo_FitQuadToFrame(REGION_QUAD *q, const REGION_QUAD *reference);

// 0 strictly inside the convex polygon w[0..n-1], 1 on its border, -1 outside (also for
// a missing polygon or n < 1).
i32 Geo_PointInConvexPolygon(GEO_POINT p, const GEO_POINT vertices[], i32 n);

// Pairs entries of the ascending lists A and B whose positions differ by less than the
// tolerance to start a run and by at most the tolerance to extend it; keeps runs of at
// least minRun - 1 pairs. Nothing is written when either list is empty.
void Geo_MatchPositionRuns(EDGE_PAIRING *e);

// Operations kept with the family that the decoder does not call.

// out = the corner mean, each sum shifted right by 2.
void Geo_QuadCentre(const REGION_QUAD *q, GEO_POINT *out);
// The corner mean and an orientation code: 1 upright, 2 upside down, 3 and 4 the quarter
// turns (top side steep, c0 above or below c1).
i32 Geo_QuadCentreOrientation(const REGION_QUAD *q, GEO_POINT *out);
// 1 when (x, y) lies in the float polygon to a relative area error of 0.001, else 0.
i32 Geo_PointInPolygonF(const f32 xs[], const f32 ys[], i32 n, f32 x, f32 y);

}  // namespace vexo
