// QR symbol decode: binarising and decoding the sampled matrix with its retries, histogram
// equalisation and the quadratic re-sampling.
#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/modules.h"
#include "core/pixel.h"
#include "qr/qr_codewords.h"
#include "qr/qr_driver.h"
#include "qr/qr_format.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol.h"
#include "qr/qr_symbol_stages.h"

namespace vexo {

namespace {

constexpr i32 kContrastForBlocks = 50;   // percent; above it small modules binarise by blocks
constexpr f32 kSmallModule = 4.0f;       // pixels
constexpr f32 kLargeModule = 8.0f;       // above it isolated modules are left alone
constexpr i32 kIsolatedMargin = 10;
constexpr i32 kModel1MaxDimension = 73;  // version 14
constexpr i32 kRotateMaxVersion = 13;
// Mapped positions beyond this many pixels are no image positions.
constexpr f64 kQuadraticMapLimit = 1 << 20;

// The arena blocks of one matrix decode, released newest first.
struct BLOCKS {
    void *p[3];
    i32 n;
    u8 *At(i32 k) const { return static_cast<u8 *>(p[k]); }
    ~BLOCKS() { Mem_FreeList(p, n); }
};

bool TakeBlocks(BLOCKS *b, i32 count, i32 bytes) {
    b->n = count;
    for (i32 k = 0; k < count; ++k) b->p[k] = Mem_Alloc(bytes);
    return Mem_AllNonNull(b->p, count) != 0;
}

void FillRequest(MODULE_BITS *r, i32 n) {
    r->grey = g_qrWorkAreas.greyMatrix;
    r->bits = g_qrWorkAreas.bitMatrix;
    r->columns = n;
    r->rows = n;
    r->invert = g_qrPolarity != 0 ? 1 : 0;
    r->fixIsolated = g_qrSymbol.moduleSize > kLargeModule ? 0 : 1;
    r->margin = kIsolatedMargin;
}

// Block binarisation when asked for, or for small modules of a contrasty matrix.
bool Binarise(MODULE_BITS *r, bool blocks) {
    if (blocks) return Geo_BinariseModules(r) != 0;
    Geo_BinariseModulesLocal(r);
    return true;
}

i32 DecodeModel2(u8 *bits, u8 *map, i32 n) {
    g_qrSymbol.kind = kQrKindModel2;
    return QR_DecodeModel2(bits, map, n, g_qrResult.textBuffer, kQrTextCapacity);
}

void RecordModel2Failure() {
    QR_KeepBestStatus(QR_GetErrorWord() == 0 ? kQrStatusSegments : kQrStatusBlock);
}

// Puts the binarised and the grey matrix back as they were after binarisation.
void RestoreMatrices(const BLOCKS &b, i32 n) {
    const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(n);
    std::memcpy(g_qrWorkAreas.bitMatrix, b.At(0), bytes);
    std::memcpy(g_qrWorkAreas.greyMatrix, b.At(1), bytes);
}

// One retry: restore, optionally mirror top to bottom and turn, rebuild the map, decode.
i32 RetryModel2(const BLOCKS &b, i32 n, bool mirror, i32 angle) {
    u8 *bits = g_qrWorkAreas.bitMatrix;
    u8 *grey = g_qrWorkAreas.greyMatrix;
    RestoreMatrices(b, n);
    if (mirror) {
        Geo_FlipMatrixRows(bits, n);
        Geo_FlipMatrixRows(grey, n);
    }
    if (angle != 0) {
        Geo_RotateMatrix90(bits, b.At(2), n, angle);
        Geo_RotateMatrix90(grey, b.At(2), n, angle);
    }
    QR_BuildFunctionMap(grey, n);
    return DecodeModel2(bits, grey, n);
}

// Model 1, then Model 2 as sampled, mirrored and (for two-finder candidates whose
// orientation is open) turned.
i32 DecodeModels(const BLOCKS &b, i32 n) {
    QR_SYMBOL_STATE &s = g_qrSymbol;
    u8 *bits = g_qrWorkAreas.bitMatrix;
    u8 *map = g_qrWorkAreas.greyMatrix;
    if (s.model1 == 1 && n <= kModel1MaxDimension) {
        QR_SetLevelAndMask((s.model1Format ^ kQrFormatMaskModel1) >> 10);
        s.kind = kQrKindModel1;
        if (QR_DecodeModel1(bits, n, g_qrResult.textBuffer, kQrTextCapacity) == 0) {
            s.model2 = 0;
            return 0;
        }
        QR_KeepBestStatus(kQrStatusSegments);
    }
    s.model1 = 0;
    if (s.model2 != 1) return g_qrResult.bestStatus;
    if (DecodeModel2(bits, map, n) == 0) return 0;
    if (RetryModel2(b, n, true, 0) == 0) return 0;
    const i32 arrangement = g_qrGeomWork.arrangement;
    const bool turn = g_qrGeomWork.orientationKnown != 1 && s.version <= kRotateMaxVersion &&
                      (arrangement == kQrArrangeSidePair || arrangement == kQrArrangeDiagonal);
    if (turn) {
        const i32 angle = arrangement == kQrArrangeSidePair ? 90 : 180;
        if (RetryModel2(b, n, false, angle) == 0) return 0;
        if (RetryModel2(b, n, true, angle) == 0) return 0;
    }
    RecordModel2Failure();
    return g_qrResult.bestStatus;
}

bool MatrixReady(i32 n) {
    return n >= kQrMinDimension && n <= kQrMaxDimension && g_qrWorkAreas.greyMatrix != nullptr &&
           g_qrWorkAreas.bitMatrix != nullptr;
}

// X or Y of the quadratic map at module (k, i), the map's +1 included.
f64 MapQuadratic(const f64 c[6], i32 k, i32 i) {
    const f64 u = k, v = i;
    return c[0] * u * u + c[1] * v * v + c[2] * u * v + c[3] * u + c[4] * v + c[5] + 1.0;
}

bool MapInRange(f64 v) { return v > -kQuadraticMapLimit && v < kQuadraticMapLimit; }

// The thirteen correspondences of the quadratic map of a dimension-n symbol.
void QuadraticPairs(const QR_GEOMETRY *g, i32 n, GEO_POINT image[13], GEO_POINT module[13]) {
    const GEO_POINT corners[3][4] = {
        {{0, 6}, {0, 0}, {6, 0}, {6, 6}},
        {{6, n - 7}, {6, n - 1}, {0, n - 1}, {0, n - 7}},
        {{n - 7, 0}, {n - 1, 0}, {n - 1, 6}, {n - 7, 6}},
    };
    for (int slot = 0; slot < 3; ++slot) {
        for (int k = 0; k < 4; ++k) {
            const GEO_POINT &p = g->imagePoints[slot][k];
            image[slot * 4 + k] = {p.x >> 2, p.y >> 2};
            module[slot * 4 + k] = corners[slot][k];
        }
    }
    image[12] = g_qrGeomWork.lastAlignment;
    module[12] = {n - 7, n - 7};
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Matrix decodes

i32 QR_DecodeMatrix(MODULE_BITS *r, i32 flag) {
    const i32 n = g_qrSymbol.dimension;
    if (r == nullptr || !MatrixReady(n)) return kQrStatusMatrix;
    const i32 bytes = n * n;
    BLOCKS b{};
    if (!TakeBlocks(&b, 3, bytes)) return kQrStatusMatrix;
    FillRequest(r, n);
    const i32 contrast = Prof_MatrixContrast(r->grey, n);
    const bool blocks = flag == 0 && contrast > kContrastForBlocks && g_qrSymbol.moduleSize < kSmallModule;
    if (!Binarise(r, blocks)) return kQrStatusMatrix;
    Dec_AddStatusBits(kQrPathBinarised);
    std::memcpy(b.At(0), g_qrWorkAreas.bitMatrix, static_cast<size_t>(bytes));
    std::memcpy(b.At(1), g_qrWorkAreas.greyMatrix, static_cast<size_t>(bytes));
    QR_BuildFunctionMap(g_qrWorkAreas.greyMatrix, n);
    const i32 result = DecodeModels(b, n);
    Dec_AddStatusBits(kQrPathMatrixDone);
    return result;
}

i32 QR_DecodeMatrixEqualised(MODULE_BITS *r, i32 flag) {
    const i32 n = g_qrSymbol.dimension;
    if (r == nullptr || !MatrixReady(n)) return kQrStatusMatrix;
    const i32 bytes = n * n;
    BLOCKS b{};
    if (!TakeBlocks(&b, 2, bytes)) return kQrStatusMatrix;
    QR_EQUALISED eq{b.At(0), 0, 0};
    if (QR_EqualiseRegion(g_qrWorkAreas.greyMatrix, n, 0, 0, n - 1, n - 1, &eq) != 0) {
        std::memcpy(g_qrWorkAreas.greyMatrix, b.At(0), static_cast<size_t>(bytes));
    }
    FillRequest(r, n);
    const i32 contrast = Prof_MatrixContrast(r->grey, n);
    const bool blocks = flag != 0 || (contrast > kContrastForBlocks && g_qrSymbol.moduleSize < kSmallModule);
    if (!Binarise(r, blocks)) return kQrStatusMatrix;
    Dec_AddStatusBits(kQrPathBinarised);
    QR_BuildFunctionMap(g_qrWorkAreas.greyMatrix, n);
    g_qrSymbol.model1 = 0;
    i32 result = g_qrResult.bestStatus;
    if (g_qrSymbol.model2 == 1) {
        if (DecodeModel2(g_qrWorkAreas.bitMatrix, g_qrWorkAreas.greyMatrix, n) == 0) {
            result = 0;
        } else {
            RecordModel2Failure();
            result = g_qrResult.bestStatus;
        }
    }
    Dec_AddStatusBits(kQrPathMatrixDone);
    return result;
}

// ---------------------------------------------------------------------------------------
// Equalisation

void QR_RegionHistogram(const u8 *data, i32 stride, i32 x0, i32 y0, i32 x1, i32 y1, i32 hist[256]) {
    if (hist == nullptr) return;
    for (int v = 0; v < 256; ++v) hist[v] = 0;
    if (data == nullptr || x0 < 0 || y0 < 0 || x1 < x0 || y1 < y0 || x1 >= stride) return;
    for (i32 y = y0; y <= y1; ++y) {
        const u8 *row = data + static_cast<i64>(y) * stride;
        for (i32 x = x0; x <= x1; ++x) ++hist[row[x]];
    }
}

int QR_EqualiseRegion(const u8 *data, i32 stride, i32 x0, i32 y0, i32 x1, i32 y1, QR_EQUALISED *out) {
    if (data == nullptr || out == nullptr || out->data == nullptr) return 0;
    if (x0 < 0 || y0 < 0 || x1 < x0 || y1 < y0 || x1 >= stride) return 0;
    i32 hist[256];
    QR_RegionHistogram(data, stride, x0, y0, x1, y1, hist);
    const i32 w = x1 - x0 + 1, h = y1 - y0 + 1;
    const f64 area = static_cast<f64>(w) * static_cast<f64>(h);
    u8 lookup[256];
    i64 cumulative = 0;
    for (int v = 0; v < 256; ++v) {
        cumulative += hist[v];
        lookup[v] = static_cast<u8>(static_cast<i32>(static_cast<f64>(cumulative) * 255.0 / area - 0.5));
    }
    for (i32 y = 0; y < h; ++y) {
        const u8 *row = data + static_cast<i64>(y0 + y) * stride + x0;
        u8 *dest = out->data + static_cast<i64>(y) * w;
        for (i32 x = 0; x < w; ++x) dest[x] = lookup[row[x]];
    }
    out->width = w;
    out->height = h;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Quadratic re-sampling

int QR_FitQuadraticMap(const GEO_POINT *image, const GEO_POINT *module, i32 count, f64 matrix[36], f64 rightX[6],
                       f64 rightY[6]) {
    if (image == nullptr || module == nullptr || matrix == nullptr || rightX == nullptr || rightY == nullptr) return 0;
    for (int k = 0; k < 36; ++k) matrix[k] = 0;
    for (int k = 0; k < 6; ++k) rightX[k] = rightY[k] = 0;
    for (i32 j = 0; j < count; ++j) {
        const f64 u = module[j].x, v = module[j].y;
        const f64 basis[6] = {u * u, v * v, u * v, u, v, 1.0};
        for (int r = 0; r < 6; ++r) {
            for (int c = 0; c < 6; ++c) matrix[r * 6 + c] += basis[r] * basis[c];
            rightX[r] += basis[r] * image[j].x;
            rightY[r] += basis[r] * image[j].y;
        }
    }
    return 1;
}

int QR_FitQuadraticMapChecked(const GEO_POINT *image, const GEO_POINT *module, i32 count, f64 matrix[36],
                              f64 rightX[6], f64 rightY[6]) {
    if (count <= 5) return 0;
    return QR_FitQuadraticMap(image, module, count, matrix, rightX, rightY);
}

void QR_ResampleQuadratic(const QR_GEOMETRY *g) {
    const i32 n = g_qrSymbol.dimension;
    if (g == nullptr || g->arrangement != kQrArrangeThree || !MatrixReady(n)) return;
    if (g_frame.sampleBilinear == nullptr) return;
    GEO_POINT image[13], module[13];
    QuadraticPairs(g, n, image, module);
    f64 matrix[36], cx[6], cy[6];
    QR_FitQuadraticMap(image, module, 13, matrix, cx, cy);
    f64 copy[36];
    std::memcpy(copy, matrix, sizeof copy);
    if (Geo_SolveLinearSystem(matrix, cx, 6) == 0 || Geo_SolveLinearSystem(copy, cy, 6) == 0) return;
    // Every position must be a real image position before anything is overwritten.
    for (i32 i = 0; i < n; ++i) {
        for (i32 k = 0; k < n; ++k) {
            if (!MapInRange(MapQuadratic(cx, k, i)) || !MapInRange(MapQuadratic(cy, k, i))) return;
        }
    }
    u8 *grey = g_qrWorkAreas.greyMatrix;
    for (i32 i = 0; i < n; ++i) {
        for (i32 k = 0; k < n; ++k) {
            const i32 x = static_cast<i32>(MapQuadratic(cx, k, i));
            const i32 y = static_cast<i32>(MapQuadratic(cy, k, i));
            grey[i * n + k] = static_cast<u8>(g_frame.sampleBilinear(16 * x, 16 * y, 128));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Gamma

i32 QR_GammaStretch(QR_GREY_MATRIX *m, f64 g) {
    if (m == nullptr || m->data == nullptr || m->columns <= 0 || m->rows <= 0) return -1;
    const i64 count = static_cast<i64>(m->columns) * m->rows;
    if (count > kArenaCapacity / 4) return -1;
    i32 *t = reinterpret_cast<i32 *>(Mem_Alloc(static_cast<i32>(count * 4)));
    if (t == nullptr) return -1;
    const f64 e = g >= 0.1 ? g : 0.1;  // NaN too
    i32 lo = 0x7FFFFFFF, hi = 0;
    for (i64 j = 0; j < count; ++j) {
        const f64 v = std::pow(static_cast<f64>(m->data[j]), e) + 0.5;
        // A huge exponent overflows: such values saturate.
        t[j] = v < 2147483647.0 ? static_cast<i32>(v) : 0x7FFFFFFF;
        lo = t[j] < lo ? t[j] : lo;
        hi = t[j] > hi ? t[j] : hi;
    }
    i32 result = 1;
    if (hi != lo) {
        for (i64 j = 0; j < count; ++j) {
            m->data[j] = static_cast<u8>((static_cast<i64>(t[j]) - lo) * 255 / (static_cast<i64>(hi) - lo));
        }
        result = 0;
    }
    Mem_Free(t);
    return result;
}

}  // namespace vexo
