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

}  // namespace vexo
