// The MaxiCode orientation search: fans of rays over the left half of the symbol find the
// first dark modules beyond the bulls-eye and their partners through the centre, each pair
// is classified as the E-W or the SE-NW axis of the orientation pattern, and a pair of
// axes crossing at the right angle and turn is completed into the 18 orientation points of
// the grid state. Image positions are in 1/16 pixel unless whole pixels are said.
#pragma once

#include <cstddef>

#include "aztec_maxicode/maxi_grid.h"
#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Entries of each list of a fan: points, counts and pitches per side.
inline constexpr i32 kMaxiFanEntries = 64;
// Targets per side of a fan's box.
inline constexpr i32 kMaxiFanTargets = 32;
// Points recorded per sweep about the centre.
inline constexpr i32 kMaxiSweepPoints = 32;
// Axes of each class kept per fan, and in all.
inline constexpr i32 kMaxiAxesPerFan = 3;
inline constexpr i32 kMaxiAxes = 2 * kMaxiAxesPerFan;

// The rays of one fan. After pairing, entry k of both point and pitch lists is pair k and
// both totals hold the number of pairs.
struct MAXI_RAY_FAN {
    GEO_POINT *forward;   // up to 2 per ray, ray after ray
    GEO_POINT *opposite;  // the same for the opposite rays
    i32 *forwardCounts;
    i32 *oppositeCounts;
    i32 *forwardPitches;
    i32 *oppositePitches;
    i32 forwardTotal;
    i32 oppositeTotal;
    i32 rayCount;
};

// Analysis record of one side of a pair.
struct MAXI_SIDE {
    GEO_POINT centre;  // the pivot of every sweep
    GEO_POINT sweep1[kMaxiSweepPoints];
    GEO_POINT sweep2[kMaxiSweepPoints];
    GEO_POINT modules[2];  // inner, outer
    i32 greys1[kMaxiSweepPoints];
    i32 greys2[kMaxiSweepPoints];
    i32 mean1;
    i32 mean2;
    i32 innerGrey;
    i32 outerGrey;
    i32 count1;
    i32 count2;
    i32 secondPass;
};

// A pair handed to the classification: side A forward, side B opposite.
struct MAXI_PAIR {
    GEO_POINT centre;
    MAXI_SIDE *a;
    MAXI_SIDE *b;
    i32 pitchA;
    i32 pitchB;
    GEO_POINT tripleA[3];  // inner, outer, third
    GEO_POINT tripleB[3];
    i32 cls;  // 0 none, 1 E-W, 2 SE-NW
};

// One classified pair, or the third axis built from two (SW in a, NE in b).
struct MAXI_AXIS {
    GEO_POINT a[3];  // inner, outer, third
    GEO_POINT b[3];
    i32 pitchA;
    i32 pitchB;
};

// One pair of module points while a fan is paired.
struct MAXI_RAY_PAIR {
    GEO_POINT forward;
    GEO_POINT opposite;
    i32 forwardPitch;
    i32 oppositePitch;
    i32 valid;
};

// The lists of one fan in the scratch.
struct MAXI_FAN_LISTS {
    GEO_POINT forward[kMaxiFanEntries];
    GEO_POINT opposite[kMaxiFanEntries];
    i32 forwardCounts[kMaxiFanEntries];
    i32 oppositeCounts[kMaxiFanEntries];
    i32 forwardPitches[kMaxiFanEntries];
    i32 oppositePitches[kMaxiFanEntries];
};

// The search's scratch in the work memory: both fans' lists, then one area that holds the
// pair list while a fan is paired and the two side records while its pairs are analysed.
struct MAXI_ORIENT_SCRATCH {
    MAXI_FAN_LISTS fans[2];  // upper, lower
    union {
        MAXI_RAY_PAIR pairs[kMaxiFanEntries];
        MAXI_SIDE sides[2];
    } analysis;
};
inline constexpr i32 kMaxiScratchBytes = 6656;
static_assert(sizeof(MAXI_FAN_LISTS) == 2048);
static_assert(offsetof(MAXI_ORIENT_SCRATCH, fans) == 0);
static_assert(offsetof(MAXI_ORIENT_SCRATCH, analysis) == 4096);
static_assert(sizeof(MAXI_RAY_PAIR) * kMaxiFanEntries == 1792);
static_assert(sizeof(MAXI_SIDE) == 820);
static_assert(sizeof(MAXI_ORIENT_SCRATCH) <= kMaxiScratchBytes);

// The scratch at scratchOffset in the work memory, or null when the work memory is too
// small, the offset is negative or it leaves the records unaligned.
MAXI_ORIENT_SCRATCH *Maxi_OrientScratch(i32 scratchOffset);

// ---- Search and fans.

// 1 when the orientation was found: pt0..pt17 and their pitches are then written into the
// grid state, which is otherwise left alone. pitch is the ring pitch (1/16 pixel), centre
// the bulls-eye centre; the scratch lies in the work memory from scratchOffset (4-byte
// aligned) and takes kMaxiScratchBytes.
i32 Maxi_FindOrientation(i32 pitch, const GEO_POINT *centre, i32 scratchOffset);
// Targets (whole pixels) of one side of a fan's box every half pitch: the far left side
// (end 0: bottom-left point, then up or down) or the far top or bottom (end 1: top-left
// point, then to the right). At most kMaxiFanTargets; returns their number.
i32 Maxi_FanTargets(const REGION_QUAD *box, i32 pitch, i32 downward, i32 end, GEO_POINT *targets);
// Rays over both sides of the box; returns the points written (below capacity) and adds the
// rays kept to *rays.
i32 Maxi_CastRayFan(const GEO_POINT *centre, i32 pitch, const REGION_QUAD *box, i32 downward, GEO_POINT *points,
                    i32 *pitches, i32 *counts, i32 *rays, i32 capacity);
// Rays from the centre to each target (mode 1, pixel sampler); a ray is kept when its pitch
// is above 15 and it found a module point. The list ends before the points would reach
// capacity or the rays would pass it. *rays = the rays kept; returns the points written.
i32 Maxi_CastRayList(const GEO_POINT *centre, const GEO_POINT *targets, i32 count, GEO_POINT *points, i32 *pitches,
                     i32 *rays, i32 *counts, i32 capacity);
// The ray through the centre to 1.6 times the point's distance beyond it: its module points
// (0..2, none when its pitch is 15 or less) and its pitch.
i32 Maxi_CastOppositeRay(const GEO_POINT *point, const GEO_POINT *centre, GEO_POINT *points, i32 *pitch);
// The opposite ray of each ray through its first forward point. A ray whose points would
// not fit the capacity adds none (count 0), so its forward points are dropped later and the
// list never overflows. Returns the opposite points written.
i32 Maxi_CastOppositeRays(const GEO_POINT *centre, const GEO_POINT *forward, const i32 *forwardCounts, i32 rays,
                          GEO_POINT *opposite, i32 *pitches, i32 *counts, i32 capacity);
// Points outside the frame or not darker than the threshold become (-1, -1).
void Maxi_DropLightPoints(GEO_POINT *points, i32 count);
// A ray without a valid point on both sides loses all its points.
void Maxi_DropUnpairedRays(const i32 *forwardCounts, const i32 *oppositeCounts, GEO_POINT *forward,
                           GEO_POINT *opposite, i32 rays);
// One pair per ray with valid points on both sides (its last valid ones), moved to their
// dark centroids, neighbours merged; written back into the fan. Returns 1.
i32 Maxi_PairModulePoints(MAXI_RAY_FAN *fan, i32 scratchOffset);

// ---- Orientation groups.

// Analyses every pair of the fan and appends up to capacity axes of each class; the counts
// receive the numbers appended.
void Maxi_AnalysePairs(MAXI_RAY_FAN *fan, const GEO_POINT *centre, i32 scratchOffset, MAXI_AXIS *class1,
                       MAXI_AXIS *class2, i32 *count1, i32 *count2, i32 capacity);
// 1 when the inner module of the side's group was found and placed. centre and point in
// whole pixels; side->centre (1/16 pixel) is set by the caller.
i32 Maxi_AnalyseSide(const GEO_POINT *centre, const GEO_POINT *point, i32 pitch, MAXI_SIDE *side);
// 1 with two module points (1/16 pixel) on the ray from centre through point (whole pixels).
i32 Maxi_TwoModulesOnRay(const GEO_POINT *centre, const GEO_POINT *point, i32 pitch, GEO_POINT *points, i32 *count,
                         i32 capacity);
// Turns the point about the centre by decreasing, then increasing table angles (modes 0, 1,
// 2 as the algorithm at the definition says) and records what it takes; returns the mean.
i32 Maxi_SweepAroundCentre(const GEO_POINT *centre, const GEO_POINT *point, i32 mode, i32 level, i32 range1[2],
                           i32 range2[2], GEO_POINT *points, i32 *count, i32 *greys, i32 capacity, i32 dark);
// Mean of the points (up to the first outside the frame) darker (lighter 0) or lighter
// (lighter 1) than level: 1, or 0 when none.
i32 Maxi_MeanByShade(const GEO_POINT *points, i32 count, i32 lighter, i32 level, GEO_POINT *out);
// Mean of the points whose stored grey is at least level: 1, or 0 with out (0, 0).
i32 Maxi_MeanOfLightPoints(const GEO_POINT *points, const i32 *greys, i32 count, i32 level, GEO_POINT *out);
// Moves modules[1] to the mean of its turned positions lighter than the threshold, plus 8:
// 1 when moved.
i32 Maxi_CentreOnLightArc(const GEO_POINT *centre, GEO_POINT modules[2]);
// Re-centres both outer points; 1 when one moved and A's points are in the frame, both sides
// then taking the greys of A's points.
i32 Maxi_RecheckOuterPoints(const GEO_POINT *centre, MAXI_SIDE *a, MAXI_SIDE *b);
// The class of the pair into pair->cls (0 also for an outer grey at the level): 1 when
// classified or at the level, else 0.
i32 Maxi_ClassifyPair(MAXI_PAIR *pair);
i32 Maxi_ClassifyLightOuter(MAXI_PAIR *pair);
i32 Maxi_ClassifyDarkOuter(MAXI_PAIR *pair);

// ---- Orientation axes.

// Merges, pairs and completes the axes; 1 when the orientation was stored.
i32 Maxi_ResolveAxes(MAXI_AXIS *class1, MAXI_AXIS *class2, i32 count1, i32 count2, const GEO_POINT *centre);
// Merges axes whose six points lie within 47 of each other; returns the new count.
i32 Maxi_MergeDuplicateAxes(MAXI_AXIS *list, i32 count);
i32 Maxi_PairAxes(MAXI_AXIS *class1, MAXI_AXIS *class2, i32 count1, i32 count2, const GEO_POINT *centre);
// Signed angle between the axes' lines, milliradians within +-1571.
i32 Maxi_AxisAngle(const MAXI_AXIS *i, const MAXI_AXIS *j);
i32 Maxi_AngleMilliRad(const i32 u[2], const i32 v[2]);
void Maxi_SwapAxisSides(MAXI_AXIS *axis);
// The SW-NE axis from the E-W axis i and the SE-NW axis j; 1 when it shows its pattern.
i32 Maxi_CompleteAxes(MAXI_AXIS *i, MAXI_AXIS *j, const GEO_POINT *centre, MAXI_AXIS *third);
void Maxi_PointOnBisector(const GEO_POINT *centre, const GEO_POINT *p, const GEO_POINT *q, i32 pitch, GEO_POINT *out,
                          float factor);
i32 Maxi_FindDarkOnBisector(const GEO_POINT *centre, const GEO_POINT *p, const GEO_POINT *q, i32 pitch,
                            GEO_POINT *out, float factor);
i32 Maxi_BuildThirdGroup(MAXI_AXIS *third, i32 pitch, const GEO_POINT *centre);
// Moves the point onto the ring edge nearest it on its ray; 1 when moved.
i32 Maxi_SnapToRingEdge(const GEO_POINT *centre, GEO_POINT *point, i32 pitch);
// 1 when each point is in the frame and darker than 0.9 T exactly where its flag is 1.
i32 Maxi_CheckTriplePattern(const GEO_POINT triple[3], i32 count, const i32 flags[3]);
void Maxi_StoreOrientation(const GEO_POINT *centre, const MAXI_AXIS *i, const MAXI_AXIS *j, const MAXI_AXIS *third);

}  // namespace vexo
