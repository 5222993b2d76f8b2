// Finder geometry and sampling routines of the QR geometry module that no decode path calls:
// ray transitions and finder-ray edges, a finder's orientation from the dark modules beside
// its sides, sampling through a fit of two module columns, tenth-aware rounding and the
// split of a segment into module boundaries. They read the installed frame and the work
// area's sample buffer and keep no state of their own.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

// Longest ray (samples) of QR_FindRayTransitions and QR_MeasureFinderRays; the work area's
// sample buffer holds at least this many bytes.
inline constexpr i32 kQrRayMaxSamples = 960;
// Sides of QR_FindRayTransitions.
inline constexpr i32 kQrRayForward = 1;
inline constexpr i32 kQrRayBackward = 2;
inline constexpr i32 kQrRayBoth = 3;

// Samples the ray from centre (whole pixels, inside the frame) along direction (pixels, any
// length) over `length` steps of the major axis, forward and/or backward, thresholds each
// side at min + 2 (max - min) / 5 (forward: of samples 0 .. count / 2; backward: of all) and
// records the first k points (whole pixels) where the thresholded value changes: forward
// ones into out[k - 1] down to out[0], backward ones into out[k] .. out[2 k - 1]. The
// caller provides 2 k points; entries of a side not asked for are left alone. 1 when every
// requested side gave k transitions, else 0 (also for k <= 0, a null pointer, a zero
// direction or a length outside 1 .. kQrRayMaxSamples).
i32 QR_FindRayTransitions(GEO_POINT centre, GEO_POINT direction, i32 length, i32 sides, GEO_POINT *out, i32 k);

// A finder's rays as QR_MeasureFinderPair measures a pair, for one pattern in both
// directions. centre and toward in whole pixels (the ray runs from centre through toward,
// `length` one-pixel steps, at most kQrRayMaxSamples).
struct QR_FINDER_RAYS {
    GEO_POINT centre;
    GEO_POINT toward;
    i32 length;
    // Written (whole pixels): per side (0 towards `toward`, 1 away) the two main edges (1.5
    // and 3.5 modules out on a finder) and the opposite edge between them (2.5 modules).
    GEO_POINT mainEdge[2][2];
    GEO_POINT middleEdge[2];
};
// Main edges are the rising edges (dark pattern on light paper) of the absolute-threshold
// edge finder with minimum step max((m - 30) / 6, 7), m the brightest sample of the ray; the
// middle edge is a falling edge between them. 1 when both sides gave all three, else 0.
i32 QR_MeasureFinderRays(QR_FINDER_RAYS *rays);

// The 56 strip points beside a finder's sides and the five finder-local points, in units of
// 1/11 module (finder-local: module centres 0 .. 6 across the pattern).
inline constexpr i32 kQrFinderStripPoints = 56;
extern const GEO_POINT kQrFinderLocalPoints[kQrFinderStripPoints + 5];

// Samples the strip points through t (1/11 module to 1/4 pixel) with the frame's pixels
// (255 outside), thresholds at (min + max) / 2 of the samples below 255 and counts per side
// the samples at or below it. Of the four pairs of adjacent sides, the strictly largest sum:
// 0 left and bottom, 1 left and top, 2 top and right, 3 right and bottom; -1 for a tie, a
// failed mapping, a null transform or no frame.
i32 QR_FinderOrientationByCount(const PERSPECTIVE *t);

// Switches walk's row callback to the frame's 4-pixel mean sampler when the symbol state's
// module size exceeds 8 pixels, then walks the grid. Geo_MapGridRows's result.
i32 QR_SampleGridMeanIfLarge(GRID_WALK *walk);

// Points every 4 modules along two module columns: image points in 1/16 pixel, module
// coordinates as (column, row) indices of module centres.
inline constexpr i32 kQrColumnPairsMax = 64;
struct QR_COLUMN_POINTS {
    const GEO_POINT *image[2];
    const GEO_POINT *module[2];
    i32 pairs;  // points per column, 1 .. kQrColumnPairsMax
};
// Fits the perspective of the two columns (scale 2^20) and samples modules firstColumn ..
// lastColumn, firstRow .. lastRow (inclusive) with the frame's bilinear reader (128
// outside) into matrix[row * dimension + column]; the caller's matrix holds dimension^2
// bytes. 1, or 0 for more than kQrColumnPairsMax pairs, a rectangle outside 0 .. dimension -
// 1, a failed fit or mapping, or a null pointer.
i32 QR_SampleRectFromColumns(const QR_COLUMN_POINTS *points, i32 firstColumn, i32 firstRow, i32 lastColumn,
                             i32 lastRow, u8 *matrix, i32 dimension);

// trunc(x + 1) when the tenths digit of x + 0.5 is above 5, else trunc(x + 0.5): a positive
// x rounds up unless its fraction is below 0.1. Saturates beyond the 32-bit range, NaN 0.
i32 QR_RoundTenths(f32 x);

// Splits the segment a-b (1/16 pixel, both inside the frame) at its grey edges: the samples
// (one a pixel, at most 1280) give rising and falling edges (ratio 102/1024, minimum step 6,
// 56 of each), and each gap between neighbouring edges is cut into QR_RoundTenths(gap /
// (16 moduleSize)) modules. Writes a, the edges and the module boundaries between them
// (1/16 pixel) and b, never more than capacity points (b always last). The number written;
// 0 for capacity < 2, a module size that is not positive, or a segment the frame does not
// hold.
i32 QR_SplitSegmentByEdges(GEO_POINT a, GEO_POINT b, GEO_POINT *out, i32 capacity, f32 moduleSize);

}  // namespace vexo
