// The size of a QR candidate, measured from its finder pairs: rays along the line between
// two finder centres find each pattern's own edges, a line through eight edge-to-edge
// distances gives the module size and the module count between the centres, and the
// averaged estimate snaps to a dimension 4 v + 17. Then every present finder gets its
// local perspective transform (finder-local 1/11 module to image 1/4 pixel).
//
// Reads and writes the geometry work area (qr_grid.h) and the symbol state.
#pragma once

#include "core/types.h"
#include "qr/qr_matrix.h"
#include "qr/qr_state.h"
#include "toolkit/geometry_numeric.h"

namespace vexo {

// Largest number of points along one measuring ray.
inline constexpr i32 kQrPairRayCapacity = 960;

// Pair-measurement failures.
inline constexpr i32 kQrPairFirstFailed = -1;   // the rays of the first pattern (or a middle edge)
inline constexpr i32 kQrPairSecondFailed = -2;  // too few main edges on the rays of the second
inline constexpr i32 kQrPairNoPoints = -3;      // no sample points between the centres

// Measures the pair of finders a and b (centres in pixels, size = outer width in pixels)
// through the installed image, the polarity word and the work area's sample buffer.
// Returns the dimension estimate (centre-to-centre module count + 7, positive), one of the
// failures above, or 0 when the edge distances do not fit a line of positive slope.
// Averages the measured module size into the work area's pairModuleSize.
i32 QR_MeasureFinderPair(const QR_FINDER_SUMMARY *a, const QR_FINDER_SUMMARY *b);
// Fits the eight edge-to-edge distances of a measured pair (1/16 pixel, in the order ray 4
// second - ray 2 second, ray 3 second - ray 1 second, ray 3 second - ray 2 middle, ray 3
// middle - ray 2 second, ray 3 second - ray 1 first, ray 3 middle - ray 2 first, ray 3
// first - ray 2 middle, ray 4 first - ray 2 second): the slope is the module size, offset /
// slope + 14 the dimension, which is returned (truncated after + 0.5). The module size
// (pixels; times 0.7071068 for a diagonal pair) is averaged into pairModuleSize. A fit
// without a positive slope, or whose dimension is not a finite 32-bit value, returns 0 and
// stores nothing.
i32 QR_FitPairDistances(const f32 distances[8]);
// Sets version, dimension, alignment count and module size of state from the three finder
// slots (0 top-left, 1 bottom-left, 2 top-right; size <= 0 absent); marks slots absent
// whose measurement failed. 1 on success; 0 when no pair gave an estimate, fewer than two
// slots remain, or the snapped dimension is negative or above 177. A dimension that
// passes may still give a version below 1 (the caller refuses it).
i32 QR_EstimateSymbolSize(QR_FINDER_SUMMARY finders[3], QR_SYMBOL_STATE *state);
// The averaged estimate snapped to 4 k + 21: r = (estimate - 21) mod 4 (sign of the
// dividend), estimate - r, plus 4 when r > 1. So from 21 on it rounds to the nearest such
// value, remainders 2 and 3 up (30 -> 29, 31 -> 33, 178 -> 177, 179 -> 181); below 21 it
// moves up (18 -> 21, 15 -> 17). The caller refuses results outside 0..177.
i64 QR_SnapDimension(i64 estimate);
// Least-squares line y = slope x + offset through n points; both 0 when the system is
// degenerate.
void QR_FitEdgeLine(i32 n, const f32 *x, const f32 *y, f32 *slope, f32 *offset);
// version = trunc((dimension - 21) / 4) + 1 and its alignment coordinates per axis (2..7,
// 0 for version 1 and versions outside 1..40). Either output may be null.
void QR_VersionFromDimension(i32 dimension, i32 *version, i32 *alignmentCount);
// Fits every slot whose size is not 0 from its five module points (finder-local, 1/11
// module) to its five image points (1/4 pixel), scale 2^20. Other slots keep their
// transform; a slot whose fit fails is left with the cleared transform.
void QR_FitFinderTransforms();

}  // namespace vexo
