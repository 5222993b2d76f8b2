// Format and version information: BCH correction of the format words, error trapping of
// the version word, and the format readings of a Model 2 matrix.
#include "qr/qr_format.h"

#include "qr/qr_matrix.h"

namespace vexo {

namespace {

constexpr i32 kMaxBchField = 256;
constexpr i32 kFormatBits = 15;
constexpr i32 kVersionCycle = 23;
constexpr i32 kVersionCycleMask = (1 << kVersionCycle) - 1;

// Field tables of GF(size) built on a primitive polynomial.
struct GfTables {
    i32 size;
    i32 q;  // size - 1
    i32 log[kMaxBchField];
    i32 antilog[kMaxBchField];
};

bool IsPowerOfTwo(i32 v) { return v > 0 && (v & (v - 1)) == 0; }

// Fills the tables; false when the polynomial is not primitive of the field's degree.
bool GfBuild(GfTables *t, i32 size, i32 polynomial) {
    if (size < 4 || size > kMaxBchField || !IsPowerOfTwo(size)) return false;
    if (polynomial < size || polynomial >= 2 * size) return false;
    t->size = size;
    t->q = size - 1;
    for (i32 v = 0; v < size; ++v) t->log[v] = 0;
    t->antilog[0] = 1;
    for (i32 v = 1; v < size; ++v) {
        i32 a = t->antilog[v - 1] * 2;
        if (a >= size) a ^= polynomial;
        t->antilog[v] = a;
        // A non-primitive polynomial returns to 1 early (or reaches 0).
        if (v < t->q && (a == 1 || a == 0)) return false;
        t->log[a] = v;
    }
    if (t->antilog[t->q] != 1) return false;
    t->log[1] = 0;
    t->log[0] = 1 - size;
    return true;
}

i32 GfMul(const GfTables &t, i32 a, i32 b) {
    if (a == 0 || b == 0) return 0;
    return t.antilog[(t.log[a] + t.log[b]) % t.q];
}

i32 GfDiv(const GfTables &t, i32 a, i32 b) {
    if (a == 0 || b == 0) return 0;
    return t.antilog[(t.log[a] - t.log[b] + t.q) % t.q];
}

i32 GfPow(const GfTables &t, i32 e) { return t.antilog[((e % t.q) + t.q) % t.q]; }

struct Syndromes {
    i32 s1, s3, s5;
};

Syndromes BchSyndromes(const GfTables &t, const i32 *bits, i32 n) {
    return {QR_GfEvalPoly(n, bits, GfPow(t, 1), t.size, t.log, t.antilog),
            QR_GfEvalPoly(n, bits, GfPow(t, 3), t.size, t.log, t.antilog),
            QR_GfEvalPoly(n, bits, GfPow(t, 5), t.size, t.log, t.antilog)};
}

// Error locator 1 + s[1] x + s[2] x^2 + s[3] x^3 by Peterson's direct solution for binary
// codes (S2 = S1^2, S4 = S2^2 are implied). Answers its degree, or 0 when no locator exists.
i32 BchLocator(const GfTables &t, const Syndromes &s, i32 sigma[4]) {
    const i32 s1sq = GfMul(t, s.s1, s.s1);
    const i32 d = GfMul(t, s1sq, s.s1) ^ s.s3;
    sigma[0] = 1;
    if (d != 0) {
        sigma[1] = s.s1;
        sigma[2] = GfDiv(t, GfMul(t, s1sq, s.s3) ^ s.s5, d);
        sigma[3] = d ^ GfMul(t, s.s1, sigma[2]);
    } else if (s.s1 != 0) {
        sigma[1] = s.s1;
        sigma[2] = 0;
        sigma[3] = 0;
    } else {
        return 0;
    }
    for (i32 v = 3; v >= 1; --v) {
        if (sigma[v] != 0) return v;
    }
    return 0;
}

// Reads 15 format bits MSB first from the given (row, column) list; negative coordinates
// count from n. With `transposed` row and column swap roles.
struct Cell {
    i8 r, c;
};

constexpr Cell kFirstHigh[7] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}};
constexpr Cell kFirstLow[8] = {{8, 8}, {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
constexpr Cell kSecondHigh[7] = {{-1, 8}, {-2, 8}, {-3, 8}, {-4, 8}, {-5, 8}, {-6, 8}, {-7, 8}};
constexpr Cell kSecondLow[8] = {{8, -8}, {8, -7}, {8, -6}, {8, -5}, {8, -4}, {8, -3}, {8, -2}, {8, -1}};
static_assert(sizeof(kFirstHigh) / sizeof(kFirstHigh[0]) == 7 && sizeof(kSecondLow) / sizeof(kSecondLow[0]) == 8);

i32 ReadCells(const u8 *m, i32 n, const Cell *cells, i32 count, bool transposed, i32 word) {
    for (i32 i = 0; i < count; ++i) {
        const i32 r = cells[i].r < 0 ? n + cells[i].r : cells[i].r;
        const i32 c = cells[i].c < 0 ? n + cells[i].c : cells[i].c;
        const i32 at = transposed ? c * n + r : r * n + c;
        word = (word << 1) | (m[at] != 0 ? 1 : 0);
    }
    return word;
}

// Format word from a high half (bits 14..8) and a low half (bits 7..0).
i32 ReadFormatWord(const u8 *m, i32 n, bool highFirst, bool lowFirst, bool transposed) {
    const i32 high = ReadCells(m, n, highFirst ? kFirstHigh : kSecondHigh, 7, transposed, 0);
    return ReadCells(m, n, lowFirst ? kFirstLow : kSecondLow, 8, transposed, high);
}

i32 CorrectMaskedFormat(i32 word, i32 mask) {
    i32 bits[kFormatBits];
    const i32 unmasked = (word ^ mask) & 0x7FFF;
    for (i32 i = 0; i < kFormatBits; ++i) bits[i] = (unmasked >> i) & 1;
    if (QR_BchCorrect(bits, kFormatBits, 5, 16, 0x13) != 0) return 0;
    i32 corrected = 0;
    for (i32 i = 0; i < kFormatBits; ++i) corrected |= bits[i] << i;
    return corrected ^ mask;
}

i32 VersionRemainder(i32 w) {
    for (i32 b = 23; b >= 12; --b) {
        if ((w >> b) & 1) w ^= kQrVersionGenerator << (b - 12);
    }
    return w;
}

i32 BitCount(i32 v) {
    i32 count = 0;
    for (; v != 0; v &= v - 1) ++count;
    return count;
}

i32 RotateRight23(i32 w) { return ((w >> 1) | ((w & 1) << (kVersionCycle - 1))) & kVersionCycleMask; }
i32 RotateLeft23(i32 w) { return ((w << 1) | (w >> (kVersionCycle - 1))) & kVersionCycleMask; }

}  // namespace

i32 QR_GfEvalPoly(i32 k, const i32 *coeffs, i32 x, i32 fieldSize, const i32 *log, const i32 *antilog) {
    if (k <= 0 || coeffs == nullptr || log == nullptr || antilog == nullptr) return 0;
    if (fieldSize < 2 || x < 0 || x >= fieldSize) return 0;
    if (x == 0) return coeffs[0];
    const i32 q = fieldSize - 1;
    i32 v = coeffs[k - 1];
    for (i32 i = k - 2; i >= 0; --i) {
        // Values outside the field (only from a careless caller) multiply as 0.
        i32 product = 0;
        if (v > 0 && v < fieldSize) product = antilog[(log[v] + log[x]) % q];
        v = product ^ coeffs[i];
    }
    return v;
}

i32 QR_BchCorrect(i32 *bits, i32 n, i32 oddSyndromes, i32 fieldSize, i32 polynomial) {
    GfTables t;
    if (bits == nullptr || oddSyndromes != 5 || !GfBuild(&t, fieldSize, polynomial)) return 1;
    if (n < 1 || n >= fieldSize) return 1;
    for (i32 i = 0; i < n; ++i) bits[i] = bits[i] != 0 ? 1 : 0;
    const Syndromes s = BchSyndromes(t, bits, n);
    if (s.s1 == 0 && s.s3 == 0 && s.s5 == 0) return 0;
    i32 sigma[4];
    const i32 degree = BchLocator(t, s, sigma);
    if (degree == 0) return 1;
    i32 roots[3];
    i32 rootCount = 0;
    for (i32 i = 0; i < n; ++i) {
        if (QR_GfEvalPoly(4, sigma, GfPow(t, t.q - i), t.size, t.log, t.antilog) != 0) continue;
        if (rootCount == 3) return 1;
        roots[rootCount++] = i;
    }
    if (rootCount != degree) return 1;
    for (i32 j = 0; j < rootCount; ++j) bits[roots[j]] ^= 1;
    const Syndromes after = BchSyndromes(t, bits, n);
    return after.s1 == 0 && after.s3 == 0 && after.s5 == 0 ? 0 : 1;
}

i32 QR_BchCorrectChecked(i32 *bits, i32 n, i32 oddSyndromes, i32 fieldSize, i32 polynomial) {
    if (fieldSize > 18 || oddSyndromes > 5) return 1;
    return QR_BchCorrect(bits, n, oddSyndromes, fieldSize, polynomial);
}

i32 QR_CorrectFormatWord(i32 word, i32 bitCount) {
    if (bitCount == kFormatBits) return CorrectMaskedFormat(word, kQrFormatMaskModel2);
    if (bitCount == 18) return QR_DecodeVersionWord(word);
    return 0;
}

i32 QR_CorrectModel1FormatWord(i32 word, i32 bitCount) {
    if (bitCount != kFormatBits) return 0;
    return CorrectMaskedFormat(word, kQrFormatMaskModel1);
}

i32 MQR_CorrectFormatWord(i32 word) { return CorrectMaskedFormat(word, kMqrFormatMask); }

i32 QR_DecodeVersionWord(i32 word) {
    i32 w = word & 0x3FFFF;
    i32 s = VersionRemainder(w);
    i32 i = 0;
    for (;;) {
        if (s != 0) {
            if (i > kVersionCycle) return 0;
            ++i;
        }
        s = VersionRemainder(w);
        if (BitCount(s) <= 3) break;
        w = RotateRight23(w);
    }
    w ^= s;
    for (i32 r = 0; r < i - 1; ++r) w = RotateLeft23(w);
    return VersionRemainder(w) == 0 ? w : 0;
}

i32 QR_LevelFromFormatBits(i32 bits) {
    static constexpr i8 kLevels[4] = {1, 0, 3, 2};  // 00 M, 01 L, 10 H, 11 Q
    return kLevels[bits & 3];
}

i32 QR_SetLevelAndMask(i32 dataBits) {
    g_qrData.level = QR_LevelFromFormatBits(dataBits >> 3);
    g_qrData.mask = dataBits & 7;
    return g_qrData.mask;
}

void QR_ReadFormatCandidates(const u8 *matrix, i32 n, i32 masks[8], i32 levels[8]) {
    if (masks == nullptr || levels == nullptr) return;
    for (i32 k = 0; k < 8; ++k) masks[k] = levels[k] = -1;
    if (matrix == nullptr || n < kQrMinDimension || n > kQrMaxDimension) return;
    // (high from first copy, low from first copy, transposed) per reading.
    static constexpr bool kReadings[8][3] = {
        {true, true, false},  {false, false, false}, {true, false, false}, {false, true, false},
        {true, true, true},   {false, false, true},  {false, true, true},  {true, false, true},
    };
    for (i32 k = 0; k < 8; ++k) {
        const i32 raw = ReadFormatWord(matrix, n, kReadings[k][0], kReadings[k][1], kReadings[k][2]);
        const i32 word = QR_CorrectFormatWord(raw, kFormatBits);
        if (word == 0) continue;
        const i32 d = (word >> 10) ^ (kQrFormatMaskModel2 >> 10);
        masks[k] = d & 7;
        levels[k] = QR_LevelFromFormatBits(d >> 3);
    }
}

i32 QR_PolyDivide(i32 dividend, i32 topBit, i32 divisor, i32 degree, i32 wantQuotient) {
    if (topBit < 0 || topBit > 30 || degree < 1 || degree > topBit) return 0;
    if (((divisor >> degree) & 1) == 0 || divisor >= (2 << degree)) return 0;
    i32 quotient = 0;
    for (i32 b = topBit; b >= degree; --b) {
        if (((dividend >> b) & 1) == 0) continue;
        dividend ^= divisor << (b - degree);
        quotient |= 1 << (b - degree);
    }
    return wantQuotient != 0 ? quotient : dividend;
}

i32 QR_ReadVersionFromMatrix(const u8 *matrix, i32 n) {
    if (matrix == nullptr || n < kQrMinDimension || n > kQrMaxDimension) return -1;
    if (n < 42) return (n - 21) / 4;
    for (i32 copy = 0; copy < 2; ++copy) {
        i32 raw = 0;
        for (i32 i = 0; i < 18; ++i) {
            const i32 near = i / 3;
            const i32 far = n - 11 + i % 3;
            const i32 at = copy == 0 ? near * n + far : far * n + near;
            raw |= (matrix[at] != 0 ? 1 : 0) << i;
        }
        const i32 word = QR_CorrectFormatWord(raw, 18);
        const i32 version = word >> 12;
        if (word != 0 && version >= kQrMinVersion && version <= kQrMaxVersion &&
            QR_DimensionOfVersion(version) == n) {
            return version - 1;
        }
    }
    return -1;
}

i32 QR_ReadFormatLevel(const u8 *matrix, i32 n, i32 *mask, i32 *transposed) {
    if (matrix == nullptr || mask == nullptr || transposed == nullptr) return -1;
    if (n < kQrMinDimension || n > kQrMaxDimension) return -1;
    // (high from first copy, transposed) per reading; the low half comes from the other copy.
    static constexpr bool kReadings[4][2] = {{true, false}, {false, false}, {false, true}, {true, true}};
    for (const auto &r : kReadings) {
        const i32 raw = ReadFormatWord(matrix, n, r[0], !r[0], r[1]);
        const i32 word = QR_CorrectFormatWord(raw, kFormatBits);
        if (word == 0) continue;
        *mask = ((word >> 10) & 7) ^ 5;
        *transposed = r[1] ? 1 : 0;
        return 3 - ((word >> 13) & 3);
    }
    return -1;
}

i32 QR_MinInt(i32 a, i32 b) { return a < b ? a : b; }
i32 QR_MaxInt(i32 a, i32 b) { return a > b ? a : b; }

i32 QR_ScaleDownMin12(i32 a) {
    const i32 v = (a - 20) / 5;
    return v < 12 ? 12 : v;
}

}  // namespace vexo
