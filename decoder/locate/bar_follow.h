// Following bar edges through the installed image and stepping sideways across the bars
// of a linear code: the machinery of the bar region tracker.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kBarRegionsMax = 20;
inline constexpr i32 kBarTrackMax = 200;
// Each operation keeps its arrays in this many bytes of the second buffer from its scratch
// offset; the operations it calls get offset + kBarScratchBytes.
inline constexpr i32 kBarScratchBytes = 4736;
inline constexpr i32 kBarEdgeRatio = 102;          // x 1024, for the lines the tracker scans
inline constexpr i32 kBarContrastRatioAtLoad = 102;  // x 1024, for the neighbour checks

// The regions the tracker has found; survives images until Loc_ResetBarRegions.
struct BAR_RESULTS {
    i32 count;
    i32 segmentCount[kBarRegionsMax];
    i32 dense[kBarRegionsMax];
    REGION_QUAD regions[kBarRegionsMax];
    i32 pairRate[kBarRegionsMax];
};
extern BAR_RESULTS g_barResults;
// Replaced by the tracker with the ratio measured across its latest start segment.
extern i32 g_barContrastRatio;

// One edge follow. The caller fills start, next, lateral, pointerStep, step, polarity,
// stopInRegions and sets steps to 0; origin, end and steps are written.
struct BAR_FOLLOW {
    GEO_POINT start;
    GEO_POINT next;
    GEO_POINT origin;
    GEO_POINT end;
    i16 lateral;      // start minus next across the tracking axis
    i32 pointerStep;  // +-4 x width (rows) or +-4 (columns); halved with step
    i32 step;         // +4 or -4 along the tracking axis
    i32 steps;
    i32 polarity;       // 1: the edge falls towards increasing lateral coordinate
    i32 stopInRegions;  // 1: stop on entering a stored region
};

struct BAR_SEGMENT {
    GEO_POINT a;
    GEO_POINT b;
};

// A chain of bar-edge segments collected while stepping across bars.
struct BAR_TRACK {
    BAR_SEGMENT segments[kBarTrackMax];
    i32 lengths[kBarTrackMax];   // city block a-b
    i32 spacings[kBarTrackMax];  // city block from the previous midpoint
    GEO_POINT midpoints[kBarTrackMax];
    i32 count;
    i32 direction;  // 1: stepping to the side (dy, -dx) of the first segment
    i32 lengthSum;
    i32 endB;
    i32 endA;
};

// Follows an edge running down the image (rows: steps in y) or across it (columns: steps
// in x) from f->next, one 12-pixel window every step. Answers 1 when steps > 0. A start
// within 15 pixels of the border, a step that halves to 0 (45-degree start), a missing
// record or image, or a scratch area outside the second buffer answer 0 with end unwritten.
int Loc_FollowEdgeRows(BAR_FOLLOW *f, i32 scratchOffset);
int Loc_FollowEdgeColumns(BAR_FOLLOW *f, i32 scratchOffset);
// Follows from p past q and from q past p; a follow that stops at once leaves (0, 0).
int Loc_FollowEdgeBothWaysRows(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *endUp, GEO_POINT *endDown,
                               i32 scratchOffset, i32 polarity);
int Loc_FollowEdgeBothWaysColumns(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *endUp, GEO_POINT *endDown,
                                  i32 scratchOffset, i32 polarity);
// Three probes to one side of a-b: 1 when the grey beyond their first paired edges agrees
// (or there is nothing to compare), 0 when it does not.
int Loc_CheckBarNeighbours(const GEO_POINT *a, const GEO_POINT *b, i32 scratchOffset, i32 side, i32 ratio);
// Steps from the bar edge a-b across the neighbouring bars (rows non-zero: edges along y);
// answers the number of segments appended to the track.
i32 Loc_StepToNextBars(const GEO_POINT *a, const GEO_POINT *b, i32 rows, i32 scratchOffset, BAR_TRACK *track);
// Lines A and B (two points each) crossing the bars; a track with no segment yet or full
// gets nothing.
i32 Loc_StepAcrossBarsRows(const GEO_POINT lineA[2], const GEO_POINT lineB[2], i32 scratchOffset, BAR_TRACK *track);
i32 Loc_StepAcrossBarsColumns(const GEO_POINT lineA[2], const GEO_POINT lineB[2], i32 scratchOffset,
                              BAR_TRACK *track);
// Pairs count-sized ascending edge lists a and b (Loc_PairEdgeLists); the number of pairs,
// 0 when a list is empty. matchA and matchB hold min(na, nb) entries.
i32 Loc_PairBarEdgeLists(const i32 *a, i32 na, const i32 *b, i32 nb, i32 *matchA, i32 *matchB);
// 1 when p lies in one of the stored bar regions.
int Loc_PointInBarRegions(const GEO_POINT *p);
// (2, 4, 2) / 8 over samples 1 .. n - 2 from the unsmoothed neighbours; n < 3 changes nothing.
void Loc_SmoothProfile3(u8 *samples, i32 n);

}  // namespace vexo
