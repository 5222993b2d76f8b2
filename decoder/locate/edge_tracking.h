// The edge-tracking L-corner finder: nearly vertical edges are seeded on scan rows 52 pixels
// apart, tracked up and down the installed frame, and the perpendicular edge at either end is
// traced sideways and checked as the solid L of a 2D symbol. Nothing of the decode sequence
// calls it. Every size comes from IMAGE_DESC, which must describe the image handed in.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// One tracked straight edge (eleven words).
struct EDGE_TRACK {
    i32 active;     // 1 while in use
    i32 complete;   // both ends final, length set
    i32 polarity;   // 1: rising across the edge in the sampling direction; 0: falling
    i32 headDone;   // head end tracked
    i32 tailBegun;  // tail tracking begun; drift valid from then on
    i32 drift;      // x change over the first four single-row tail steps; 0 for a cross track
    i32 headX, headY;
    i32 tailX, tailY;
    i32 length;  // (int) head-tail distance, set on completion
};
static_assert(sizeof(EDGE_TRACK) == 11 * sizeof(i32), "EDGE_TRACK is eleven words");

// One L corner (thirteen words). Turning from corner->endA to corner->endB is a clockwise
// quarter turn on screen.
struct CORNER_CANDIDATE {
    i32 valid;
    i32 darkOnLight;  // 1: corner of a dark region on light ground
    GEO_POINT endA;
    GEO_POINT endB;
    GEO_POINT corner;
    GEO_POINT fourth;  // endA + endB - corner
    i32 armALength;
    i32 armBLength;
    i32 texture;  // interior score; at most 34 in every candidate written
};
static_assert(sizeof(CORNER_CANDIDATE) == 13 * sizeof(i32), "CORNER_CANDIDATE is thirteen words");

inline constexpr i32 kEdgeScanInterval = 52;  // rows between scan rows
inline constexpr i32 kEdgeTrackListSize = 50;  // tracks and seeds per polarity
inline constexpr i32 kEdgeScanMaxRows = 64;    // scan rows of the tallest frame the schedule serves

// --- Edge searches on sample lines ---

// Smallest step an edge with this brighter end value must make.
i32 Loc_EdgeMinStep(i32 brighter);
// Bridged-run edge lists of a row, positions in increasing order, at most capacity; writes
// the mean samples per accepted edge (3 when none) to *meanWidth.
i32 Loc_RowFallingEdges(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 *meanWidth);
i32 Loc_RowRisingEdges(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 *meanWidth);
// 1 and *position (first of equal steps) when a qualifying edge exists; *position untouched else.
i32 Loc_StrongestFallingEdge(const u8 *s, i32 n, i32 *position);
i32 Loc_StrongestRisingEdge(const u8 *s, i32 n, i32 *position);
// Qualifying strict runs.
i32 Loc_CountRisingEdges(const u8 *s, i32 n);
i32 Loc_CountFallingEdges(const u8 *s, i32 n);
// Sum of absolute intensity changes along the digital line; outside points count as 0.
i32 Loc_LineVariation(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1);
// Strict runs of at least minStep, positions in 1/16 sample (step centres).
i32 Loc_FallingEdges16(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 minStep);
i32 Loc_RisingEdges16(const u8 *s, i32 n, i32 *positions, i32 capacity, i32 minStep);
i32 Loc_FallingEdgeSteps16(const u8 *s, i32 n, i32 *positions, u8 *steps, i32 capacity, i32 minStep);
i32 Loc_RisingEdgeSteps16(const u8 *s, i32 n, i32 *positions, u8 *steps, i32 capacity, i32 minStep);
// Offsets of the digital line's points from its start, at most capacity entries.
i32 Loc_LineStepOffsets(i32 x0, i32 y0, i32 x1, i32 y1, i32 *dx, i32 *dy, i32 capacity);
i32 Loc_SumBytes(const u8 *s, i32 n);
i32 Loc_SumAbsSteps(const u8 *s, i32 n);
void Loc_BufferMinMax(const u8 *s, i32 n, u8 *largest, u8 *smallest);
void Loc_LargestMonotoneSwing(const u8 *s, i32 n, i32 *swing, i32 *start, i32 *end);
// DM_SampleImageLine after a null check; out must hold the line's n + 1 samples.
i32 Loc_SampleLineChecked(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out);
// Sum of the frame pixels on the digital line (start included).
i32 Loc_LineIntensitySum(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1);

// --- Edge tracks ---

void Loc_TrackUpFromFirstRow(const u8 *image, EDGE_TRACK *track, i32 w);
void Loc_TrackUpToPreviousRow(const u8 *image, EDGE_TRACK *track, i32 w);
void Loc_TrackDownOneInterval(const u8 *image, EDGE_TRACK *track, i32 w);
void Loc_TrackDownToBottom(const u8 *image, EDGE_TRACK *track, i32 w);
void Loc_ExtendTrackEnds(const u8 *image, EDGE_TRACK *track, i32 w);
i32 Loc_TrackIsStraight(const u8 *image, EDGE_TRACK *track);
i32 Loc_ChordEdgeTest(const u8 *image, EDGE_TRACK *track);

// --- Corner searches at track ends ---

i32 Loc_TryTrackCorners(const u8 *image, EDGE_TRACK *track, CORNER_CANDIDATE *out, i32 darkCorners, i32 lightCorners);
i32 Loc_FindTrackCorners(const u8 *image, EDGE_TRACK *track, CORNER_CANDIDATE *out, i32 darkCorners,
                         i32 lightCorners);
i32 Loc_TraceCrossEdge(const u8 *image, EDGE_TRACK *cross, i32 dx, i32 dy);
i32 Loc_BuildCornerCandidate(const EDGE_TRACK *first, const EDGE_TRACK *second, CORNER_CANDIDATE *out);
i32 Loc_IntersectLines(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *q1, const GEO_POINT *q2,
                       GEO_POINT *out);
i32 Loc_NearRightAngle(const GEO_POINT *k, const GEO_POINT *a, const GEO_POINT *b);
i32 Loc_CheckLCorner(const u8 *image, const GEO_POINT *endA, const GEO_POINT *corner, const GEO_POINT *endB);
i32 Loc_VerifyLCorner(const u8 *image, const GEO_POINT *endA, const GEO_POINT *corner, const GEO_POINT *endB);
void Loc_ScoreCornerInterior(const u8 *image, CORNER_CANDIDATE *candidate);

// --- The finder ---

// Scan rows for a frame height (52, 104, ..., 52 (H/52 - 1)); none below three row bands.
i32 Loc_EdgeScanRows(i32 height, i32 *rows, i32 capacity);
i32 Loc_FindLCorners(const u8 *image, CORNER_CANDIDATE *out, i32 capacity, i32 darkCorners, i32 lightCorners);
void Loc_ScanEdgeTracks(const u8 *image, CORNER_CANDIDATE *out, i32 *count, i32 capacity, i32 darkCorners,
                        i32 lightCorners);
void Loc_AdvanceTracks(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, CORNER_CANDIDATE *out, i32 *count,
                       i32 capacity, i32 meanWidth, i32 darkCorners, i32 lightCorners);
void Loc_AdvanceTracksFinal(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, CORNER_CANDIDATE *out, i32 *count,
                            i32 capacity, i32 meanWidth, i32 darkCorners, i32 lightCorners);
EDGE_TRACK *Loc_InitEdgeTrack(EDGE_TRACK *track, i32 polarity, i32 x, i32 y);
void Loc_KeepInnerSeeds(i32 *seeds, i32 *seedCount);
void Loc_DropTrackedSeeds(const EDGE_TRACK *tracks, const i32 *trackCount, i32 *seeds, const i32 *seedCount);
void Loc_StartEdgeTracks(const u8 *image, EDGE_TRACK *tracks, i32 *trackCount, const i32 *seeds, const i32 *seedCount,
                         i32 polarity, i32 meanWidth, i32 row);
i32 Loc_DedupCornerCandidates(CORNER_CANDIDATE *candidates, i32 count);

}  // namespace vexo
