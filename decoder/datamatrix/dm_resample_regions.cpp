// Region-by-region perspective resampling that no decode path calls (see
// dm_geometry_extra.h).
#include <cmath>
#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_geometry_extra.h"
#include "datamatrix/dm_regularize.h"
#include "toolkit/matrix.h"

namespace vexo {

namespace {

inline constexpr f64 kCoefficientScale = 100000.0;
// Scaled coefficients stay below 2^40, so that their products with module coordinates of a
// few hundred and the sums of three of them stay far inside 64 bits.
inline constexpr f64 kCoefficientLimit = 1099511627776.0;
inline constexpr i32 kBinariseMargin = 8;

// The transform of four pairs as integers c x 100,000 + 0.5 (the denominator's 1 becomes
// 100,000); false for a singular system or a coefficient beyond the limit.
bool SolveRegion(const GEO_POINT corners[4], const GEO_POINT moduleCorners[4], i64 k[8]) {
    f64 m[64] = {};
    f64 rhs[8] = {};
    for (i32 i = 0; i < 4; ++i) {
        const f64 X = moduleCorners[i].x, Y = moduleCorners[i].y;
        const f64 x = corners[i].x, y = corners[i].y;
        f64 *rx = m + i * 8;
        f64 *ry = m + (i + 4) * 8;
        rx[0] = X, rx[1] = Y, rx[2] = 1.0, rx[6] = -x * X, rx[7] = -x * Y;
        ry[3] = X, ry[4] = Y, ry[5] = 1.0, ry[6] = -y * X, ry[7] = -y * Y;
        rhs[i] = x;
        rhs[i + 4] = y;
    }
    if (DM_SolveCompletePivot(m, rhs, 8) == 0) return false;
    for (i32 i = 0; i < 8; ++i) {
        const f64 v = rhs[i] * kCoefficientScale + 0.5;
        // Near-singular corners pass the solver's absolute pivot test with coefficients the
        // integer form cannot hold.
        if (!(v > -kCoefficientLimit && v < kCoefficientLimit)) return false;
        k[i] = static_cast<i64>(v);
    }
    return true;
}

// The perspective sums at module point (X, Y).
struct RegionSums {
    i64 nx, ny, d;
};

RegionSums SumsAt(const i64 k[8], i64 X, i64 Y) {
    return {k[0] * X + k[1] * Y + k[2], k[3] * X + k[4] * Y + k[5],
            k[6] * X + k[7] * Y + static_cast<i64>(kCoefficientScale)};
}

u8 SampleSums(const u8 *image, i32 stride, const RegionSums &s) {
    const f32 d = static_cast<f32>(s.d);
    return DM_SampleBilinear10(image, stride, static_cast<f32>(s.nx) / d, static_cast<f32>(s.ny) / d);
}

}  // namespace

u8 DM_SampleBilinear10(const u8 *image, i32 stride, f32 x, f32 y) {
    constexpr u8 kOutside = 127;
    if (image == nullptr) return kOutside;
    if (!(x > -2147483648.0f && x < 2147483648.0f && y > -2147483648.0f && y < 2147483648.0f)) return kOutside;
    const i32 ix = static_cast<i32>(x);
    const i32 iy = static_cast<i32>(y);
    if (ix <= 0 || iy <= 0 || ix >= g_image.width - 1 || iy >= g_image.height - 1) return kOutside;
    const i32 fx = static_cast<i32>((x - static_cast<f32>(ix)) * 10.0f);
    const i32 fy = static_cast<i32>((y - static_cast<f32>(iy)) * 10.0f);
    const u8 *p = image + static_cast<i64>(iy) * stride + ix;
    const i32 p00 = p[0], p01 = p[1], p10 = p[stride], p11 = p[stride + 1];
    return static_cast<u8>(((10 - fx) * (10 - fy) * p00 + fx * (10 - fy) * p01 + (10 - fx) * fy * p10 + fx * fy * p11) /
                           100);
}

i32 DM_ResampleRegion(const GEO_POINT corners[4], const GEO_POINT moduleCorners[4], i32 mapCols, i32 regionCols2,
                      i32 regionRows2, i32 colOrigin, i32 rowOrigin, const u8 *image, u8 *map) {
    if (corners == nullptr || moduleCorners == nullptr || image == nullptr || map == nullptr) return 0;
    if (mapCols < 1 || regionCols2 < 2 || regionRows2 < 2 || colOrigin < 0 || rowOrigin < 0) return 0;
    const i64 stride = static_cast<i64>(mapCols) * (regionCols2 / 2);
    if (static_cast<i64>(colOrigin) + regionCols2 / 2 > stride) return 0;
    i64 k[8];
    if (!SolveRegion(corners, moduleCorners, k)) return 0;
    const i32 imageStride = Pix_GetImageWidth();
    for (i32 r = 0; r < regionRows2 / 2; ++r) {
        const i64 Y = 2 * static_cast<i64>(rowOrigin) + 1 + 2 * r;
        RegionSums s = SumsAt(k, 2 * static_cast<i64>(colOrigin) + 1, Y);
        u8 *row = map + (Y / 2) * stride + colOrigin;
        for (i32 c = 0; c < regionCols2 / 2; ++c) {
            row[c] = SampleSums(image, imageStride, s);
            s.nx += 2 * k[0];
            s.ny += 2 * k[3];
            s.d += 2 * k[6];
        }
    }
    return 1;
}

i32 DM_ResampleRegionMean(const GEO_POINT corners[4], const GEO_POINT moduleCorners[4], i32 width, i32 rows,
                          i32 colOrigin, i32 rowOrigin, u8 *map, const u8 *image) {
    if (corners == nullptr || moduleCorners == nullptr || image == nullptr || map == nullptr) return 0;
    // An empty region has no mean to divide by.
    if (width <= 0 || rows <= 0 || colOrigin < 0 || rowOrigin < 0) return 0;
    i64 k[8];
    if (!SolveRegion(corners, moduleCorners, k)) return 0;
    const i32 imageStride = Pix_GetImageWidth();
    i64 sum = 0;
    for (i64 Y = rowOrigin; Y < static_cast<i64>(rowOrigin) + rows; ++Y) {
        for (i64 X = colOrigin; X < static_cast<i64>(colOrigin) + width; ++X) {
            const u8 v = SampleSums(image, imageStride, SumsAt(k, X, Y));
            map[Y * width + X] = v;
            sum += v;
        }
    }
    const i64 mean = sum / (static_cast<i64>(rows) * width);
    for (i64 Y = rowOrigin; Y < static_cast<i64>(rowOrigin) + rows; ++Y) {
        for (i64 X = colOrigin; X < static_cast<i64>(colOrigin) + width; ++X) {
            map[Y * width + X] = map[Y * width + X] <= mean ? 1 : 0;
        }
    }
    return 1;
}

i32 DM_ResampleSymbol(const GEO_POINT lattice[kDmLatticeSide][kDmLatticeSide], i32 regionCols, i32 regionRows,
                      i32 gridRows, i32 gridCols, i32 invert, const u8 *image, u8 *mapping) {
    if (lattice == nullptr || image == nullptr || mapping == nullptr) return -1;
    // Lattice nodes up to gridRows and gridCols must exist, and the symbol fit the area.
    if (gridRows < 1 || gridCols < 1 || gridRows >= kDmLatticeSide || gridCols >= kDmLatticeSide) return -1;
    if (regionRows < 3 || regionCols < 3 || static_cast<i64>(regionRows) * gridRows > kDmResampleMaxSide ||
        static_cast<i64>(regionCols) * gridCols > kDmResampleMaxSide) {
        return -1;
    }
    u8 *work = DM_WorkBuffer();
    if (work == nullptr) return -1;
    u8 *area = work + kDmModuleMatrixOffset;
    std::memset(area, 0, kDmResampleAreaBytes);
    for (i32 t = 0; t < gridRows; ++t) {
        for (i32 b = 0; b < gridCols; ++b) {
            const GEO_POINT corners[4] = {lattice[t][b], lattice[t + 1][b], lattice[t][b + 1], lattice[t + 1][b + 1]};
            const i32 x = 2 * b * regionCols, y = 2 * t * regionRows;
            const GEO_POINT modules[4] = {
                {x, y}, {x, y + 2 * regionRows}, {x + 2 * regionCols, y}, {x + 2 * regionCols, y + 2 * regionRows}};
            if (DM_ResampleRegion(corners, modules, gridCols, 2 * regionCols, 2 * regionRows, b * regionCols,
                                  t * regionRows, image, mapping) == 0) {
                return -1;
            }
        }
    }
    const i32 cols = regionCols * gridCols, rows = regionRows * gridRows;
    DM_BinariseModuleMap(mapping, area, cols, rows, invert);
    // The data modules: every region without its finder and timing lines.
    const i32 dataCols = (regionCols - 2) * gridCols;
    for (i32 r = 0; r < rows; ++r) {
        const i32 inRegion = r % regionRows;
        if (inRegion == 0 || inRegion == regionRows - 1) continue;
        const i32 outRow = (r / regionRows) * (regionRows - 2) + inRegion - 1;
        for (i32 c = 0; c < cols; ++c) {
            const i32 inCol = c % regionCols;
            if (inCol == 0 || inCol == regionCols - 1) continue;
            mapping[outRow * dataCols + (c / regionCols) * (regionCols - 2) + inCol - 1] = area[r * cols + c];
        }
    }
    return 0;
}

void DM_ThresholdTiles(const u8 *grey, u8 *bits, i32 cols, i32 rows, i32 stride, i32 tile) {
    if (grey == nullptr || bits == nullptr || cols <= 0 || rows <= 0 || tile <= 4 || stride < cols) return;
    i32 threshold = 0;
    for (i32 ty = 0; ty < rows; ty += tile) {
        const i32 y1 = ty + tile < rows ? ty + tile : rows;
        for (i32 tx = 0; tx < cols; tx += tile) {
            const i32 x1 = tx + tile < cols ? tx + tile : cols;
            i32 g = 0, h = 255;
            for (i32 y = ty; y < y1; ++y) {
                for (i32 x = tx; x < x1; ++x) {
                    const i32 v = grey[static_cast<i64>(y) * stride + x];
                    g = v > g ? v : g;
                    h = v < h ? v : h;
                }
            }
            if (g - h > 15) {
                threshold = (g + h) / 2;
            } else if (h > 199 && g > 59) {
                threshold = h - 15;
            } else if (g <= 59) {
                threshold = g + 15;
            }  // else a flat mid-grey tile keeps the previous tile's threshold
            for (i32 y = ty; y < y1; ++y) {
                for (i32 x = tx; x < x1; ++x) {
                    const i64 at = static_cast<i64>(y) * stride + x;
                    bits[at] = grey[at] < threshold ? 1 : 0;
                }
            }
        }
    }
}

i32 DM_BinariseModuleMap(const u8 *grey, u8 *bits, i32 cols, i32 rows, i32 invert) {
    MODULE_BITS m{grey, bits, cols, rows, invert, 1, kBinariseMargin};
    return Geo_BinariseModules(&m);
}

}  // namespace vexo
