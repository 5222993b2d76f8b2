// The MaxiCode symbol reading: ring walk, group mapping, binarisation in six regions and
// the codewords of one candidate.
#include "aztec_maxicode/maxi_read.h"

#include "aztec_maxicode/maxi_data.h"
#include "aztec_maxicode/maxi_refine.h"
#include "core/pixel.h"
#include "toolkit/sampling.h"

namespace vexo {

MAXI_READ_STATE g_maxiRead;
MaxiCodewordDecodeFn g_maxiCodewordDecode = nullptr;

namespace {

constexpr GEO_POINT kSymbolCentre{kMaxiCentreX, kMaxiCentreY};

// The seven pairs of a ring: the centre, then the ring's six points.
void RingPairs(i32 ring, GEO_POINT img[kMaxiRingDirections + 1], GEO_POINT sym[kMaxiRingDirections + 1]) {
    img[0] = g_maxiGrid.centre;
    sym[0] = kSymbolCentre;
    for (i32 k = 0; k < kMaxiRingDirections; ++k) {
        img[k + 1] = g_maxiGrid.imageRings[ring][k];
        sym[k + 1] = g_maxiGrid.idealRings[ring][k];
    }
}

// Fits T on the centre and one ring.
i32 FitRing(i32 ring, PERSPECTIVE *t) {
    GEO_POINT img[kMaxiRingDirections + 1];
    GEO_POINT sym[kMaxiRingDirections + 1];
    RingPairs(ring, img, sym);
    return Maxi_FitGridTransform(img, sym, kMaxiRingDirections + 1, t);
}

// The pairs of group 6 or 7: the centre and the control modules' mapped and table positions.
i32 MapControlledGroup(i32 set, const i32 *table, i32 *mapped, i32 group) {
    GEO_POINT img[9];
    GEO_POINT sym[9];
    img[0] = g_maxiGrid.centre;
    sym[0] = kSymbolCentre;
    for (i32 k = 0; k < 8; ++k) {
        const i32 m = kMaxiControlModules[set][k];
        img[k + 1] = GEO_POINT{mapped[2 * m], mapped[2 * m + 1]};
        sym[k + 1] = GEO_POINT{table[2 * m], table[2 * m + 1]};
    }
    const i32 first = kMaxiGroupTable.first[static_cast<u32>(group)];
    return Maxi_MapModuleGroup(img, sym, 9, table, mapped, &kMaxiGroupTable.modules[static_cast<u32>(first)],
                               kMaxiGroupTable.first[static_cast<u32>(group) + 1] - first);
}

}  // namespace

void Maxi_MapPoint(const PERSPECTIVE *t, i32 x, i32 y, GEO_POINT *out) {
    *out = GEO_POINT{0, 0};
    if (t == nullptr) return;
    const i64 *c = t->c;
    i64 d = 0, nx = 0, ny = 0, a = 0, b = 0;
    // Coefficients of a near-singular fit can overflow: such a module counts as not placed.
    if (__builtin_mul_overflow(c[6], static_cast<i64>(x), &a) || __builtin_mul_overflow(c[7], static_cast<i64>(y), &b) ||
        __builtin_add_overflow(a, b, &d) || __builtin_add_overflow(d, c[8], &d))
        return;
    if (__builtin_mul_overflow(c[0], static_cast<i64>(x), &a) || __builtin_mul_overflow(c[1], static_cast<i64>(y), &b) ||
        __builtin_add_overflow(a, b, &nx) || __builtin_add_overflow(nx, c[2], &nx))
        return;
    if (__builtin_mul_overflow(c[3], static_cast<i64>(x), &a) || __builtin_mul_overflow(c[4], static_cast<i64>(y), &b) ||
        __builtin_add_overflow(a, b, &ny) || __builtin_add_overflow(ny, c[5], &ny))
        return;
    if (d == 0 || (d == -1 && (nx == INT64_MIN || ny == INT64_MIN))) return;
    const i64 X = nx / d, Y = ny / d;
    if (X < INT32_MIN || X > INT32_MAX || Y < INT32_MIN || Y > INT32_MAX) return;
    *out = GEO_POINT{static_cast<i32>(X), static_cast<i32>(Y)};
}

void Maxi_BuildIdealRings() {
    for (i32 r = 0; r < kMaxiRings; ++r) {
        for (i32 k = 0; k < kMaxiRingDirections; ++k) {
            const i32 m = kMaxiRingIndex[static_cast<u32>(r)][static_cast<u32>(k)];
            if (m < 0) continue;  // made during the walk
            const MAXI_MODULE_POS p = kMaxiModuleTable[static_cast<u32>(m)];
            g_maxiGrid.idealRings[r][k] = GEO_POINT{p.x, p.y};
        }
    }
}

i32 Maxi_FitGridTransform(const GEO_POINT *image, const GEO_POINT *symbol, i32 count, PERSPECTIVE *out) {
    if (image == nullptr || symbol == nullptr || out == nullptr) return 0;
    PERSPECTIVE_FIT fit{};
    PERSPECTIVE t{};
    fit.to = image;
    fit.from = symbol;
    fit.count = count;
    fit.reset = 1;
    fit.outInt = &t;
    fit.scale = kMaxiFitScale;
    if (Geo_FitPerspectiveInt(&fit, 1) != 1) return 0;
    *out = t;
    return 1;
}

i32 Maxi_WalkRings() {
    GEO_POINT (*image)[kMaxiRingDirections] = g_maxiGrid.imageRings;
    GEO_POINT (*ideal)[kMaxiRingDirections] = g_maxiGrid.idealRings;
    for (i32 k = 0; k < kMaxiRingDirections; ++k) image[0][k] = g_maxiGrid.points[kMaxiInnerPoints[k]];
    PERSPECTIVE t{};
    if (FitRing(0, &t) == 0) return 0;
    GEO_POINT refined[kMaxiRingDirections];
    Maxi_RefineRing(image[0], refined, 6);
    for (i32 k = 0; k < kMaxiRingDirections; ++k) image[0][k] = refined[k];
    if (FitRing(0, &t) == 0) return 0;
    for (i32 r = 1; r < kMaxiRings; ++r) {
        if (r == 9) ideal[9][3] = GEO_POINT{ideal[8][3].x - 88, ideal[8][3].y};
        if (r == 10) {
            ideal[10][0] = GEO_POINT{ideal[9][0].x + 88, ideal[9][0].y};
            ideal[10][3] = GEO_POINT{ideal[9][3].x - 88, ideal[9][3].y};
        }
        for (i32 k = 0; k < kMaxiRingDirections; ++k) Maxi_MapPoint(&t, ideal[r][k].x, ideal[r][k].y, &image[r][k]);
        Maxi_RefineRing(image[r], refined, 6 + r);
        for (i32 k = 0; k < kMaxiRingDirections; ++k) image[r][k] = refined[k];
        if (FitRing(r, &t) == 0) return 0;
    }
    return 1;
}

i32 Maxi_MapModuleGroup(const GEO_POINT *image, const GEO_POINT *symbol, i32 count, const i32 *table, i32 *mapped,
                        const u16 *modules, i32 moduleCount) {
    PERSPECTIVE t{};
    if (table == nullptr || mapped == nullptr || modules == nullptr) return 0;
    if (Maxi_FitGridTransform(image, symbol, count, &t) == 0) return 0;
    for (i32 i = 0; i < moduleCount; ++i) {
        const i32 m = modules[i];
        if (m >= kMaxiModules) continue;
        GEO_POINT p;
        Maxi_MapPoint(&t, table[2 * m], table[2 * m + 1], &p);
        mapped[2 * m] = p.x;
        mapped[2 * m + 1] = p.y;
    }
    if (g_maxiGrid.stage == 1) {
        // The corners lie 20 pixels beyond the corner modules, away from the opposite one;
        // the top-right one starts from the second spare position of row 0.
        const GEO_POINT m0{mapped[0], mapped[1]};
        const GEO_POINT m881{mapped[2 * 881], mapped[2 * 881 + 1]};
        const GEO_POINT m852{mapped[2 * 852], mapped[2 * 852 + 1]};
        GEO_POINT spare;
        Maxi_MapPoint(&t, table[2 * 27] + 176, table[2 * 27 + 1], &spare);
        REGION_QUAD &q = g_maxiRead.corners;
        Geo_StepTowards(&m0, &m881, &q.c[0], -320);
        Geo_StepTowards(&spare, &m852, &q.c[1], -320);
        Geo_StepTowards(&m852, &spare, &q.c[2], -320);
        Geo_StepTowards(&m881, &m0, &q.c[3], -320);
    }
    return 1;
}

void Maxi_BinariseModules(const u8 *image, const i32 *mapped, u8 *bits) {
    const i32 width = g_image.width, height = g_image.height;
    i32 greys[kMaxiModules];
    for (const auto &region : kMaxiRegionRanges) {
        i32 lo = 255, hi = 0;
        for (const auto &range : region) {
            for (i32 m = range[0]; m <= range[1]; ++m) {
                const i32 x = mapped[2 * m], y = mapped[2 * m + 1];
                i32 g;
                if (x < 0 || y < 0 || x > (width - 1) * 16 || y > (height - 1) * 16) {
                    g = 128;
                } else if (x == 0 && y == 0) {
                    g = -1;
                } else {
                    if (g_frame.sampleBilinear != nullptr) {
                        g = g_frame.sampleBilinear(x, y, 128);
                    } else if (image != nullptr) {
                        g = image[static_cast<i64>(y >> 4) * width + (x >> 4)];
                    } else {
                        g = 128;
                    }
                    if (g < lo) lo = g;
                    if (g > hi) hi = g;
                }
                greys[m] = g;
            }
        }
        // No sampled module: (0 + 255) >> 1 scaled gives 120.
        const i32 threshold = static_cast<i32>(static_cast<f64>((hi + lo) >> 1) * 0.95);
        for (const auto &range : region)
            for (i32 m = range[0]; m <= range[1]; ++m) bits[m] = greys[m] < threshold ? 1 : 0;
    }
}

i32 Maxi_SampleCodewords(MAXI_CARRIER *carrier, u8 *text, i32 *length) {
    u8 *work = Pix_WorkMemory(kMaxiWorkBytes);
    if (work == nullptr || reinterpret_cast<uintptr_t>(work) % alignof(i32) != 0) return 0;
    i32 *table = reinterpret_cast<i32 *>(work + kMaxiModuleTableOffset);
    i32 *mapped = reinterpret_cast<i32 *>(work + kMaxiMappedOffset);
    for (i32 m = 0; m < kMaxiModules; ++m) {
        table[2 * m] = kMaxiModuleTable[static_cast<u32>(m)].x;
        table[2 * m + 1] = kMaxiModuleTable[static_cast<u32>(m)].y;
        mapped[2 * m] = 0;
        mapped[2 * m + 1] = 0;
    }
    u8 bits[kMaxiModules] = {};
    i32 codewords[kMaxiCodewords] = {};
    g_maxiGrid.stage = 0;
    for (i32 g = 0; g < 5; ++g) {
        GEO_POINT img[kMaxiRingDirections + 1];
        GEO_POINT sym[kMaxiRingDirections + 1];
        RingPairs(kMaxiGroupRings[g], img, sym);
        const i32 first = kMaxiGroupTable.first[static_cast<u32>(g)];
        // A group that cannot be fitted stays not placed and is left to the error correction.
        Maxi_MapModuleGroup(img, sym, kMaxiRingDirections + 1, table, mapped,
                            &kMaxiGroupTable.modules[static_cast<u32>(first)],
                            kMaxiGroupTable.first[static_cast<u32>(g) + 1] - first);
    }
    MapControlledGroup(0, table, mapped, 5);
    g_maxiGrid.stage = 1;
    MapControlledGroup(1, table, mapped, 6);
    Maxi_BinariseModules(g_image.data, mapped, bits);
    Maxi_AssembleCodewords(bits, codewords);
    const MaxiCodewordDecodeFn decode = g_maxiCodewordDecode != nullptr ? g_maxiCodewordDecode : Maxi_DecodeCodewords;
    return decode(codewords, kMaxiCodewords, text, length, carrier) == kMaxiDecoded ? 1 : 0;
}

i32 Maxi_ReadSymbol(MAXI_CARRIER *carrier, const void *, u8 *text, i32 *length) {
    if (Maxi_WalkRings() == 0) return 0;
    return Maxi_SampleCodewords(carrier, text, length);
}

void Maxi_RecentreOrientation() {
    for (i32 i = 0; i < kMaxiOrientationPoints; ++i) {
        GEO_POINT out = g_maxiGrid.points[i];
        Maxi_DarkCentroid(&g_maxiGrid.points[i], g_maxiGrid.pitches[i], &out);
        g_maxiGrid.points[i] = out;
    }
}

}  // namespace vexo
