// Micro QR codewords: units at the positions of ISO/IEC 18004 (Micro QR symbol placement),
// one Reed-Solomon block, and the bit stream through the QR segment decoders.
#include "qr/mqr_codewords.h"

#include "qr/qr_codewords.h"
#include "qr/qr_matrix.h"
#include "toolkit/reed_solomon.h"

namespace vexo {

namespace {

constexpr i32 kQrRsCode = 2;
constexpr i32 kQrRsFieldSize = 256;
constexpr i32 kQrRsPolynomial = 0x11D;

// ISO/IEC 18004 Micro QR: version code, mode indicator width, data codewords, data bits,
// total codewords, modules per side, per symbol number M1, M2-L, M2-M, M3-L, M3-M, M4-L,
// M4-M, M4-Q.
constexpr MQR_SYMBOL_ROW kSymbols[kMqrSymbolCount] = {
    {-1, 0, 3, 20, 5, 11},   {-2, 1, 5, 40, 10, 13},  {-2, 1, 4, 32, 10, 13},  {-3, 2, 11, 84, 17, 15},
    {-3, 2, 9, 68, 17, 15},  {-4, 3, 16, 128, 24, 17}, {-4, 3, 14, 112, 24, 17}, {-4, 3, 10, 80, 24, 17},
};
static_assert(sizeof(kSymbols) / sizeof(kSymbols[0]) == kMqrSymbolCount);

// Micro QR mask 0..3 as the QR data mask of the same condition.
constexpr i32 kQrMaskOfMicro[4] = {1, 4, 6, 7};
static_assert(sizeof(kQrMaskOfMicro) / sizeof(kQrMaskOfMicro[0]) == 4);

struct UnitPos {
    u8 kind;
    u8 x;
    u8 y;
};

constexpr u8 U = kMqrUnitUp, D = kMqrUnitDown, Q = kMqrUnit2x2, T = kMqrUnitTurnTop, B = kMqrUnitTurnBottom;

// Units in codeword order, (column, row) of their top-left module: the two-column walk of
// the symbol placement cut into whole codewords.
constexpr UnitPos kUnitsM1[5] = {{U, 9, 7}, {U, 9, 3}, {Q, 9, 1}, {B, 5, 9}, {B, 1, 9}};
constexpr UnitPos kUnitsM2[10] = {{U, 11, 9}, {U, 11, 5}, {U, 11, 1}, {D, 9, 1}, {D, 9, 5},
                                  {D, 9, 9},  {U, 7, 9},  {D, 5, 9},  {U, 3, 9}, {D, 1, 9}};
constexpr UnitPos kUnitsM3L[17] = {{U, 13, 11}, {U, 13, 7}, {U, 13, 3}, {T, 11, 1}, {D, 11, 3}, {D, 11, 7},
                                   {D, 11, 11}, {U, 9, 11}, {U, 9, 7},  {U, 9, 3},  {Q, 9, 1},  {D, 7, 9},
                                   {B, 5, 13},  {U, 5, 9},  {D, 3, 9},  {B, 1, 13}, {U, 1, 9}};
constexpr UnitPos kUnitsM3M[17] = {{U, 13, 11}, {U, 13, 7}, {U, 13, 3}, {T, 11, 1}, {D, 11, 3}, {D, 11, 7},
                                   {D, 11, 11}, {U, 9, 11}, {Q, 9, 9},  {U, 9, 5},  {U, 9, 1},  {D, 7, 9},
                                   {B, 5, 13},  {U, 5, 9},  {D, 3, 9},  {B, 1, 13}, {U, 1, 9}};
constexpr UnitPos kUnitsM4[24] = {{U, 15, 13}, {U, 15, 9}, {U, 15, 5}, {U, 15, 1}, {D, 13, 1}, {D, 13, 5},
                                  {D, 13, 9},  {D, 13, 13}, {U, 11, 13}, {U, 11, 9}, {U, 11, 5}, {U, 11, 1},
                                  {D, 9, 1},   {D, 9, 5},  {D, 9, 9},   {D, 9, 13}, {U, 7, 13}, {U, 7, 9},
                                  {D, 5, 9},   {D, 5, 13}, {U, 3, 13},  {U, 3, 9},  {D, 1, 9},  {D, 1, 13}};
static_assert(sizeof(kUnitsM1) / sizeof(kUnitsM1[0]) == 5);
static_assert(sizeof(kUnitsM2) / sizeof(kUnitsM2[0]) == 10);
static_assert(sizeof(kUnitsM3L) / sizeof(kUnitsM3L[0]) == 17 && sizeof(kUnitsM3M) / sizeof(kUnitsM3M[0]) == 17);
static_assert(sizeof(kUnitsM4) / sizeof(kUnitsM4[0]) == 24);

const UnitPos *UnitsOf(i32 m) {
    switch (m) {
        case 0: return kUnitsM1;
        case 1:
        case 2: return kUnitsM2;
        case 3: return kUnitsM3L;
        case 4: return kUnitsM3M;
        default: return kUnitsM4;
    }
}

// Bits read at the listed (dx, dy) offsets, bit k from entry k.
struct Offset {
    u8 dx;
    u8 dy;
};
constexpr Offset kTurnTop[8] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}, {2, 0}, {3, 0}, {2, 1}, {3, 1}};
constexpr Offset kTurnBottom[8] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {2, 0}, {3, 0}};
static_assert(sizeof(kTurnTop) / sizeof(kTurnTop[0]) == 8 && sizeof(kTurnBottom) / sizeof(kTurnBottom[0]) == 8);

i32 ReadOffsets(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask, const Offset *offsets) {
    if (matrix == nullptr || mask < 0 || mask > 7) return -1;
    i32 value = 0;
    for (i32 k = 0; k < 8; ++k) {
        value |= QR_ReadMaskedModule(matrix, x + offsets[k].dx, y + offsets[k].dy, stride, mask) << k;
    }
    return value;
}

i32 ReadUnit(const u8 *matrix, const UnitPos &u, i32 stride, i32 mask) {
    switch (u.kind) {
        case kMqrUnitUp: return QR_ReadUnit2x4(matrix, u.x, u.y, stride, mask);
        case kMqrUnitDown: return MQR_ReadUnitDown2x4(matrix, u.x, u.y, stride, mask);
        case kMqrUnit2x2: return QR_ReadUnit2x2(matrix, u.x, u.y, stride, mask);
        case kMqrUnitTurnTop: return MQR_ReadUnitTurnTop(matrix, u.x, u.y, stride, mask);
        default: return MQR_ReadUnitTurnBottom(matrix, u.x, u.y, stride, mask);
    }
}

// 1 for the symbols whose last data codeword holds 4 bits (M1, M3-L, M3-M).
bool HasHalfCodeword(i32 m) { return m == 0 || m == 3 || m == 4; }

// One segment after its mode indicator (dropped already): the bits left, -1 refused.
i32 DecodeSegment(QR_BITS *bits, i32 mode, i32 v) {
    switch (mode) {
        case 0: return QR_DecodeNumeric(bits, v);
        case 1: return QR_DecodeAlphanumeric(bits, v);
        case 2: return QR_DecodeByte(bits, v);
        case 3: return QR_DecodeKanji(bits, v);
        default: return -1;
    }
}

}  // namespace

const MQR_SYMBOL_ROW *MQR_SymbolRow(i32 m) { return m >= 0 && m < kMqrSymbolCount ? &kSymbols[m] : nullptr; }

i32 MQR_QrMaskOf(i32 microMask) { return microMask >= 0 && microMask < 4 ? kQrMaskOfMicro[microMask] : -1; }

i32 MQR_ReadUnitDown2x4(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    if (matrix == nullptr || mask < 0 || mask > 7) return -1;
    i32 value = 0;
    for (i32 dy = 0; dy < 4; ++dy) {
        for (i32 dx = 0; dx < 2; ++dx) {
            value |= QR_ReadMaskedModule(matrix, x + dx, y + dy, stride, mask) << (2 * (3 - dy) + dx);
        }
    }
    return value;
}

i32 MQR_ReadUnitTurnTop(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    return ReadOffsets(matrix, x, y, stride, mask, kTurnTop);
}

i32 MQR_ReadUnitTurnBottom(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    return ReadOffsets(matrix, x, y, stride, mask, kTurnBottom);
}

i32 QR_ReadUnit2x4Alias(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    return QR_ReadUnit2x4(matrix, x, y, stride, mask);
}

i32 QR_ReadUnit2x2Alias(const u8 *matrix, i32 x, i32 y, i32 stride, i32 mask) {
    return QR_ReadUnit2x2(matrix, x, y, stride, mask);
}

i32 MQR_ReadCodewordUnits(const u8 *matrix, i32 m, i32 mask, i32 out[kMqrMaxCodewords]) {
    const MQR_SYMBOL_ROW *row = MQR_SymbolRow(m);
    if (row == nullptr || matrix == nullptr || out == nullptr || mask < 0 || mask > 7) return -1;
    const UnitPos *units = UnitsOf(m);
    for (i32 k = 0; k < row->totalCodewords; ++k) out[k] = ReadUnit(matrix, units[k], row->size, mask);
    return row->totalCodewords;
}

i32 MQR_CorrectBlock(i32 m, i32 codewords[kMqrMaxCodewords]) {
    const MQR_SYMBOL_ROW *row = MQR_SymbolRow(m);
    if (row == nullptr || codewords == nullptr) return -1;
    const i32 total = row->totalCodewords;
    i32 block[kMqrMaxCodewords];
    for (i32 k = 0; k < total; ++k) block[k] = codewords[total - 1 - k];
    RS_ResetField();
    RS_SelectField(kQrRsCode, kQrRsFieldSize, kQrRsPolynomial);
    if (RS_DecodeBlockQr(block, total, total - row->dataCodewords) != 0) return -1;
    for (i32 k = 0; k < total; ++k) codewords[k] = block[total - 1 - k];
    // The low half of the 4-bit codeword is zero in every codeword of the code.
    if (HasHalfCodeword(m) && (codewords[row->dataCodewords - 1] & 0x0F) != 0) return -1;
    return 0;
}

i32 MQR_DecodeCodewords(i32 format, const u8 *matrix, u8 *output, i32 capacity) {
    const i32 m = format >> 2;
    if (format < 0 || format > 31 || matrix == nullptr || output == nullptr) return -3;
    const MQR_SYMBOL_ROW *row = MQR_SymbolRow(m);
    i32 codewords[kMqrMaxCodewords];
    if (MQR_ReadCodewordUnits(matrix, m, MQR_QrMaskOf(format & 3), codewords) != row->totalCodewords) return -3;
    if (HasHalfCodeword(m)) codewords[row->dataCodewords - 1] <<= 4;
    if (MQR_CorrectBlock(m, codewords) != 0) {
        QR_SetErrorWord(kQrErrBlock);
        return -2;
    }
    g_qrSymbol.kind = kQrKindMicro;
    u8 bytes[kMqrMaxCodewords];
    for (i32 k = 0; k < row->dataCodewords; ++k) bytes[k] = static_cast<u8>(codewords[k] & 0xFF);
    if (MQR_DecodeData(bytes, row->dataCodewords, format, output, capacity) != 0) {
        QR_SetErrorWord(kQrErrSegments);
        return -1;
    }
    return 0;
}

i32 MQR_DecodeData(const u8 *bytes, i32 byteCount, i32 format, u8 *output, i32 capacity) {
    QR_BeginText(output, capacity);
    const MQR_SYMBOL_ROW *row = MQR_SymbolRow(format >> 2);
    if (row == nullptr || format < 0 || bytes == nullptr) return -1;
    if (byteCount > row->dataCodewords) byteCount = row->dataCodewords;
    // No ECI, FNC1 or structured append in Micro QR.
    g_qrSymbol.eciSeen = 0;
    g_qrSymbol.fnc1Mode = 0;
    const i32 v = row->versionCode;
    QR_BITS bits;
    QR_InitBits(&bits, bytes, byteCount, row->dataBits);
    i32 c = bits.left;
    // Every segment consumes at least one bit, so the data bits bound the loop.
    for (i32 guard = 0; c > 0 && guard <= row->dataBits; ++guard) {
        if (MQR_IsTerminator(&bits, c, v) != 0) break;
        i32 mode = 0;
        if (v != -1) {
            mode = QR_PeekBits(&bits, row->modeBits);
            if (mode > 3) return -1;
            QR_ShiftBitsIfAvailable(&bits, row->modeBits);
        }
        c = DecodeSegment(&bits, mode, v);
    }
    if (c < 0) return -1;
    QR_SetAimModifier();
    g_qrSymbol.length = g_qrData.length;
    return 0;
}

i32 MQR_IsTerminator(const QR_BITS *bits, i32 left, i32 versionCode) {
    if (bits == nullptr || versionCode < -4 || versionCode > -1) return 1;
    const i32 width = 1 - 2 * versionCode;
    if (left < width) return 1;
    return QR_PeekBits(bits, width) == 0 ? 1 : 0;
}

}  // namespace vexo
