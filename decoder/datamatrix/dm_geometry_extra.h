// Data Matrix routines that no decode path calls: region-by-region perspective resampling
// from a lattice of region corners. They work on the caller's buffers and the installed
// image; nothing the decode path reads is written, except that DM_ResampleSymbol uses the
// work memory's module matrix area as its scratch.
#pragma once

#include "core/types.h"
#include "datamatrix/dm_sampling.h"
#include "datamatrix/dm_types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

// ---------------------------------------------------------------------------------------
// Region-by-region perspective resampling

// Largest symbol side of DM_ResampleSymbol (its module matrix area holds 144 x 144).
inline constexpr i32 kDmResampleMaxSide = 144;
inline constexpr i32 kDmResampleAreaBytes = kDmResampleMaxSide * kDmResampleMaxSide;
static_assert(kDmResampleAreaBytes == 20736 && kDmResampleAreaBytes <= kDmMatrixAreaBytes);

// Grey at (x, y) pixels of an image of the installed size with row stride `stride`,
// bilinear in tenths of a pixel; 127 when trunc(x) <= 0, trunc(y) <= 0, trunc(x) >=
// width - 1 or trunc(y) >= height - 1, and for a position that is not finite or beyond the
// integer range (the quotient of a zero denominator).
u8 DM_SampleBilinear10(const u8 *image, i32 stride, f32 x, f32 y);

// Maps the region whose image corners (pixels) are corners[0..3] and module corners (half
// modules) moduleCorners[0..3] through the perspective solved from the four pairs, and
// samples the module centres X = 2 colOrigin + 1, + 3, ... (regionCols2 / 2 of them), Y =
// 2 rowOrigin + 1, ... (regionRows2 / 2 rows) into map[(Y / 2) * stride + X / 2], stride =
// mapCols * regionCols2 / 2. The caller's map holds (rowOrigin + regionRows2 / 2) * stride
// bytes; the image is of the installed size. 1 sampled; 0 (nothing written) for a singular
// system, a coefficient that is not finite or beyond +-2^40 once scaled by 100,000, a region
// outside the map's stride, or a null pointer.
i32 DM_ResampleRegion(const GEO_POINT corners[4], const GEO_POINT moduleCorners[4], i32 mapCols, i32 regionCols2,
                      i32 regionRows2, i32 colOrigin, i32 rowOrigin, const u8 *image, u8 *map);

// The same at the integer module points X = colOrigin .. colOrigin + width - 1, Y = rowOrigin
// .. rowOrigin + rows - 1 (module corners in the same units) into map[Y * width + X]; the
// caller's map holds (rowOrigin + rows) * width + colOrigin bytes. Then every written byte
// becomes 1 when its sample is at most the mean of the region's samples, else 0. 1, or 0
// with nothing written for an empty region, negative origins, a singular system or a
// coefficient as above.
i32 DM_ResampleRegionMean(const GEO_POINT corners[4], const GEO_POINT moduleCorners[4], i32 width, i32 rows,
                          i32 colOrigin, i32 rowOrigin, u8 *map, const u8 *image);

// Resamples a symbol of gridRows x gridCols regions of regionRows x regionCols modules each
// (with their finder and timing lines) from lattice (node row r of the region corners
// above region row r, pixels): region (t, b) maps its lattice nodes (t, b), (t + 1, b),
// (t, b + 1), (t + 1, b + 1) to the half-module corners (2 b regionCols, 2 t regionRows),
// (.., + 2 regionRows), (+ 2 regionCols, ..), (+ 2 regionCols, + 2 regionRows). The grey map
// (gridRows regionRows x gridCols regionCols bytes, the caller's `mapping`) is binarised
// into the work memory's module matrix area (1 foreground when invert is 1 for dark on
// light, as the live binarisation) and the data modules (every region without its first and
// last row and column) are copied back into mapping, row-major. 0; -1 for a singular region,
// more than 6 regions a side, a side beyond 144 modules, regions of fewer than 3 modules a
// side, no work memory or a null pointer.
i32 DM_ResampleSymbol(const GEO_POINT lattice[kDmLatticeSide][kDmLatticeSide], i32 regionCols, i32 regionRows,
                      i32 gridRows, i32 gridCols, i32 invert, const u8 *image, u8 *mapping);

// Tile-wise binarisation of a cols x rows grey map (row stride `stride` for grey and bits):
// per tile the midrange when its extremes differ by more than 15; a flat tile takes its
// minimum - 15 above 199, its maximum + 15 at or below 59, and else the previous tile's
// threshold (0 before the first). bits = 1 where grey is below the threshold. Nothing
// happens unless cols, rows > 0, tile > 4 and stride >= cols.
void DM_ThresholdTiles(const u8 *grey, u8 *bits, i32 cols, i32 rows, i32 stride, i32 tile);

// Geo_BinariseModules with isolated modules fixed and a margin of 8; its result.
i32 DM_BinariseModuleMap(const u8 *grey, u8 *bits, i32 cols, i32 rows, i32 invert);

// ---------------------------------------------------------------------------------------
// Fitting and resampling

// Bilinear grey of the installed image at (x16, y16) in 1/16 pixel, weights of 1/256 and no
// gain; defaultGrey when x16 >= 16 (width - 1) or y16 >= 16 (height - 1). Reads the image
// without a lower bound: callers pass positive coordinates.
i32 DM_SampleBilinear16Default(i32 x16, i32 y16, i32 defaultGrey);
// defaultGrey when x16 or y16 is 0 or less, else DM_SampleBilinear16Default.
i32 DM_SampleBilinear16DefaultChecked(i32 x16, i32 y16, i32 defaultGrey);

// A raster walk through an integer perspective; its head has GRID_WALK's layout.
struct RESAMPLE_WALK {
    PERSPECTIVE transform;  // cell (u, v) to sample position
    i32 firstCol;
    i32 firstRow;
    i32 lastCol;  // inclusive
    i32 lastRow;  // inclusive
    i32 outStep;
    i32 outOffset;
    u8 *out;
    i32 defaultGrey;
    i32 xOffset;  // added to every mapped position, 1/16 pixel
    i32 yOffset;
};
// Every cell u = firstCol .. lastCol of every row v = firstRow .. lastRow: den = c6 u + c7 v
// + c8, X = (2 den + 4 (c0 u + c1 v + c2)) / den + xOffset, Y likewise (truncating, 64-bit;
// a zero denominator gives 0 before the offset), and out[outOffset + (v - firstRow) outStep
// + (u - firstCol)] = DM_SampleBilinear16Default(X, Y, defaultGrey) when X > 0 and Y > 0,
// else defaultGrey (also for a position beyond the 32-bit range). The caller's raster holds
// every byte so addressed. 0 for a missing walk or raster, else 1 (also for an empty range).
i32 DM_ResampleGrid(RESAMPLE_WALK *walk);
// (x, y) to quarter pixels: (2 den + 4 (c0 x + c1 y + c2)) / den, Y likewise, in 64 bits. 1;
// 0 (outputs untouched) for a missing pointer, den = 0, an overflow or a result beyond 32
// bits.
i32 DM_MapPointQuarter(const PERSPECTIVE *t, i32 x, i32 y, i32 *outX, i32 *outY);
// DM_PerspectiveNormalEquations for 4 pairs or more; 0 (nothing written) below.
i32 DM_PerspectiveNormalEquationsChecked(const GEO_POINT *source, const GEO_POINT *target, i32 count,
                                         f64 matrix[64], f64 rhs[8]);
// DM_SolveLdlt8 with the factor in local storage: the matrix is left as it was. Its result.
i32 DM_SolveLdlt8Keep(const f64 matrix[64], f64 rhs[8]);
// v = slope t + offset over the first count pairs; both 0 when (sum t)^2 - count sum t^2 is
// within 1e-5 of 0 (a single point) or a pointer is missing.
void DM_FitLineDouble(i32 count, const f64 *t, const f64 *v, f64 *slope, f64 *offset);
// Normal equations of v = a t^3 + b t^2 + c t + d over the first count pairs (matrix row by
// row, unknowns a..d).
void DM_CubicNormalEquations(const f64 *t, const f64 *v, i32 count, f64 matrix[16], f64 rhs[4]);
// Each coordinate (x first, then y) replaced by trunc(offset + slope k + 0.5) of its line
// fit over the index k. Nothing changes for a count outside 1 .. kDmSmoothMaxPoints; a single
// point becomes (0, 0).
inline constexpr i32 kDmSmoothMaxPoints = 50;
void DM_SmoothPointsLinear(GEO_POINT *points, i32 count);

// ---------------------------------------------------------------------------------------
// Further counters, samplers and accessors of the geometry code

// For every maximal strict ascent and descent of run[0..n) (at most kDmMaxRunEntries runs):
// amplitudes[k] = its amplitude and centroids[k] = its centroid (1/10 sample, as
// DM_EdgeCentres) when the amplitude reaches minimum, else -1, so the two lists stay
// paired. The caller provides kDmMaxRunEntries entries in each. Returns the number of runs.
inline constexpr i32 kDmMaxRunEntries = 150;
i32 DM_EdgeCentresWithAmplitudes(const u8 *run, i32 n, i32 *centroids, i32 *amplitudes, i32 minimum);
// Sum of the amplitudes of the strict runs whose amplitude times 6 reaches their upper end;
// 0 for a missing run or fewer than 2 samples.
i32 DM_RelativeContrastSum(const u8 *run, i32 n);
// DM_LineContrastSum with the locating step's noise threshold as the minimum swing.
i32 DM_LineContrastSumAlt(u8 *image, GEO_POINT a, GEO_POINT b);
// Installed-frame samples of the integer walk (x0, y0) .. (x1, y1), one a step of the major
// axis, ends included: the first 128 outside the frame, later outside points repeat the
// previous sample. At most the frame width (out holds that many). The count; 1 when the
// ends coincide, 0 for a missing output or frame.
i32 DM_SampleLineMajor(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out);
// DM_SampleFrameLine's points with outside points repeating the first sample, at most the
// frame width.
i32 DM_SampleLineRepeat(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out);
// 1 for 6..20, 2 for 21..45, 3 for 46..70, 4 for 71..90, 5 for 91..99, 6 otherwise.
i32 DM_ClassFromCount6(i32 v);
// 1 below 35, 2 below 60, 4 below 120, else 6.
i32 DM_ClassFromCount(i32 v);
// Descents of v whose relative drop (drop x 255 / bottom, drop x 10 for a bottom of 0)
// exceeds 150 and the best so far (at most 30 recorded); the middle index of the best, its
// relative drop in *peak. 0 and *peak = 0 when none.
i32 DM_PeakDrops30(const i32 *v, i32 n, i32 *peak);
// DM_CountTransitions (threshold 7) of both diagonals of the candidate, summed, / 40.
i32 DM_DiagonalTransitions40(const u8 *image, const DM_PREPARED_CANDIDATE *cand);
// Sum of the amplitudes of the strict runs reaching t.
i32 DM_ProfileContrastSum(const u8 *run, i32 n, i32 t);
i32 DM_SumInts(const i32 *v, i32 n);
i32 DM_ReturnOne();
struct DM_DESCENT {
    i32 start, end, length, drop;
};
// The strict descent of v with the largest drop (the first of equal ones); length 1 and drop
// 0 at index 0 when there is none.
void DM_LargestDescent(const i32 *v, i32 n, DM_DESCENT *out);
// Entries of -1 replaced from their known neighbours with the most frequent spacing of
// neighbouring known entries (spacings 1..50 counted); nothing changes without one.
void DM_FillMissingPositions(i32 *v, i32 n);
// DM_ShareCentres with the scaling (2 d c + 1) / (2 e) (d, e the 1/16 major lengths of dst
// and src) and dst's points placed Euclidean distance c |p1 - p0| / d from p0 (1/16 pixel)
// with Geo_StepTowardsRound. 1 when dst then has points.
i32 DM_ShareCentresRounded(DM_BOUNDARY *src, DM_BOUNDARY *dst);
struct DM_RUN_SPAN {
    i32 start, end;
};
// First and last index of the strongest strict descent (falling) or ascent; 0 when none.
i32 DM_StrongestRun(const u8 *run, i32 n, i32 falling, DM_RUN_SPAN *out);
// The centre between the first falling and the first rising run (falling first when
// `falling`, else rising first) met in the first half of the run; n / 2 when one is missing.
i32 DM_FirstModuleCentre(const u8 *run, i32 n, i32 falling);
// Midpoint (samples) of the strongest descent or ascent, its amplitude in *amplitude; -1
// when none.
i32 DM_StrongestRunCentre(const u8 *run, i32 n, i32 falling, i32 *amplitude);
// DM_CountTransitions with DM_DiagonalStepThreshold's t when t is 0.
i32 DM_CountTransitionsAuto(const u8 *run, i32 n, i32 t);
// Steps through the centres along p-q and keeps nothing.
void DM_WalkCentres(GEO_POINT p, GEO_POINT q, const i32 *centres, i32 n);
// out[i] = (a[i] + b[i]) >> 1.
void DM_AverageLists(const i32 *a, const i32 *b, i32 *out, i32 n);
// 128 for x16 or y16 of 0 or less, else DM_SampleBilinear16.
i32 DM_SampleBilinear16Checked(const u8 *image, i32 x16, i32 y16);
void DM_SetLocateWord0(i32 v);
void DM_SetLocateWord2(i32 v);
i32 DM_GetLocateWord0();
i32 DM_GetLocateWord2();
// 2 (3) x arm1Length / moduleRows / regionRows for first, else 2 (3) x arm2Length /
// regionCols / moduleCols; 0 when a count is 0 (a cleared record) or a pointer is missing.
i32 DM_Reach2Modules(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first);
i32 DM_Reach3Modules(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first);
// DM_FirstBoundaryPoint, or `to` itself for n = 1.
void DM_FirstBoundaryPointOrEnd(GEO_POINT from, GEO_POINT to, i32 n, GEO_POINT *out);
// out = c + a - b; its y.
i32 DM_CompleteParallelogram(GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT *out);

}  // namespace vexo
