// Micro QR entry: outline, grid, format in both bit orders, matrix, timing and data.
#include "qr/mqr_decode.h"

#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "qr/mqr_codewords.h"
#include "qr/qr_format.h"
#include "qr/qr_state.h"
#include "qr/qr_symbol_stages.h"

namespace vexo {

namespace {

// Format modules (column, row), bit 0 first (ISO/IEC 18004, Micro QR format placement).
constexpr GEO_POINT kFormatModules[15] = {{8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 6}, {8, 7}, {8, 8},
                                          {7, 8}, {6, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}};
static_assert(sizeof(kFormatModules) / sizeof(kFormatModules[0]) == 15);

constexpr i32 kM1MaxDigits = 5;

// The reading of one format word, all 0 when it does not correct.
MQR_FORMAT FormatOf(i32 word) {
    const i32 corrected = MQR_CorrectFormatWord(word);
    if (corrected <= 0) return MQR_FORMAT{};
    const i32 u = corrected ^ kMqrFormatMask;
    const MQR_SYMBOL_ROW *row = MQR_SymbolRow((u >> 12) & 7);
    return {(u >> 10) & 31, -row->versionCode, row->size};
}

// An M1 text is at most five digits.
bool M1TextValid() {
    const i32 n = g_qrData.length;
    if (n > kM1MaxDigits || g_qrSymbol.data == nullptr) return false;
    for (i32 k = 0; k < n; ++k) {
        if (g_qrSymbol.data[k] < '0' || g_qrSymbol.data[k] > '9') return false;
    }
    return true;
}

}  // namespace

int MQR_DecodeSymbol(const QR_FINDER_SUMMARY *summary) {
    if ((g_params.flagsWord[kSymQr] & kFlagQrNoMicroQr) != 0 || summary == nullptr) return 0;
    MQR_LOCATE loc{};
    loc.polarity = g_qrPolarity != 0 ? 1 : 0;
    loc.candidate = summary;
    MQR_STATE s;
    if (MQR_LocateFinder(&loc) != 1 || MQR_InitGridState(&s, &loc) != 1 || MQR_FitGrid(&s) != 1 ||
        MQR_DecodeFormats(&s) != 1) {
        return 0;
    }
    g_qrResult.symbolType = kQrSymbolMicro;
    g_state.lastSymbologyCode = kMqrSymbologyCode;
    return 1;
}

int MQR_DecodeFormats(MQR_STATE *s) {
    if (s == nullptr) return 0;
    s->length = 0;
    if (MQR_ReadFormat(s) != 1) return 0;
    if (s->formats[1].size == 0) return s->formats[0].size != 0 && MQR_DecodeMatrix(s) == 1 ? 1 : 0;
    // The mirrored reading starts again from the grid as it was before the first attempt.
    const MQR_STATE saved = *s;
    if (s->formats[0].size != 0 && MQR_DecodeMatrix(s) == 1) return 1;
    *s = saved;
    s->formats[0] = s->formats[1];
    s->transposed = 1;
    return MQR_DecodeMatrix(s) == 1 ? 1 : 0;
}

int MQR_ReadFormat(MQR_STATE *s) {
    if (s == nullptr) return 0;
    s->formats[0] = MQR_FORMAT{};
    s->formats[1] = MQR_FORMAT{};
    u8 bits[15];
    MQR_SampleFormatBits(&s->moduleToImage, kFormatModules, bits, 15, s->polarity);
    i32 forward = 0, reversed = 0;
    for (i32 i = 0; i < 15; ++i) {
        forward |= bits[i] << i;
        reversed |= bits[i] << (14 - i);
    }
    s->formats[0] = FormatOf(forward);
    s->formats[1] = FormatOf(reversed);
    return s->formats[0].size != 0 || s->formats[1].size != 0 ? 1 : 0;
}

void MQR_SampleFormatBits(const PERSPECTIVE *w, const GEO_POINT *points, u8 *bits, i32 n, i32 polarity) {
    if (w == nullptr || points == nullptr || bits == nullptr || n <= 0 || n > 15) return;
    u8 samples[15];
    i32 hi = 0, lo = 255;
    for (i32 k = 0; k < n; ++k) {
        i32 x = 0, y = 0;
        samples[k] = 0;
        if (Geo_MapPointPerspective(w, points[k].x, points[k].y, &x, &y) == 1 && g_frame.sampleBilinear != nullptr) {
            samples[k] = static_cast<u8>(g_frame.sampleBilinear(x, y, 0));
        }
        if (samples[k] != 0) {
            hi = samples[k] > hi ? samples[k] : hi;
            lo = samples[k] < lo ? samples[k] : lo;
        }
    }
    const i32 t = (lo + hi) >> 1;
    for (i32 k = 0; k < n; ++k) bits[k] = polarity != 0 ? (samples[k] <= t ? 1 : 0) : (samples[k] >= t ? 1 : 0);
}

int MQR_DecodeMatrix(MQR_STATE *s) {
    if (s == nullptr) return 0;
    const i32 size = s->formats[0].size;
    u8 *grey = g_qrWorkAreas.greyMatrix, *bits = g_qrWorkAreas.bitMatrix;
    if (size < 11 || size > 17 || grey == nullptr || bits == nullptr) return 0;
    if (size >= 13) MQR_ExtendGrid(s, 10);
    if (size >= 15) MQR_ExtendGrid(s, 12);
    if (MQR_SampleModules(s, grey) != 1) return 0;
    MODULE_BITS m{grey, bits, size, size, s->polarity, s->moduleSize <= 8 ? 1 : 0, 10};
    if (Geo_BinariseModules(&m) != 1 || MQR_CheckTiming(&m) != 1) return 0;
    if (s->transposed == 1) MQR_TransposeMatrix(bits, size);
    if (MQR_DecodeCodewords(s->formats[0].data, bits, g_qrResult.textBuffer, kQrTextCapacity) == 0) {
        s->length = g_qrData.length;
    }
    if (s->formats[0].version == 1 && !M1TextValid()) {
        s->length = 0;
        g_qrData.length = 0;
        return 0;
    }
    return s->length >= 1 ? 1 : 0;
}

int MQR_SampleModules(MQR_STATE *s, u8 *grey) {
    if (s == nullptr || grey == nullptr || g_frame.sampleBilinearMany == nullptr) return 0;
    const i32 size = s->formats[0].size;
    GRID_WALK walk{};
    walk.transform = s->moduleToImage;
    walk.firstColumn = 0;
    walk.firstRow = 0;
    walk.lastColumn = size - 1;
    walk.lastRow = size - 1;
    walk.outStep = size;
    walk.outOffset = 0;
    walk.outBase = grey;
    walk.param = 128;
    walk.rowCallback = s->moduleSize <= 8 ? g_frame.sampleBilinearMany : g_frame.sampleMean4Many;
    return Geo_MapGridRows(&walk) == 1 ? 1 : 0;
}

int MQR_TimingTolerance(i32 size, i32 mismatches) {
    switch (size) {
        case 11: return mismatches <= 0 ? 1 : 0;
        case 13:
        case 15: return mismatches <= 1 ? 1 : 0;
        case 17: return mismatches <= 2 ? 1 : 0;
        default: return 0;
    }
}

i32 MQR_CountAlternationErrors(const u8 *bits, i32 start, i32 end, i32 step) {
    if (bits == nullptr || step <= 0 || start < 0) return 0;
    i32 errors = 0;
    i32 expect = 1;
    for (i32 i = start; i < end; i += step) {
        if (bits[i] != expect) ++errors;
        expect ^= 1;
    }
    return errors;
}

int MQR_CheckTiming(const MODULE_BITS *m) {
    if (m == nullptr || m->bits == nullptr || m->columns != m->rows) return 0;
    const i32 n = m->columns;
    if (MQR_TimingTolerance(n, 0) != 1) return 0;
    const i32 row = MQR_CountAlternationErrors(m->bits, 8, n, 1);
    const i32 column = MQR_CountAlternationErrors(m->bits, 8 * n, n * n, n);
    return MQR_TimingTolerance(n, row) == 1 && MQR_TimingTolerance(n, column) == 1 ? 1 : 0;
}

void MQR_TransposeMatrix(u8 *m, i32 n) {
    if (m == nullptr || n <= 0) return;
    for (i32 i = 0; i < n; ++i) {
        for (i32 j = i + 1; j < n; ++j) {
            const u8 t = m[i * n + j];
            m[i * n + j] = m[j * n + i];
            m[j * n + i] = t;
        }
    }
}

}  // namespace vexo
