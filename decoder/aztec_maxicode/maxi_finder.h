// The MaxiCode bulls-eye finder: entry 2 of the 2D finder table (finder id 6). On the rows
// of the middle half of a region it reduces the edge list to alternating edges, matches
// seven partial views of a bulls-eye (three dark rings round a light centre on a light
// ground), queues the matches as row hits and verifies them against the image by walks
// from the centre; the best four verified bulls-eyes are kept, sorted by ring score.
// Light-on-dark bulls-eyes are not looked for.
#pragma once

#include "core/types.h"
#include "locate/finder.h"
#include "toolkit/geometry.h"

namespace vexo {

// A verified bulls-eye. The readers take x, y and radius only.
struct MAXI_BULLSEYE {
    i32 x;  // centre, whole pixels
    i32 y;
    i32 radius;  // half the distance across the inner edges of the third dark ring
    i32 score;   // mean ring-ratio score of the verified directions, 0..1024
    i32 valid;   // 1
    i32 kind;    // 0 light centre, eight directions; 1 dark middle, 2 small centre, four axes
};

// A queued row hit (the matched edges are not kept: nothing reads them).
struct MAXI_ROW_HIT {
    i32 x;  // whole pixels
    i32 y;  // the row
    i32 size;
    i32 reach;
    u8 type;  // 1..7
};

inline constexpr i32 kMaxiCandidates = 4;
inline constexpr i32 kMaxiHitSlots = 512;
inline constexpr i32 kMaxiRowEdges = 512;
inline constexpr i32 kMaxiRingPoints = 8;

struct MAXI_FINDER_STATE {
    MAXI_BULLSEYE table[kMaxiCandidates];
    i32 count;
    i32 bandLow;  // rows bandLow..bandHigh are searched
    i32 bandHigh;
    // Search bounds and the frame of the current line.
    i32 top;
    i32 left;
    i32 right;
    i32 bottom;
    i32 width;
    i32 height;
    i32 stride;
    MAXI_ROW_HIT hits[kMaxiHitSlots];
    u32 used[kMaxiHitSlots / 32];
    i32 nextFree;
};

extern MAXI_FINDER_STATE g_maxiFinder;

// Table slots (declared for the framework in locate/finder_services.h).
void Maxi_FinderReset(REGION_QUAD *region, REGION_QUAD *unaligned);
int Maxi_FinderRowWanted();
void Maxi_FinderRowLine(FINDER_LINE *line);

// ---- The finder's steps, open to the tests.

// Search bounds of a line: top 0, left 0, right width - 1, bottom limit - 1; keeps the
// frame geometry for the pixel readers below.
void Maxi_SetSearchBounds(const FINDER_LINE *line);
// Keeps the position of the strongest item of each run of one direction, from the first
// rising item on, alternating rising and falling: at most capacity positions (1/16 pixel).
i32 Maxi_ReduceEdges(const EDGE_LINE *line, i32 *out, i32 capacity);
// Tries the seven bulls-eye views on edges e[0..n-1] (e[0] rising) in the order of their
// reliability; answers the first type that passes (0: none) with its centre and size in
// 1/16 pixel.
i32 Maxi_ClassifyEdgeRun(const i32 *edges, i32 n, i32 *centre, i32 *size);
// The pattern test of one type on e[0..] under tolerance t; adds nothing anywhere.
// Answers 1 and its score when every width pair passes and the ratios sum above k x t.
i32 Maxi_PatternTest(i32 type, const i32 *e, i32 tolerance, i32 *score);
// Pair test min x 1024 >= g x max with g = t - ((1024 - t) >> 1); the ratio through *ratio.
i32 Maxi_WidthPair(i64 a, i64 b, i32 tolerance, i32 *ratio);

// Pixel readers over the current search bounds (see Maxi_SetSearchBounds).
i32 Maxi_CentreVertically(const u8 *image, i32 *x, i32 *y, i32 threshold, i32 dark);
i32 Maxi_ColumnRunTest(const u8 *image, i32 x, i32 y, i32 threshold, i32 dark);
i32 Maxi_RowRunLength(const u8 *image, i32 x, i32 y, i32 threshold);
// Row-window threshold of a hit: (max + min) >> 1 of the row's pixels from max(0, x - reach),
// min(2 reach, right - start) of them; 0 when they span 7 grey levels or less.
i32 Maxi_HitThreshold(const u8 *image, i32 x, i32 y, i32 reach);

// The walks from (cx, cy): 1 on success (the centre, size, score sum, ring points and value
// may change), 0 when the walk leaves its box or its widths fail.
i32 Maxi_WalkLightCentre(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 direction, i32 threshold, i32 *scoreSum,
                         i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value);
i32 Maxi_WalkDarkMiddle(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 axis, i32 threshold, i32 *scoreSum,
                        i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value);
i32 Maxi_WalkSmallCentre(const u8 *image, i32 *cx, i32 *cy, i32 *size, i32 axis, i32 threshold, i32 *scoreSum,
                         i32 tolerance, GEO_POINT points[kMaxiRingPoints], i32 *value);

i32 Maxi_RingRatioTest(const i32 a[6], i32 *scoreSum, i32 tolerance);
i32 Maxi_RingConsistency(const i32 *values, const GEO_POINT *points, i32 cx, i32 cy, i32 count, i32 tolerance);
// Points at (0, 0) are missing.
i32 Maxi_RingShapeTest(const GEO_POINT points[kMaxiRingPoints]);
// 1024 x the cosine of the angle at a between b and c; 0 when a meets b or c.
i32 Maxi_CosineAt(GEO_POINT a, GEO_POINT b, GEO_POINT c);
// Stable, highest score first; count is clipped to 0..4.
void Maxi_SortBullseyes(MAXI_BULLSEYE *table, i32 count);
// Verifies one queued hit (its bit is cleared); 1 when it became a candidate.
i32 Maxi_VerifyHit(const u8 *image, i32 slot);

}  // namespace vexo
