// Locating and sizing a Data Matrix candidate (layout class from the diagonals, the order in
// which classes are tried, module counting on the timing edges, size snapping), the edge
// measurement it builds on (local Hough line fit, timing-edge and parallel-edge searches),
// and the small line routines of the module. Points are whole pixels unless a routine says
// otherwise; nothing here allocates: scratch lies in the image's work memory.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_types.h"
#include "toolkit/angle_tables.h"
#include "toolkit/geometry.h"

namespace vexo {

// ---- The calls into the region lattice and the classifier, through a table so that a test
// can script them.
struct DM_LOCATE_CALLS {
    i32 (*classify)(u8 *image, GEO_POINT *armEnd1, GEO_POINT *corner, GEO_POINT *armEnd2, i32 darkOnLight);
    i32 (*tryLargeSymbolPath)(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
    i32 (*measureCell)(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
    i32 (*completeLattice)(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
};
extern const DM_LOCATE_CALLS kDmLocateCalls;
extern const DM_LOCATE_CALLS *g_dmLocateCalls;

// Region lattice steps: 1 when the large-symbol path measured everything, 0 / -1 to measure
// the cell, -5 or -3 otherwise.
i32 DM_TryLargeSymbolPath(DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
// Measures the cell next to the L corner: 0, -3 (count above 49) or another failure.
i32 DM_MeasureCell(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
// Completes the lattice over all regions: 0 or a failure.
i32 DM_CompleteLattice(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);

// ---- Locating state: the noise threshold G (15 at the start of each candidate) and the
// alternative-score flag (always 0 on the decode path).
i32 DM_GetNoiseThreshold();
void DM_SetNoiseThreshold(i32 g);
void DM_SetAltScoreFlag(i32 flag);
i32 DM_GetAltScoreFlag();

// ---- Locating and sizing.

// Class chain over the candidate; 0 when the geometry is complete, else a negative status.
i32 DM_LocateAndSize(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo);
// Layout class -1 (rejected), 1, 2, 4 or 6 from the transitions on both diagonals and the
// arm lengths; sets G; may move an arm end (arm repair).
i32 DM_ClassifyLayout(u8 *image, GEO_POINT *armEnd1, GEO_POINT *corner, GEO_POINT *armEnd2, i32 darkOnLight);
// The class for o diagonal transitions and arms b, c.
i32 DM_ClassFromTransitions(i32 o, i32 b, i32 c);
// The next class to try after `layoutClass` failed: -1 when the chain ends, -100 outside.
i32 DM_NextLayoutClass(i32 layoutClass);
// Counts the modules of the cell next to the L corner and snaps the size: 0, -1, -2, -3, -5.
i32 DM_CountModules(u8 *image, DM_GEOMETRY *geo);
// Data-module counts of one region from the measured counts: 0, -1 or -2.
i32 DM_SnapSymbolSize(DM_GEOMETRY *geo);
// Starting module counts of a class (rows 0: columns).
i32 DM_DefaultModuleCount(i32 layoutClass, i32 rows);
// Sums three parallel lines (a-b moved 0, 1, 2 pixels towards c-d) into byte levels in the
// work memory; the sample count of the last line, or -1. *band points at the levels.
i32 DM_SampleTimingBand(u8 *image, GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT d, const u8 **band);
// Vote count of the module count of a timing profile; writes *count unless the profile
// has no usable swings.
i32 DM_EstimateModuleCount(const u8 *p, i32 n, i32 *count);
// Amplitudes of the strict runs of p (at most capacity); answers their count.
i32 DM_RunAmplitudes(const u8 *p, i32 n, i32 *out, i32 capacity);
// The k-th largest (0: the largest) of v, or 0 when there are not k + 1 values.
i32 DM_NthLargest(const i32 *v, i32 n, i32 k);
// Adds the module-count votes of an edge list (1/10 sample) over a profile of n samples.
void DM_VoteModuleCounts(const i32 *edges, i32 count, i32 n, i32 hist[100]);
// The winner of a vote histogram with its odd-neighbour correction; *peak its votes.
i32 DM_WinnerOfVotes(const i32 hist[100], i32 *peak);
// The minimum step of the second try, or 0 when the first stands.
i32 DM_SecondTryStep(i32 winner, i32 peak, i32 minStep);
i32 DM_QuietZoneNoise(u8 *image, GEO_POINT p, GEO_POINT q);
// Byte-wide bins of run amplitudes (counts wrap at 256).
void DM_RunAmplitudeHistogram(const u8 *s, i32 n, u8 hist[256]);
i32 DM_NoiseLevelFromHistogram(const u8 hist[256]);
i32 DM_DiagonalStepThreshold(const u8 *s, i32 n);
// Strict runs whose amplitude reaches t (0: 5).
i32 DM_CountTransitions(const u8 *s, i32 n, i32 t);
i32 DM_CountTransitionsChecked(const u8 *s, i32 n, i32 t);
// 1 when armEnd2 was moved, 2 when armEnd1 was, 0 otherwise.
i32 DM_RepairShortArm(u8 *image, GEO_POINT *armEnd1, GEO_POINT *corner, GEO_POINT *armEnd2, i32 b, i32 c);
void DM_RepairFourthCorner(u8 *image, GEO_POINT a, GEO_POINT *f);
// Keeps the (fall, rise) pairs of dark runs in both lists; answers the pair count.
i32 DM_PairDarkRuns(i32 *falls, i32 *nf, i32 *rises, i32 *nr);
// Points centre >> 4 steps along s-e until one leaves the frame margin; *mean their grey.
i32 DM_RunCentresToPoints(const i32 *centres, i32 n, GEO_POINT s, GEO_POINT e, GEO_POINT *out, i32 *mean);
// Appends reflected centres while fewer than 8 and dark enough; answers the count.
i32 DM_ExtendDarkCentres(GEO_POINT *pts, i32 n, i32 mean);
// The point n steps from p towards q along the major axis of p-q (negative n: beyond p).
// Any unit: MaxiCode's orientation search passes 1/16-pixel points and steps.
void DM_PointAlongSegment(GEO_POINT p, GEO_POINT q, i32 n, GEO_POINT *out);

// ---- Line routines.

// The start pixel (128 outside) and n - 1 further pixels of the walk towards (x1, y1) (255
// outside); at most capacity; answers the count, 0 when n < 2.
i32 DM_SampleFrameLine(i32 x0, i32 y0, i32 x1, i32 y1, u8 *out, i32 capacity);
// Centroids (1/10 sample) of strict ascents / descents of at least minStep; at most 150.
i32 DM_RisingEdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep);
i32 DM_FallingEdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep);
inline constexpr i32 kDmMaxEdgeCentres = 150;

// ---- Edge measurement.

inline constexpr i32 kDmEdgeAngles = kAngleSteps;  // pi / 314 per unit

// Local Hough fit of the edge p-q whose lighter side lies towards R(p - q); 1 with out.
i32 DM_FitEdgeLine(GEO_POINT p, GEO_POINT q, i32 a, SLOPE_LINE *out);
// Hough origin and reference angle of the fit of p-q.
void DM_FitOrigin(GEO_POINT p, GEO_POINT q, GEO_POINT *origin, i32 *th0);
// 1/16-sample centroid of the first strongest ascent above t, or 0.
i32 DM_StrongestRiseCentre(const u8 *s, i32 count, i32 t);
i32 DM_SearchTimingEdge(u8 *image, GEO_POINT *p, GEO_POINT *q, GEO_POINT r, i32 reach);
i32 DM_PeakOfDrops(i32 *v, i32 n, i32 *peak);
i32 DM_LineContrastSum(u8 *image, GEO_POINT a, GEO_POINT b, i32 t);
i32 DM_SearchParallelEdge(GEO_POINT t1, GEO_POINT t2, const SLOPE_LINE *diagonal, SLOPE_LINE *line, i32 scale,
                          GEO_POINT *point, i32 *score);
i32 DM_PeakRelativeDrop(const i32 *v, i32 n, i32 *peak);
void DM_BoundaryWindowSingle(const SLOPE_LINE *line, GEO_POINT corner, GEO_POINT armEnd, GEO_POINT *t1,
                             GEO_POINT *t2);
void DM_BoundaryWindowMulti(const SLOPE_LINE *line, GEO_POINT corner, GEO_POINT armEnd, i32 n, GEO_POINT *t1,
                            GEO_POINT *t2);
void DM_FirstBoundaryPoint(GEO_POINT from, GEO_POINT to, i32 n, GEO_POINT *out);
i32 DM_EdgeSearchReach(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first);
void DM_ExtrapolateNode(GEO_POINT a, GEO_POINT b, GEO_POINT *out);

// Work-memory areas of locating (offsets in the image's second buffer).
inline constexpr i32 kDmBandSumsOffset = 0;         // 1,280 i32; also the parallel-edge scores
inline constexpr i32 kDmCountScratchOffset = 5136;  // 1,280 i32
inline constexpr i32 kDmTrackPointsOffset = 10272;  // 640 points of the parallel-edge search
inline constexpr i32 kDmTimingSamplesOffset = 20528;
inline constexpr i32 kDmDiagonalSamplesOffset = 21824;
// Frames are at most 1,280 pixels wide, which bounds every sampled line here.
inline constexpr i32 kDmLineSamples = 1280;
inline constexpr i32 kDmParallelEntries = 640;
static_assert(kDmCountScratchOffset >= kDmBandSumsOffset + kDmLineSamples * 4);
static_assert(kDmTrackPointsOffset >= kDmCountScratchOffset + kDmLineSamples * 4);
static_assert(kDmTimingSamplesOffset >= kDmTrackPointsOffset + kDmParallelEntries * 8);
static_assert(kDmDiagonalSamplesOffset >= kDmTimingSamplesOffset + kDmLineSamples);
static_assert(kDmDiagonalSamplesOffset + kDmLineSamples <= kDmScratchEnd);

}  // namespace vexo
