// Candidate quadrilaterals of linear symbols from the bar-edge segments of one finder pass:
// each cluster of bands with bars of consistent length becomes a quadrilateral fitted to
// the bars' ends; quadrilaterals that continue each other are merged, inverted and
// contained ones dropped, the ends trimmed to the outermost bars plus a margin, and the
// rest ordered by their distance from the image centre. Orientation 1 (rows: upright bars)
// gives corners top-left, top-right, bottom-left, bottom-right; orientation 0 (columns:
// flat bars) the same construction turned a quarter turn (bottom-left, top-left,
// bottom-right, top-right). Whole pixels.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_bands.h"

namespace vexo {

inline constexpr i32 kGroupCandidateCapacity = 20;
inline constexpr i32 kClusterWorkingMembers = 60;
inline constexpr i32 kFitPoints = 200;

// The grouping's scratch, at the start of the finder's scratch block. The clustering's
// working values and the per-cluster lists are never live together.
struct GROUP_WORK {
    REGION_QUAD bands[kBandCapacity];
    i16 segmentOf[kBandCapacity];
    BAND_CLUSTERS clusters;
    REGION_QUAD candidates[kGroupCandidateCapacity];
    i32 keys[kGroupCandidateCapacity];
    i32 order[kGroupCandidateCapacity];
    union {
        BAND_SHAPES shapes;
        struct {
            REGION_QUAD working[kClusterWorkingMembers];
            POINT_NODE points[kFitPoints];
        } fit;
    };
};

// Verdict on two items: 0 keep both, 1 remove a, 2 remove b.
using QuadVerdictFn = int (*)(const REGION_QUAD *a, const REGION_QUAD *b);

struct MERGE_RULES {
    u8 join;
    u8 extend;
};

// Builds the candidates from g_segmentStore (in orientation 0 its segments' ends are
// exchanged first) and writes at most capacity of them, nearest to the image centre first.
// Returns the number written (at most 20).
i32 LineImg_GroupSegments(REGION_QUAD *out, i32 capacity, i32 orientation);

// Removes items by the verdict on every ordered pair until a whole scan removes nothing
// (a removed item is replaced by the last one). Returns the new count.
i32 LineImg_RemoveContained(REGION_QUAD *items, i32 count, QuadVerdictFn verdict);
// The smaller of a and b (by the extent of the first side; a unless it is smaller) goes
// when all four (ContainedAll4) or at least three (ContainedAny3) of its corners lie in
// the larger.
int LineImg_ContainedAll4(const REGION_QUAD *a, const REGION_QUAD *b);
int LineImg_ContainedAny3(const REGION_QUAD *a, const REGION_QUAD *b);

// Drops bands whose bar length (extent along the segment) lies outside 0.8 to 1.5 times the
// mean of all count bands, the first offender first (the last band takes its place), until
// all fit; the mean is not taken again. Returns the new count.
i32 LineImg_KeepConsistentBars(REGION_QUAD *bars, i32 count, i32 orientation);

// The quadrilateral of count bands: lines fitted to points along their first sides and
// along their last sides, cut by the outer side of the outermost bands and fitted to the
// frame. 0 when a fit fails, the fitted lines meet inside the image or a corner is missing.
int LineImg_QuadFromBands(const REGION_QUAD *bands, i32 count, REGION_QUAD *quad, i32 orientation);

// Joins quadrilaterals that continue each other until none do; returns the new count.
i32 LineImg_MergeQuads(REGION_QUAD *quads, i32 count, i32 orientation, MERGE_RULES rules);
// 1 when each holds the middle of the other's near end; a then holds both.
int LineImg_TryJoinQuads(REGION_QUAD *a, const REGION_QUAD *b, i32 orientation);
// 1 when one holds the other's first end (corners 0 and 2) and b's first and last sides
// cross a's first end: a is then overwritten with b.
int LineImg_TryExtendQuad(REGION_QUAD *a, const REGION_QUAD *b);

// Removes quadrilaterals turned over: corner 2 above corner 0 (orientation 1) or corner 0
// left of corner 2 (orientation 0). Returns the new count.
i32 LineImg_DropInvertedQuads(REGION_QUAD *quads, i32 count, i32 orientation);

// Moves both ends of the quadrilateral to 40 pixels beyond its outermost bar, looking one
// bar length in from each end; leaves it unchanged when either end finds too few edges.
void LineImg_TrimQuadEnds(REGION_QUAD *quad);

}  // namespace vexo
