// The Data Matrix segment finder: edge runs on rows and columns, edge tracks followed up and
// down the module's own image record, a banded driver that pairs finished tracks with
// perpendicular arms into L candidates, and the candidate check; beside it the module's line,
// edge and pattern routines. No stage of the decode path calls any of this.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_types.h"
#include "toolkit/geometry.h"

namespace vexo {

// A track of a mostly vertical edge found on a row: x in 1/16 pixel, y in rows.
struct DM_EDGE_TRACK {
    i32 state;   // 1 in use
    i32 closed;  // 1 once the lower end is final
    i32 polarity;  // 0 falls along the row, 1 rises
    i32 topX, topY;
    i32 bottomX, bottomY;
    i32 seedX, seedY;  // pixels
    i32 drift;   // sum of the per-row x changes, counted downwards
    i32 steps;
    i32 misses;
    u8 topLevel, bottomLevel;
    u8 topWidth, bottomWidth;
    i32 length;
    i32 threshold;
};

// A track of a mostly horizontal edge found on a column: x in pixels, y in 1/16 pixel.
struct DM_ARM_TRACK {
    i32 state;
    i32 closed;
    i32 polarity;
    i32 leftX, leftY;
    i32 rightX, rightY;
    i32 steps;
    i32 drift;
    i32 misses;
    u8 leftLevel, rightLevel;
    u8 leftWidth, rightWidth;
    i32 length;
    i32 threshold;
};

inline constexpr i32 kDmSegmentTrackCapacity = 200;
inline constexpr i32 kDmSegmentRowEdges = 50;

// The probe flags of the pairing step (1 and 0 at load), written by DM_SegmentFinder.
extern i32 g_dmDarkOnLightArmProbes;
extern i32 g_dmLightOnDarkArmProbes;

// ---- Edge runs: positions in 1/16 sample from the line's start (centroid of the steps + 8),
// bright and dark levels and run widths; the result is the number of edges written.
i32 DM_EdgeRunsFallingRow(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                          u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast);
i32 DM_EdgeRunsRisingRow(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                         u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast);
// Column forms: samples g_dmImage.width bytes apart.
i32 DM_EdgeRunsFallingColumn(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                             u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast);
i32 DM_EdgeRunsRisingColumn(const u8 *line, i32 length, i32 *positions, i32 capacity, u8 *brightLevels,
                            u8 *darkLevels, u8 *widths, i32 levelLimit, i32 contrast);
// Both polarities in one pass; widths one less than the single-polarity routines'.
void DM_ScanRowEdges(const u8 *row, i32 length, i32 *risingPositions, i32 *fallingPositions, i32 capacity,
                     u8 *risingBright, u8 *fallingBright, u8 *risingWidths, u8 *fallingWidths, i32 *risingCount,
                     i32 *fallingCount, i32 levelLimit, i32 contrast);

// ---- Tracks.
i32 DM_StartTracks(i32 *positions, const u8 *brightLevels, const u8 *widths, i32 count, i32 polarity, i32 row,
                   DM_EDGE_TRACK *tracks, i32 trackCount, i32 capacity);
i32 DM_TrackUp(DM_EDGE_TRACK *track, i32 limitRow);
i32 DM_TrackDown(DM_EDGE_TRACK *track, i32 limitRow);
i32 DM_TrackLeft(DM_ARM_TRACK *track, i32 limitColumn);
i32 DM_TrackRight(DM_ARM_TRACK *track, i32 limitColumn);

// ---- Driver, pairing and checks.
i32 DM_SegmentFinder(DM_CANDIDATE *out, i32 wanted, i32 darkOnLightProbes, i32 lightOnDarkProbes);
void DM_FinishTracks(DM_EDGE_TRACK *tracks, i32 *trackCount, DM_CANDIDATE *out, i32 capacity, i32 *found);
void DM_PairArms(DM_EDGE_TRACK *track, DM_CANDIDATE *out, i32 *found, i32 capacity);
i32 DM_CheckCandidates(DM_CANDIDATE *list, i32 count);
i32 DM_HasRoomForArm(const DM_EDGE_TRACK *track);
i32 DM_IntersectTrackLines(const GEO_POINT *a0, const GEO_POINT *a1, const GEO_POINT *b0, const GEO_POINT *b1,
                           GEO_POINT *out);
i32 DM_IsRightAngle(const GEO_POINT *corner, const GEO_POINT *p, const GEO_POINT *q);
i32 DM_CountLineTransitions(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast);
i32 DM_ColumnContrastThreshold(const u8 *column, i32 count);
// 100 x a line's transition count must stay within this for a line of Chebyshev length n.
i64 DM_TransitionBudget(i32 n);
// As DM_CountLineTransitions, with each position read between pixels instead of truncated.
i32 DM_CountSampledLineTransitions(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast);

}  // namespace vexo

namespace vexo {

// ---- Line, edge and pattern routines.
// A caller's image record.
struct DM_PIXEL_VIEW {
    u8 *pixels;
    i32 width;
    i32 height;
    i32 stride;
};

inline constexpr i32 kDmCrossLineSamples = 640;
inline constexpr i32 kDmTimingLineSamples = 1280;

i32 DM_PointDistance(const i32 *p, const i32 *q);
i32 DM_LineVariation(const DM_PIXEL_VIEW *view, i32 x0, i32 y0, i32 x1, i32 y1, i32 *total);
// Edge points across the path p..q (cross lines of half-extent (a, b), at most 640 samples
// long: a longer one gives no point).
i32 DM_FallingEdgesAcrossPath(const GEO_POINT *p, const GEO_POINT *q, i32 a, i32 b, i32 minStep, i32 *xs, i32 *ys,
                              i32 capacity);
i32 DM_RisingEdgesAcrossPath(const GEO_POINT *p, const GEO_POINT *q, i32 a, i32 b, i32 minStep, i32 *xs, i32 *ys,
                             i32 capacity);
// Votes of 30 distance rows by 10 angle columns; only the first ten angles vote.
void DM_HoughVote(i32 x0, i32 y0, i32 firstAngle, i32 endAngle, i32 votes[300], const i32 *xs, const i32 *ys,
                  i32 count);
i32 DM_HoughPeak(i32 firstAngle, const i32 votes[300], i32 *angle, i32 *distance);
i32 DM_IntersectSlopeLinesTrunc(const SLOPE_LINE *l1, const SLOPE_LINE *l2, i32 out[2]);
// Modules counted along the timing sides of quad (top left, top right, bottom left, bottom
// right) minus the two corner modules; 0 when no two lines agree.
i32 DM_CountTimingModules(const GEO_POINT quad[4], i32 mode, const void *required);
i32 DM_SampleBilinear16Zero(const u8 *pixels, i32 x16, i32 y16);
i32 DM_SampleBilinear16ZeroChecked(const u8 *pixels, i32 x16, i32 y16);
i32 DM_LevelContrastThreshold(u8 level);
i32 DM_RowContrastThreshold(const u8 *run, i32 count);
i32 DM_CountLineTransitionsChecked(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast);
i32 DM_IsRightAngleChecked(const GEO_POINT *corner, const GEO_POINT *p, const GEO_POINT *q);
i32 DM_CheckCandidatesChecked(DM_CANDIDATE *list, i32 count);
i32 DM_HasRoomForArmChecked(const DM_EDGE_TRACK *track);
i32 DM_CornerCosineChecked(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r);
i32 DM_InImage(i32 x, i32 y);
i32 DM_RotateAbout(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);
void DM_ShiftByRowOffset(const GEO_POINT *src, const GEO_POINT *ref, GEO_POINT *dst);
void DM_ClipSegmentToImage(i32 *x0, i32 *y0, i32 *x1, i32 *y1);
// out holds 2 count points: the offsets at 0.01 and at 0.009 of each direction (x, y pairs).
i32 DM_MapPatternOffsets(const i32 *directions, i32 count, GEO_POINT *out, i32 x, i32 y, const f64 transform[8]);
// offsets holds 2 splitB points (1/16 pixel); 1 <= splitA <= splitB.
i32 DM_FindPattern(i32 x, i32 y, i32 radius, const GEO_POINT *offsets, i32 splitB, i32 splitA, i32 darkCentre,
                   GEO_POINT *out);

}  // namespace vexo
