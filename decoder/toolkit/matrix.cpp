#include "toolkit/matrix.h"

#include <cstring>

#include "core/pixel.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

i64 Index(i32 row, i32 column, i32 columns) { return static_cast<i64>(row) * columns + column; }

// Threshold of the block at (top, left) from its window widened by two modules.
i32 BlockThreshold(const MODULE_BITS &m, i32 top, i32 left) {
    const i32 r0 = top > 2 ? top - 2 : 0;
    const i32 r1 = top + 5 < m.rows ? top + 5 : m.rows;
    const i32 c0 = left > 2 ? left - 2 : 0;
    const i32 c1 = left + 5 < m.columns ? left + 5 : m.columns;
    i32 mx = 0;
    i32 mn = 255;
    for (i32 r = r0; r < r1; ++r) {
        const u8 *row = m.grey + Index(r, 0, m.columns);
        for (i32 c = c0; c < c1; ++c) {
            if (row[c] > mx) mx = row[c];
            if (row[c] < mn) mn = row[c];
        }
    }
    if (mx - mn > 15) return (mx + mn) >> 1;
    return mn < 200 ? 254 : 1;
}

void BinariseBlock(const MODULE_BITS &m, i32 top, i32 left) {
    const i32 t = BlockThreshold(m, top, left);
    const i32 r1 = top + 3 < m.rows ? top + 3 : m.rows;
    const i32 c1 = left + 3 < m.columns ? left + 3 : m.columns;
    for (i32 r = top; r < r1; ++r) {
        for (i32 c = left; c < c1; ++c) {
            const i64 k = Index(r, c, m.columns);
            m.bits[k] = static_cast<u8>((t < m.grey[k] ? 1 : 0) ^ m.invert);
        }
    }
}

struct Isolation {
    bool lighter;  // lighter than both neighbours
    bool darker;   // darker than both neighbours
};

Isolation Compare(i64 a, i64 b, i64 lo, i64 hi) { return {a < lo && b<lo, a> hi && b > hi}; }

// A module lighter (darker) than both neighbours along a row and along a column, or along
// the only direction that has two neighbours, becomes light (dark); dark wins.
void FixModule(const MODULE_BITS &m, i32 r, i32 c) {
    const i64 k = Index(r, c, m.columns);
    const i64 s = m.grey[k];
    const i64 margin = m.margin;
    const i64 hi = s < 255 - margin ? s + margin : 255;
    const i64 lo = s > margin ? s - margin : 0;
    const bool inRow = c >= 1 && c <= m.columns - 2;
    const bool inColumn = r >= 1 && r <= m.rows - 2;
    const Isolation h = inRow ? Compare(m.grey[k - 1], m.grey[k + 1], lo, hi) : Isolation{false, false};
    const Isolation v =
        inColumn ? Compare(m.grey[k - m.columns], m.grey[k + m.columns], lo, hi) : Isolation{false, false};
    const bool anyH = h.lighter || h.darker;
    const bool anyV = v.lighter || v.darker;
    bool light = false;
    bool dark = false;
    if (anyH && anyV) {
        light = h.lighter && v.lighter;
        dark = h.darker && v.darker;
    } else if (anyH) {
        light = h.lighter;
        dark = h.darker;
    } else if (anyV) {
        light = v.lighter;
        dark = v.darker;
    }
    if (light) m.bits[k] = static_cast<u8>(1 ^ m.invert);
    if (dark) m.bits[k] = static_cast<u8>(m.invert);
}

// 3 x 3 window holding module (r, c): centred inside, against the border otherwise; in
// the first and last rows it starts at the module's column.
void LocalWindow(const MODULE_BITS &m, i32 r, i32 c, i32 *top, i32 *left) {
    const bool edgeRow = r == 0 || r == m.rows - 1;
    *top = r == 0 ? 0 : (r == m.rows - 1 ? m.rows - 3 : r - 1);
    if (edgeRow) {
        *left = c <= m.columns - 3 ? c : m.columns - 3;
    } else {
        *left = c == 0 ? 0 : (c == m.columns - 1 ? m.columns - 3 : c - 1);
    }
}

// About sqrt(x) by halving the exponent of the float's bit pattern; the exact pattern
// decides borderline modules, so it is kept rather than a true root.
i32 ApproxRoot(i32 value) {
    const float x = static_cast<float>(value);
    i32 b;
    std::memcpy(&b, &x, sizeof b);
    const i32 one = 0x3F800000;
    const i32 r = ((b - one) >> 1) + one;
    float root;
    std::memcpy(&root, &r, sizeof root);
    return static_cast<i32>(root);
}

bool LocalLight(const MODULE_BITS &m, i32 r, i32 c) {
    i32 top = 0;
    i32 left = 0;
    LocalWindow(m, r, c, &top, &left);
    i32 w = 0;
    i32 q = 0;
    for (i32 i = top; i < top + 3; ++i) {
        const u8 *row = m.grey + Index(i, left, m.columns);
        for (i32 j = 0; j < 3; ++j) {
            w += row[j];
            q += row[j] * row[j];
        }
    }
    const i32 spread = ApproxRoot(9 * q - w * w);
    return 100 * w - 8 * spread < 898 * static_cast<i32>(m.grey[Index(r, c, m.columns)]);
}

void CopyBack(u8 *matrix, const u8 *scratch, i64 bytes) { std::memcpy(matrix, scratch, static_cast<size_t>(bytes)); }

i32 RowContrast(const u8 *row, i32 n) {
    i32 mx = 0;
    i32 mn = 255;
    for (i32 k = 0; k < n; ++k) {
        if (row[k] > mx) mx = row[k];
        if (row[k] < mn) mn = row[k];
    }
    return mx == 0 ? -1 : (mx - mn) * 100 / mx;
}

}  // namespace

i32 Geo_BinariseModules(MODULE_BITS *m) {
    if (m == nullptr || m->grey == nullptr || m->bits == nullptr || m->columns <= 0 || m->rows <= 0) return 0;
    m->invert = m->invert != 0 ? 1 : 0;
    for (i32 top = 0; top < m->rows; top += 3) {
        for (i32 left = 0; left < m->columns; left += 3) BinariseBlock(*m, top, left);
    }
    if (m->fixIsolated != 0) {
        for (i32 r = 0; r < m->rows; ++r) {
            for (i32 c = 0; c < m->columns; ++c) FixModule(*m, r, c);
        }
    }
    return 1;
}

void Geo_BinariseModulesLocal(MODULE_BITS *m) {
    if (m == nullptr || m->grey == nullptr || m->bits == nullptr || m->columns < 3 || m->rows < 3) return;
    m->invert = m->invert != 0 ? 1 : 0;
    for (i32 r = 0; r < m->rows; ++r) {
        for (i32 c = 0; c < m->columns; ++c) {
            m->bits[Index(r, c, m->columns)] = static_cast<u8>((LocalLight(*m, r, c) ? 1 : 0) ^ m->invert);
        }
    }
}

void Geo_RotateMatrix90(u8 *matrix, u8 *scratch, i32 n, i32 angle) {
    if (matrix == nullptr || scratch == nullptr || n <= 0) return;
    i32 a = angle % 360;
    if (a < 0) a += 360;
    a -= a % 90;
    if (a == 0) return;
    const i64 bytes = static_cast<i64>(n) * n;
    for (i32 i = 0; i < n; ++i) {
        for (i32 j = 0; j < n; ++j) {
            const u8 v = matrix[Index(i, j, n)];
            if (a == 90) {
                scratch[Index(j, n - 1 - i, n)] = v;
            } else if (a == 270) {
                scratch[Index(n - 1 - j, i, n)] = v;
            } else {
                scratch[bytes - 1 - Index(i, j, n)] = v;
            }
        }
    }
    CopyBack(matrix, scratch, bytes);
}

void Geo_FlipMatrixRows(u8 *matrix, i32 n) {
    if (matrix == nullptr || n <= 0 || n > kFlipMaxSize) return;
    u8 row[kFlipMaxSize];
    for (i32 i = 0; i < n / 2; ++i) {
        u8 *a = matrix + Index(i, 0, n);
        u8 *b = matrix + Index(n - 1 - i, 0, n);
        std::memcpy(row, a, static_cast<size_t>(n));
        std::memcpy(a, b, static_cast<size_t>(n));
        std::memcpy(b, row, static_cast<size_t>(n));
    }
}

i32 Prof_MatrixContrast(const u8 *matrix, i32 n) {
    if (matrix == nullptr || n < 8) return 0;
    const i32 k0 = RowContrast(matrix, n);
    const i32 k7 = RowContrast(matrix + Index(7, 0, n), n);
    if (k0 < 0 || k7 < 0) return 0;
    return (k0 + k7 + k7) / 3;
}

i32 Geo_RelativeDrop1024(i32 a, i32 b) {
    if (!(b < a) || a == 0) return 0;
    const i64 drop = ((static_cast<i64>(a) - b) * 1024) / a;
    if (drop > INT32_MAX) return INT32_MAX;
    if (drop < INT32_MIN) return INT32_MIN;
    return static_cast<i32>(drop);
}

i32 Prof_EstimateFallThresholds(const u8 *profile, i32 count, i32 minFall, i32 ratio, i32 *minStep) {
    return Prof_EstimateFallThresholdsUpTo(profile, count, minFall, ratio, minStep, 200);
}

i32 Prof_EstimateFallThresholdsUpTo(const u8 *profile, i32 count, i32 minFall, i32 ratio, i32 *minStep,
                                    i32 maxFalls) {
    i32 falls = 0;
    i64 relativeSum = 0;
    i64 dropSum = 0;
    i32 i = 0;
    while (profile != nullptr && count >= 2 && i < count && falls < maxFalls) {
        const i32 top = profile[i];
        if (i + 1 >= count || profile[i + 1] >= top) {
            i += 2;
            continue;
        }
        i32 j = i + 1;
        while (j + 1 < count && profile[j + 1] < profile[j]) ++j;
        const i32 drop = top - profile[j];
        if (drop > minFall && static_cast<i64>(drop) * 1024 >= static_cast<i64>(ratio) * top) {
            relativeSum += drop * 1024 / top;
            dropSum += drop;
            ++falls;
        }
        i = j + 1;
    }
    if (falls == 0) {
        if (minStep != nullptr) *minStep = 6;
        return 102;
    }
    const i64 meanDrop = dropSum / falls;
    if (minStep != nullptr) *minStep = meanDrop > 15 ? static_cast<i32>(meanDrop >> 1) : 7;
    const i32 result = static_cast<i32>((relativeSum / falls) >> 1);
    return result < 102 ? 102 : result;
}

i32 Prof_EstimateQuadThresholds(const REGION_QUAD *quad, u32 *ratio, u32 *minStep) {
    constexpr i32 kLineCapacity = 1280;
    u32 ratioSum = 0;
    u32 stepSum = 0;
    i32 left = 0;
    i32 right = 0;
    if (quad != nullptr) {
        const POINT_I32 *c = quad->c;
        left = static_cast<i32>(Geo_Distance(c[kTopLeft].x, c[kTopLeft].y, c[kBottomLeft].x, c[kBottomLeft].y) + 0.5);
        right =
            static_cast<i32>(Geo_Distance(c[kTopRight].x, c[kTopRight].y, c[kBottomRight].x, c[kBottomRight].y) + 0.5);
    }
    if (left <= 9 || right <= 9) {
        if (ratio != nullptr) *ratio = 102;
        if (minStep != nullptr) *minStep = 6;
        return 0;
    }
    const GEO_POINT c0{quad->c[kTopLeft].x, quad->c[kTopLeft].y};
    const GEO_POINT c1{quad->c[kTopRight].x, quad->c[kTopRight].y};
    const GEO_POINT c2{quad->c[kBottomLeft].x, quad->c[kBottomLeft].y};
    const GEO_POINT c3{quad->c[kBottomRight].x, quad->c[kBottomRight].y};
    u8 line[kLineCapacity];
    for (i32 k = 1; k <= 3; ++k) {
        GEO_POINT p{};
        GEO_POINT q{};
        Geo_StepTowards(&c0, &c2, &p, k * (left >> 2));
        Geo_StepTowards(&c1, &c3, &q, k * (right >> 2));
        const i32 count = Geo_SampleLine(g_image.data, &p, &q, line, kLineCapacity);
        i32 step = 0;
        ratioSum += static_cast<u32>(Prof_EstimateFallThresholds(line, count, 6, 102, &step));
        stepSum += static_cast<u32>(step);
    }
    if (ratio != nullptr) *ratio = ratioSum / 3;
    if (minStep != nullptr) *minStep = stepSum / 3;
    return 1;
}

i32 Prof_ThresholdByThirds(const u8 *data, i32 count, i32 mode, i32 stride) {
    const i32 n = data == nullptr || count < 0 ? 0 : count;
    const i32 bounds[4] = {0, n / 3, static_cast<i32>(2 * static_cast<i64>(n) / 3), n};
    i32 best = 255;
    i32 stepSum = 0;
    for (i32 part = 0; part < 3; ++part) {
        i32 t = 0;
        i32 u = 255;
        for (i32 k = bounds[part]; k < bounds[part + 1]; ++k) {
            const i32 v = data[static_cast<i64>(k) * stride];
            if (v > t) t = v;
            if (v < u) u = v;
        }
        const bool empty = bounds[part] == bounds[part + 1];
        if (mode != 1) {
            const i32 step = (t - 40) / 4;
            stepSum += empty || step < 7 ? 7 : step;
            continue;
        }
        if (empty) continue;
        const i32 level = (t == 0 || u >= t) ? 96 : 96 - (((t - u) * 1024 / t) * 66) / 1024;
        if (t >= level) {
            const i32 proposal = t - u < 5 ? 200 : (t + u) >> 1;
            if (proposal < best) best = proposal;
        }
    }
    return mode == 1 ? best : stepSum / 3;
}

i32 Prof_MidrangeThreshold(const u8 *data, i32 len, i32 *max, i32 *min) {
    i32 mx = 1;
    i32 mn = 255;
    for (i32 k = 0; data != nullptr && k < len; ++k) {
        if (data[k] > mx) mx = data[k];
        if (data[k] < mn) mn = data[k];
    }
    if (max != nullptr) *max = mx;
    if (min != nullptr) *min = mn;
    if ((mx - mn) * 1024 < mx * 128) return 255;
    return (mx + mn) >> 1;
}

void Prof_MinMax(const u8 *data, i32 len, i32 *min, i32 *max) { Prof_MinMaxAt(data, 0, len, min, max); }

void Prof_MinMaxAt(const u8 *data, i32 offset, i32 count, i32 *min, i32 *max) {
    i32 mn = 255;
    i32 mx = 0;
    for (i32 k = 0; data != nullptr && k < count; ++k) {
        const i32 v = data[static_cast<i64>(offset) + k];
        if (v > mx) mx = v;
        if (v < mn) mn = v;
    }
    if (min != nullptr) *min = mn;
    if (max != nullptr) *max = mx;
}

i32 Prof_FallingEdgeCentroids(const u8 *data, i32 len, i32 *out, i32 maxCount, i32 minDrop) {
    if (data == nullptr || out == nullptr || maxCount <= 0) return 0;
    i32 found = 0;
    i32 largest = -1;
    i32 largestPosition = 0;
    i32 i = 0;
    while (i + 1 < len && found < maxCount) {
        if (data[i + 1] >= data[i]) {
            ++i;
            continue;
        }
        i64 moment = 0;
        i32 j = i;
        while (j + 1 < len && data[j + 1] < data[j]) {
            moment += static_cast<i64>(j) * (data[j] - data[j + 1]);
            ++j;
        }
        const i32 drop = data[i] - data[j];
        if (drop >= minDrop) {
            const i32 position = static_cast<i32>(16 * moment / drop);
            out[found++] = position;
            if (drop > largest) {
                largest = drop;
                largestPosition = position;
            }
        }
        i = j;
    }
    if (found > 0) out[0] = largestPosition;
    return found;
}

}  // namespace vexo
