#include "qr/qr_format_read.h"

#include "core/pixel.h"
#include "qr/qr_format.h"
#include "qr/qr_grid.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/perspective.h"

namespace vexo {

namespace {

constexpr i32 kFormatBits = 15;
constexpr i32 kVersionBits = 18;
constexpr i32 kLowHalf = 8;  // bits 0..7 of a format copy; bits 8..14 are the high half

// A finder-local module position in the stored unit of 1/11 module.
constexpr GEO_POINT M(i32 x, i32 y) { return {11 * x, 11 * y}; }

// Bit positions of the format and version information in finder-local modules, bit 0
// first, through the finder frames of the arrangements (ISO/IEC 18004, 7.9 and 7.10).
// The 15 format bits around the top-left finder.
constexpr GEO_POINT kTL15[kFormatBits] = {M(8, 0), M(8, 1), M(8, 2), M(8, 3), M(8, 4), M(8, 5), M(8, 7), M(8, 8),
                                          M(7, 8), M(5, 8), M(4, 8), M(3, 8), M(2, 8), M(1, 8), M(0, 8)};
static_assert(sizeof(kTL15) / sizeof(kTL15[0]) == 15);
// Bits 0..7 of the second copy, beside the top-right finder.
constexpr GEO_POINT kTR8[kLowHalf] = {M(8, 0), M(8, 1), M(8, 2), M(8, 3), M(8, 4), M(8, 5), M(8, 6), M(8, 7)};
static_assert(sizeof(kTR8) / sizeof(kTR8[0]) == 8);
// Bits 8..14 of the second copy, beside the bottom-left finder.
constexpr GEO_POINT kBL7[kFormatBits - kLowHalf] = {M(-2, 6), M(-2, 5), M(-2, 4), M(-2, 3),
                                                    M(-2, 2), M(-2, 1), M(-2, 0)};
static_assert(sizeof(kBL7) / sizeof(kBL7[0]) == 7);
// The top-left 15 in the frame of a top-left finder taken as slot 1 of a side pair.
constexpr GEO_POINT kTL15R[kFormatBits] = {M(6, 8),  M(5, 8),  M(4, 8),  M(3, 8),  M(2, 8),
                                           M(1, 8),  M(-1, 8), M(-2, 8), M(-2, 7), M(-2, 5),
                                           M(-2, 4), M(-2, 3), M(-2, 2), M(-2, 1), M(-2, 0)};
static_assert(sizeof(kTL15R) / sizeof(kTL15R[0]) == 15);
// The top-right 8 in the translated frame of a top-right finder of a diagonal pair.
constexpr GEO_POINT kTR8T[kLowHalf] = {M(6, 8), M(5, 8), M(4, 8), M(3, 8), M(2, 8), M(1, 8), M(0, 8), M(-1, 8)};
static_assert(sizeof(kTR8T) / sizeof(kTR8T[0]) == 8);

struct VersionTable {
    GEO_POINT p[kVersionBits];
};

// The 6 x 3 version blocks: beside the top-right finder (VTR), above the bottom-left one
// (VBL), and VTR in the translated frame of a diagonal pair's top-right finder (VTRT).
constexpr VersionTable MakeVersionTable(int kind) {
    VersionTable t{};
    for (i32 k = 0; k < kVersionBits; ++k) {
        if (kind == 0) t.p[k] = M(k / 3, 10 - k % 3);
        if (kind == 1) t.p[k] = M(6 - k / 3, 10 - k % 3);
        if (kind == 2) t.p[k] = M(-4 + k % 3, k / 3);
    }
    return t;
}
constexpr VersionTable kVTR = MakeVersionTable(0);
constexpr VersionTable kVBL = MakeVersionTable(1);
constexpr VersionTable kVTRT = MakeVersionTable(2);
static_assert(sizeof(kVTR.p) / sizeof(kVTR.p[0]) == 18);
static_assert(kVTR.p[17].x == 55 && kVTR.p[17].y == 88 && kVBL.p[0].x == 66 && kVTRT.p[5].x == -22);

bool DecodeFormat(const u8 *bits, i32 *model1Format, i32 *model2Format) {
    return QR_DecodeInfoBits(bits, 1, 0, nullptr, model1Format, model2Format) == 1;
}

// Reads a version block through slot's transform; *inRange tells whether it is 1..40.
bool ReadVersion(i32 slot, const VersionTable &table, i32 *version, bool *inRange) {
    u8 bits[kVersionBits];
    QR_SampleFinderBits(slot, table.p, bits, kVersionBits);
    const bool read = QR_DecodeInfoBits(bits, 0, 1, version, nullptr, nullptr) == 1;
    *inRange = *version >= kQrMinVersion && *version <= kQrMaxVersion;
    return read;
}

void CopyBits(u8 *to, const u8 *from, i32 first, i32 last) {
    for (i32 k = first; k <= last; ++k) to[k] = from[k];
}

void SwapHighHalves(u8 *a, u8 *b) {
    for (i32 k = kLowHalf; k < kFormatBits; ++k) {
        const u8 t = a[k];
        a[k] = b[k];
        b[k] = t;
    }
}

i32 ReadFormatThree(i32 *m1, i32 *m2) {
    u8 a[kFormatBits];
    u8 b[kFormatBits];
    QR_SampleFinderBits(0, kTL15, a, kFormatBits);
    QR_SampleFinderBits(2, kTR8, b, kLowHalf);
    QR_SampleFinderBits(1, kBL7, b + kLowHalf, kFormatBits - kLowHalf);
    if (DecodeFormat(a, m1, m2) || DecodeFormat(b, m1, m2)) return 1;
    // Mixed copies: each first half with the other copy's second half.
    SwapHighHalves(a, b);
    if (DecodeFormat(a, m1, m2)) return 1;
    return DecodeFormat(b, m1, m2) ? 1 : 0;
}

i32 ReadFormatSide(i32 in, i32 *out, i32 *m1, i32 *m2) {
    u8 a[kFormatBits];
    u8 b[kFormatBits] = {};
    if (in <= 0) {
        QR_SampleFinderBits(0, kTL15, a, kFormatBits);
        QR_SampleFinderBits(1, kBL7, b + kLowHalf, kFormatBits - kLowHalf);
        if (DecodeFormat(a, m1, m2)) return 1;
        CopyBits(a, b, kLowHalf, kFormatBits - 1);
        if (DecodeFormat(a, m1, m2)) return 1;
    }
    QR_SampleFinderBits(1, kTL15R, a, kFormatBits);
    QR_SampleFinderBits(0, kTR8, b, kLowHalf);
    if (!DecodeFormat(a, m1, m2)) {
        CopyBits(a, b, 0, kLowHalf - 1);
        if (!DecodeFormat(a, m1, m2)) return 0;
    }
    *out = 1;
    return 1;
}

i32 ReadFormatDiagonal(i32 in, i32 *out, i32 *m1, i32 *m2) {
    u8 a[kFormatBits];
    if (in <= 0) {
        QR_SampleFinderBits(0, kTR8T, a, kLowHalf);
        QR_SampleFinderBits(1, kBL7, a + kLowHalf, kFormatBits - kLowHalf);
        if (DecodeFormat(a, m1, m2)) return 1;
    }
    QR_SampleFinderBits(1, kTR8T, a, kLowHalf);
    QR_SampleFinderBits(0, kBL7, a + kLowHalf, kFormatBits - kLowHalf);
    if (!DecodeFormat(a, m1, m2)) return 0;
    *out = 1;
    return 1;
}

i32 ReadVersionThree(i32 *version) {
    bool inRange = false;
    if (ReadVersion(2, kVTR, version, &inRange) && inRange) return 1;
    if (!ReadVersion(1, kVBL, version, &inRange)) return 0;
    return inRange ? 1 : 0;
}

i32 ReadVersionSide(i32 in, i32 *out, i32 *version) {
    bool inRange = false;
    if (in <= 0 && ReadVersion(1, kVBL, version, &inRange) && inRange) return 1;
    if (!ReadVersion(0, kVTR, version, &inRange)) return 0;
    *out = 1;
    return inRange ? 1 : 0;
}

i32 ReadVersionDiagonal(i32 in, i32 *out, i32 *version) {
    bool inRange = false;
    if (in >= 1) {
        if (ReadVersion(0, kVBL, version, &inRange)) {
            *out = 1;
            if (inRange) return 1;
        }
    } else {
        if (ReadVersion(1, kVBL, version, &inRange) && inRange) return 1;
        if (ReadVersion(0, kVBL, version, &inRange)) {
            *out = 1;
            if (inRange) return 1;
        }
        // Slot 0 read as the top-right finder is the orientation-0 frame.
        if (ReadVersion(0, kVTRT, version, &inRange) && inRange) {
            *out = 0;
            return 1;
        }
    }
    if (!ReadVersion(1, kVTRT, version, &inRange)) return 0;
    *out = 1;
    return inRange ? 1 : 0;
}

void SetPoints(GEO_POINT *slot, const GEO_POINT (&pts)[5]) {
    for (i32 k = 0; k < 5; ++k) slot[k] = pts[k];
}

// Slot `to` takes slot `from`'s summary, image points and transform.
void MoveSlot(i32 to, i32 from) {
    g_qrGeomWork.finder[to] = g_qrGeomWork.finder[from];
    g_qrGeomWork.finderTransform[to] = g_qrGeomWork.finderTransform[from];
    for (i32 k = 0; k < 5; ++k) g_qrGeomWork.imagePoints[to][k] = g_qrGeomWork.imagePoints[from][k];
}

void SetTopLeftPoints(i32 slot) { SetPoints(g_qrGeomWork.modulePoints[slot], {{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}}); }

void SetBottomLeftPoints(i32 d) {
    SetPoints(g_qrGeomWork.modulePoints[1], {{6, d - 7}, {6, d - 1}, {0, d - 1}, {0, d - 7}, {3, d - 4}});
}

void SetTopRightPoints(i32 d) {
    SetPoints(g_qrGeomWork.modulePoints[2], {{d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 7, 6}, {d - 4, 3}});
}

// A side pair that is in fact top-right (slot 0) and top-left (slot 1).
void SettleTopPair(i32 d) {
    MoveSlot(2, 0);
    g_qrGeomWork.finder[0] = g_qrGeomWork.finder[1];
    g_qrGeomWork.finderTransform[0] = g_qrGeomWork.finderTransform[1];
    const GEO_POINT *old = g_qrGeomWork.imagePoints[1];
    for (i32 k = 0; k < 4; ++k) g_qrGeomWork.imagePoints[0][k] = old[(k + 2) % 4];
    g_qrGeomWork.imagePoints[0][4] = old[4];
    g_qrGeomWork.finder[1].size = 0;
    SetPoints(g_qrGeomWork.modulePoints[0], {{0, 0}, {6, 0}, {6, 6}, {0, 6}, {3, 3}});
    SetTopRightPoints(d);
    g_qrGeomWork.arrangement = kQrArrangeTopPair;
}

}  // namespace

void QR_SampleFinderBits(i32 slot, const GEO_POINT *points, u8 *bits, i32 n) {
    if (slot < 0 || slot > 2 || points == nullptr || bits == nullptr || n <= 0) return;
    const PERSPECTIVE *t = &g_qrGeomWork.finderTransform[slot];
    const SamplePointFn sample = g_frame.sampleBilinear;
    i32 lo = 255;
    i32 hi = 0;
    for (i32 k = 0; k < n; ++k) {
        i32 x = 0;
        i32 y = 0;
        i32 v = 0;
        // The transform gives 1/4 pixel; with the factor 16, 1/64 pixel.
        if (sample != nullptr && Geo_MapPointPerspective16(t, points[k].x, points[k].y, &x, &y) == 1) {
            v = sample(x >> 2, y >> 2, 0);
        }
        bits[k] = static_cast<u8>(v);
        if (v == 0) continue;
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    const i32 threshold = (lo + hi) >> 1;
    const bool darkIsSet = g_qrPolarity == 1;
    for (i32 k = 0; k < n; ++k) {
        const bool dark = bits[k] <= threshold;
        bits[k] = static_cast<u8>(dark == darkIsSet ? 1 : 0);
    }
}

i32 QR_DecodeInfoBits(const u8 *bits, i32 formatFlag, i32 versionFlag, i32 *version, i32 *model1Format,
                      i32 *model2Format) {
    if (bits == nullptr) return 0;
    if (formatFlag == 1 && versionFlag == 0) {
        i32 word = 0;
        for (i32 k = 0; k < kFormatBits; ++k) word |= (bits[k] != 0 ? 1 : 0) << k;
        i32 m2 = 0;
        i32 m1 = 0;
        const i32 r2 = QR_CorrectFormatWord(word, kFormatBits);
        if (r2 > 0) m2 = r2 >> 10;
        const i32 r1 = QR_CorrectModel1FormatWord(word, kFormatBits);
        if (r1 > 0) m1 = r1;
        if (model1Format != nullptr) *model1Format = m1;
        if (model2Format != nullptr) *model2Format = m2;
        // A Model 2 word whose five stored bits are all 0 counts as unread.
        return m1 != 0 || m2 != 0 ? 1 : 0;
    }
    if (formatFlag == 0 && versionFlag == 1) {
        i32 word = 0;
        for (i32 k = 0; k < kVersionBits; ++k) word |= (bits[k] != 0 ? 1 : 0) << k;
        const i32 r = QR_CorrectFormatWord(word, kVersionBits);
        if (version != nullptr) *version = r > 0 ? r >> 12 : 0;
        return r > 0 ? 1 : 0;
    }
    return 0;
}

i32 QR_ReadFormatInfo(i32 *orientation, i32 *model1Format, i32 *model2Format) {
    i32 in = 0;
    if (orientation != nullptr) {
        in = *orientation;
        *orientation = 0;
    }
    i32 out = 0;
    i32 result = 0;
    switch (g_qrGeomWork.arrangement) {
        case kQrArrangeThree:
            result = ReadFormatThree(model1Format, model2Format);
            break;
        case kQrArrangeSidePair:
            result = ReadFormatSide(in, &out, model1Format, model2Format);
            break;
        case kQrArrangeDiagonal:
            result = ReadFormatDiagonal(in, &out, model1Format, model2Format);
            break;
        default:
            break;
    }
    if (orientation != nullptr) *orientation = out;
    return result;
}

i32 QR_ReadVersionInfo(i32 *orientation, i32 *version) {
    i32 in = 0;
    if (orientation != nullptr) {
        in = *orientation;
        *orientation = 0;
    }
    i32 v = 0;
    i32 out = 0;
    i32 result = 0;
    switch (g_qrGeomWork.arrangement) {
        case kQrArrangeThree:
            result = ReadVersionThree(&v);
            break;
        case kQrArrangeSidePair:
            result = ReadVersionSide(in, &out, &v);
            break;
        case kQrArrangeDiagonal:
            result = ReadVersionDiagonal(in, &out, &v);
            break;
        default:
            break;
    }
    if (orientation != nullptr) *orientation = out;
    if (version != nullptr) *version = v;
    return result;
}

void QR_SetFinderModulePoints(i32 orientation) {
    const i32 d = g_qrSymbol.dimension;
    switch (g_qrGeomWork.arrangement) {
        case kQrArrangeThree:
            SetTopLeftPoints(0);
            SetBottomLeftPoints(d);
            SetTopRightPoints(d);
            g_qrGeomWork.orientationKnown = 1;
            break;
        case kQrArrangeSidePair:
            if (orientation > 0) {
                SettleTopPair(d);
            } else {
                SetTopLeftPoints(0);
                SetBottomLeftPoints(d);
            }
            break;
        case kQrArrangeDiagonal:
            SetBottomLeftPoints(d);
            SetPoints(g_qrGeomWork.modulePoints[2], {{d - 7, 6}, {d - 7, 0}, {d - 1, 0}, {d - 1, 6}, {d - 4, 3}});
            if (orientation > 0) {
                MoveSlot(2, 1);
                MoveSlot(1, 0);
            } else {
                MoveSlot(2, 0);
            }
            g_qrGeomWork.finder[0].size = 0;
            break;
        default:
            break;
    }
}

}  // namespace vexo
