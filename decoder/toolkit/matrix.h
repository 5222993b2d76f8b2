// Module matrices (one sampled grey value per module): binarisation, quarter turns, row
// flips and a contrast measure; and small estimators that pick a grey threshold, an edge
// ratio or a minimum edge step from sampled profiles.
#pragma once

#include "core/types.h"

namespace vexo {

// Binarisation record. grey and bits are row-major with row stride = columns.
struct MODULE_BITS {
    const u8 *grey;
    u8 *bits;  // 1 light, 0 dark, each XOR invert
    i32 columns;
    i32 rows;
    i32 invert;       // non-zero: dark and light exchanged; normalised to 0/1 on entry
    i32 fixIsolated;  // non-zero: correct modules lighter or darker than both neighbours
    i32 margin;       // grey margin of that correction
};

// Threshold of each 3 x 3 block of modules from the extremes of the block widened by two
// modules on every side: the midrange when they differ by more than 15, else everything
// below 255 is dark (dark flat window) or everything above 1 light (bright flat window).
// Returns 1; 0 with nothing written when grey or bits is null or a size is <= 0.
i32 Geo_BinariseModules(MODULE_BITS *m);

// Each module against the mean and spread of a 3 x 3 window that holds it. Needs at least
// three rows and three columns; smaller matrices and null buffers are left untouched.
void Geo_BinariseModulesLocal(MODULE_BITS *m);

// Rotates an n x n matrix in place by the angle (degrees) reduced to 0..359 and rounded
// down to a multiple of 90; 90 is a quarter turn clockwise in image coordinates. scratch
// holds n * n bytes. Nothing happens for n <= 0 or null buffers.
void Geo_RotateMatrix90(u8 *matrix, u8 *scratch, i32 n, i32 angle);

inline constexpr i32 kFlipMaxSize = 184;

// Reverses the row order of an n x n matrix in place; n above kFlipMaxSize (or null) is
// refused with the matrix untouched.
void Geo_FlipMatrixRows(u8 *matrix, i32 n);

// Contrast in percent from rows 0 and 7 of an n x n matrix: per row (max - min) * 100 / max,
// row 7 counting twice. 0 when n < 8, the matrix is null or a row's maximum is 0.
i32 Prof_MatrixContrast(const u8 *matrix, i32 n);

// ((a - b) << 10) / a when b < a and a != 0, else 0 (saturated to 32 bits).
i32 Geo_RelativeDrop1024(i32 a, i32 b);

// Edge ratio (1024 = 100 %) and minimum step from the falls of a profile that drop by more
// than minFall and by at least ratio / 1024 of their top: half the mean relative drop (at
// least 102) and half the mean drop (7 when that mean is 15 or less). At most 200 falls are
// measured. Without any: 102 and a step of 6. minStep may be null.
i32 Prof_EstimateFallThresholds(const u8 *profile, i32 count, i32 minFall, i32 ratio, i32 *minStep);
// The same measuring at most maxFalls falls.
i32 Prof_EstimateFallThresholdsUpTo(const u8 *profile, i32 count, i32 minFall, i32 ratio, i32 *minStep, i32 maxFalls);

// Ratio and minimum step averaged over three lines across a quadrilateral (corners
// top-left, top-right, bottom-left, bottom-right), sampled in the installed image. Returns
// 1 with both written, or 0 with the defaults 102 and 6 when a side is 9 pixels or shorter.
// A null quad gives 0 and the defaults; null outputs are not written.
i32 Prof_EstimateQuadThresholds(const REGION_QUAD *quad, u32 *ratio, u32 *minStep);

// Thirds of count samples read with the stride. Mode 1: the smallest grey threshold that a
// third proposes (255 when none); other modes: a minimum edge step.
i32 Prof_ThresholdByThirds(const u8 *data, i32 count, i32 mode, i32 stride);

// (max + min) >> 1, or 255 when the relative contrast is below 1/8; writes max (from 1) and
// min (from 255) when their pointers are not null.
i32 Prof_MidrangeThreshold(const u8 *data, i32 len, i32 *max, i32 *min);

// Extremes of len values (min from 255, max from 0); Prof_MinMaxAt starts at data + offset.
void Prof_MinMax(const u8 *data, i32 len, i32 *min, i32 *max);
void Prof_MinMaxAt(const u8 *data, i32 offset, i32 count, i32 *min, i32 *max);

// Positions (1/16 sample, a clean step after sample k at 16k) of the drop-weighted centres
// of the strict falls that drop by at least minDrop, in order, at most maxCount; out[0] then
// holds the position of the largest drop (the first of equal ones). Returns the number
// written.
i32 Prof_FallingEdgeCentroids(const u8 *data, i32 len, i32 *out, i32 maxCount, i32 minDrop);

}  // namespace vexo
