// QR data segments and the AIM identifier. Every write into the text is checked against its
// capacity first: a stream of ECI designators grows the text by 7 bytes per 12 bits and would
// otherwise run past the caller's buffer.
#include "qr/qr_segments.h"

#include "qr/qr_matrix.h"

namespace vexo {

QR_SYMBOL_STATE g_qrSymbol;
QR_DATA_STATE g_qrData;
u8 g_qrAimModifier = '1';

namespace {

enum Mode : i32 {
    kModeTerminator = 0,
    kModeNumeric = 1,
    kModeAlphanumeric = 2,
    kModeStructuredAppend = 3,
    kModeByte = 4,
    kModeFnc1First = 5,
    kModeEci = 7,
    kModeKanji = 8,
    kModeFnc1Second = 9,
    kModeHanzi = 13,
};

constexpr u8 kGroupSeparator = 0x1D;
constexpr i32 kPadCodeword = 0xEC;
constexpr i32 kMaxEciValue = 999999;

// Character-count indicator widths: ISO/IEC 18004, table of character count indicator bits
// (Table 3); Hanzi from GB/T 18284. Columns: versions 1-9, 10-26, 27-40, M1, M2, M3, M4; -1 the
// mode does not exist there.
constexpr i8 kCountBits[5][7] = {
    {10, 12, 14, 3, 4, 5, 6},      // numeric
    {9, 11, 13, -1, 3, 4, 5},      // alphanumeric
    {8, 16, 16, -1, -1, 4, 5},     // byte
    {8, 10, 12, -1, -1, 3, 4},     // Kanji
    {8, 10, 12, -1, -1, -1, -1},   // Hanzi
};
static_assert(sizeof(kCountBits) == 35);

// Alphanumeric character set by value: ISO/IEC 18004, encoding of the alphanumeric mode
// (Table 5).
constexpr u8 kAlnumChars[45] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E',
                                'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T',
                                'U', 'V', 'W', 'X', 'Y', 'Z', ' ', '$', '%', '*', '+', '-', '.', '/', ':'};
static_assert(sizeof(kAlnumChars) == 45);

constexpr u8 kDataHeaderPrefix[7] = {'B', 'r', 'e', 'v', 'i', 'k', ':'};
static_assert(sizeof(kDataHeaderPrefix) == 7);

// ---- Text writes.

bool TextFits(i32 count) {
    return g_qrData.cursor != nullptr && count >= 0 && g_qrData.length <= g_qrData.capacity - count;
}

bool AppendByte(u8 v) {
    if (!TextFits(1)) return false;
    *g_qrData.cursor++ = v;
    ++g_qrData.length;
    return true;
}

// `digits` decimal digits of value (0 <= value < 10^digits), leading zeros kept.
bool AppendDigits(i32 value, i32 digits) {
    if (!TextFits(digits)) return false;
    for (i32 i = digits - 1; i >= 0; --i) {
        g_qrData.cursor[i] = static_cast<u8>('0' + value % 10);
        value /= 10;
    }
    g_qrData.cursor += digits;
    g_qrData.length += digits;
    return true;
}

// With FNC1 active, "%%" stands for '%' and a lone '%' for GS (within one segment).
struct PercentFilter {
    bool active;
    bool pending;

    bool Put(u8 c) {
        if (!active) return AppendByte(c);
        if (c == '%') {
            if (!pending) {
                pending = true;
                return true;
            }
            pending = false;
            return AppendByte('%');
        }
        if (pending) {
            pending = false;
            if (!AppendByte(kGroupSeparator)) return false;
        }
        return AppendByte(c);
    }
    bool Flush() {
        if (!pending) return true;
        pending = false;
        return AppendByte(kGroupSeparator);
    }
};

PercentFilter MakePercentFilter() { return {g_qrSymbol.fnc1Mode == 1 || g_qrSymbol.fnc1Mode == 2, false}; }

// Ends a segment whose stream ran out: what was decoded stays.
i32 RanOut(PercentFilter *filter) { return filter->Flush() ? 0 : -1; }
i32 Finish(PercentFilter *filter, const QR_BITS *bits) { return filter->Flush() ? bits->left : -1; }

// Reads the character count; -1 refused, 0 out of bits, else 1 with *count set.
i32 ReadCount(QR_BITS *bits, i32 mode, i32 versionCode, i32 *count) {
    const i32 width = QR_CountBits(mode, versionCode);
    if (width < 0) return -1;
    if (bits->left < width) return 0;
    *count = QR_TakeBits(bits, width);
    return 1;
}

// One numeric group of `digits` digits in `width` bits; -1 refused, 0 out of bits, 1 done.
i32 NumericGroup(QR_BITS *bits, i32 width, i32 digits, i32 limit) {
    if (bits->left < width) return 0;
    const i32 v = QR_TakeBits(bits, width);
    if (v >= limit) return -1;  // not a group of decimal digits
    return AppendDigits(v, digits) ? 1 : -1;
}

i32 ColumnOfVersionCode(i32 versionCode) {
    if (versionCode >= 0 && versionCode <= 8) return 0;
    if (versionCode >= 9 && versionCode <= 25) return 1;
    if (versionCode >= 26 && versionCode <= 39) return 2;
    if (versionCode >= -4 && versionCode <= -1) return 2 - versionCode;
    return -1;
}

i32 RowOfMode(i32 mode) {
    switch (mode) {
        case kModeNumeric: return 0;
        case kModeAlphanumeric: return 1;
        case kModeByte: return 2;
        case kModeKanji: return 3;
        case kModeHanzi: return 4;
        default: return -1;
    }
}

// Runs the segment, structured-append or FNC1 step for mode indicator m (already dropped).
// Answers the bits left (negative refuses the symbol).
i32 DecodeOneMode(QR_BITS *bits, i32 mode, i32 vi) {
    switch (mode) {
        case kModeNumeric: return QR_DecodeNumeric(bits, vi);
        case kModeAlphanumeric: return QR_DecodeAlphanumeric(bits, vi);
        case kModeByte: return QR_DecodeByte(bits, vi);
        case kModeKanji: return QR_DecodeKanji(bits, vi);
        case kModeHanzi: return QR_DecodeHanzi(bits, vi);
        case kModeEci: return QR_DecodeEci(bits);
        case kModeFnc1First: return QR_SetFnc1First() != 0 ? -1 : bits->left;
        case kModeFnc1Second: return QR_DecodeFnc1Second(bits);
        default: return -1;
    }
}

bool IsSegmentMode(i32 mode) {
    return RowOfMode(mode) >= 0 || mode == kModeEci || mode == kModeFnc1First || mode == kModeFnc1Second;
}

// The mode loop. Answers the bits left when the stream ended (negative refuses).
i32 DecodeModes(QR_BITS *bits, i32 vi, i32 left) {
    while (left > 3) {
        const i32 mode = QR_PeekBits(bits, 4);
        if (!IsSegmentMode(mode)) {
            // Terminator, or an unassigned indicator that is only padding.
            if (mode != kModeTerminator && left > 16 && QR_PeekBits(bits, 8) != kPadCodeword) return -1;
            break;
        }
        QR_ShiftBits(bits, 4);
        left = DecodeOneMode(bits, mode, vi);
    }
    return left;
}

}  // namespace

// ---- Bit stream.

void QR_InitBits(QR_BITS *bits, const u8 *data, i32 byteCount, i32 validBits) {
    if (bits == nullptr) return;
    bits->data = data;
    bits->byteCount = data == nullptr || byteCount < 0 ? 0 : byteCount;
    bits->position = 0;
    bits->left = validBits < 0 ? 0 : validBits;
}

i32 QR_PeekBits(const QR_BITS *bits, i32 k) {
    if (bits == nullptr || k <= 0) return 0;
    if (k > 24) k = 24;
    i32 v = 0;
    for (i32 i = 0; i < k; ++i) {
        const i64 p = static_cast<i64>(bits->position) + i;
        i32 bit = 0;
        if (p >= 0 && p < static_cast<i64>(bits->byteCount) * 8) bit = (bits->data[p >> 3] >> (7 - (p & 7))) & 1;
        v = (v << 1) | bit;
    }
    return v;
}

i32 QR_TakeBits(QR_BITS *bits, i32 k) {
    if (bits == nullptr) return 0;
    if (k < 0) k = 0;
    if (k > 24) k = 24;
    const i32 v = QR_PeekBits(bits, k);
    bits->position += k;
    bits->left -= k;
    return v;
}

void QR_ShiftBits(QR_BITS *bits, i32 k) {
    if (bits == nullptr) return;
    if (k < 0) k = 0;
    if (k > 8) k = 8;
    bits->position += k;
    bits->left -= k;
}

i32 QR_ShiftBitsIfAvailable(QR_BITS *bits, i32 k) {
    if (bits == nullptr) return 0;
    if (k >= 0 && bits->left >= k) QR_ShiftBits(bits, k);
    return bits->left;
}

// ---- Text and the whole stream.

void QR_BeginText(u8 *output, i32 capacity) {
    g_qrData.cursor = output;
    g_qrData.length = 0;
    g_qrData.capacity = output == nullptr || capacity < 0 ? 0 : capacity;
    g_qrSymbol.data = output;
}

i32 QR_DecodeSegments(const u8 *codewords, i32 byteCount, i32 vi, u8 *output, i32 capacity) {
    QR_BeginText(output, capacity);
    // Negative codes belong to Micro QR, whose decoder drives the segments itself.
    if (vi < 0 || vi > 39) return -1;
    if (codewords == nullptr || byteCount < 0) byteCount = 0;
    // Keeps 8 x byteCount inside 32 bits.
    if (byteCount > (1 << 27)) byteCount = 1 << 27;
    QR_BITS bits;
    QR_InitBits(&bits, codewords, byteCount, 8 * byteCount);
    // The first Model 1 codeword carries only 4 bits.
    if (g_qrSymbol.model1 == 1) QR_ShiftBits(&bits, 4);
    i32 left = QR_CheckDataHeader(&bits);
    if (left < 0) return -1;
    if (left >= 4 && QR_PeekBits(&bits, 4) == kModeStructuredAppend) {
        QR_ShiftBits(&bits, 4);
        left = QR_ReadStructuredAppend(&bits);
    }
    left = DecodeModes(&bits, vi, left);
    if (left < 0) return -1;
    QR_SetAimModifier();
    g_qrSymbol.length = g_qrData.length;
    return 0;
}

// ---- Segments.

i32 QR_CountBits(i32 mode, i32 versionCode) {
    const i32 row = RowOfMode(mode);
    const i32 column = ColumnOfVersionCode(versionCode);
    if (row < 0 || column < 0) return -1;
    return kCountBits[row][column];
}

i32 QR_AlnumChar(i32 value) { return value >= 0 && value < 45 ? kAlnumChars[value] : 45; }

i32 QR_DecodeNumeric(QR_BITS *bits, i32 versionCode) {
    if (bits == nullptr) return -1;
    i32 count = 0;
    const i32 status = ReadCount(bits, kModeNumeric, versionCode, &count);
    if (status <= 0) return status;
    for (; count >= 3; count -= 3) {
        const i32 r = NumericGroup(bits, 10, 3, 1000);
        if (r <= 0) return r;
    }
    if (count > 0) {
        const i32 r = count == 2 ? NumericGroup(bits, 7, 2, 100) : NumericGroup(bits, 4, 1, 10);
        if (r <= 0) return r;
    }
    // M1 holds one numeric segment and nothing after it.
    if (versionCode == -1 && g_qrData.length > 0) return 0;
    return bits->left;
}

i32 QR_DecodeAlphanumeric(QR_BITS *bits, i32 versionCode) {
    if (bits == nullptr) return -1;
    i32 count = 0;
    const i32 status = ReadCount(bits, kModeAlphanumeric, versionCode, &count);
    if (status <= 0) return status;
    PercentFilter filter = MakePercentFilter();
    // A value beyond the set prints as '-'.
    const auto put = [&filter](i32 v) { return filter.Put(v < 45 ? kAlnumChars[v] : static_cast<u8>('-')); };
    for (; count >= 2; count -= 2) {
        if (bits->left < 11) return RanOut(&filter);
        const i32 v = QR_TakeBits(bits, 11);
        if (!put(v / 45) || !put(v % 45)) return -1;
    }
    if (count == 1) {
        if (bits->left < 6) return RanOut(&filter);
        if (!put(QR_TakeBits(bits, 6))) return -1;
    }
    return Finish(&filter, bits);
}

i32 QR_DecodeByte(QR_BITS *bits, i32 versionCode) {
    if (bits == nullptr) return -1;
    i32 count = 0;
    const i32 status = ReadCount(bits, kModeByte, versionCode, &count);
    if (status <= 0) return status;
    PercentFilter filter = MakePercentFilter();
    for (; count > 0; --count) {
        if (bits->left < 8) return RanOut(&filter);
        if (!filter.Put(static_cast<u8>(QR_TakeBits(bits, 8)))) return -1;
    }
    return Finish(&filter, bits);
}

i32 QR_DecodeKanji(QR_BITS *bits, i32 versionCode) {
    if (bits == nullptr) return -1;
    i32 count = 0;
    const i32 status = ReadCount(bits, kModeKanji, versionCode, &count);
    if (status <= 0) return status;
    for (; count > 0; --count) {
        if (bits->left < 13) return 0;
        const i32 v = QR_TakeBits(bits, 13);
        i32 t = (v / 0xC0) * 256 + v % 0xC0;
        t += t < 0x1EBD ? 0x8140 : 0xC140;
        if (!TextFits(2)) return -1;
        AppendByte(static_cast<u8>(t >> 8));
        AppendByte(static_cast<u8>(t & 0xFF));
    }
    return bits->left;
}

i32 QR_DecodeHanzi(QR_BITS *bits, i32 versionCode) {
    if (bits == nullptr) return -1;
    if (QR_CountBits(kModeHanzi, versionCode) < 0) return -1;
    if (bits->left < 4) return 0;
    if (QR_TakeBits(bits, 4) != 1) return -1;  // GB 2312 is the only subset
    i32 count = 0;
    const i32 status = ReadCount(bits, kModeHanzi, versionCode, &count);
    if (status <= 0) return status;
    for (; count > 0; --count) {
        if (bits->left < 13) return 0;
        const i32 v = QR_TakeBits(bits, 13);
        const i32 h = v / 0x60;
        const i32 l = v % 0x60;
        if (h == 85 || l > 93) return -1;
        if (!TextFits(2)) return -1;
        AppendByte(static_cast<u8>(h < 10 ? h + 0xA1 : h + 0xA6));
        AppendByte(static_cast<u8>(l + 0xA1));
    }
    return bits->left;
}

i32 QR_DecodeEci(QR_BITS *bits) {
    if (bits == nullptr) return -1;
    g_qrSymbol.eciSeen = 1;
    if (bits->left < 8) return 0;
    const i32 first = QR_PeekBits(bits, 8);
    i32 value = 0;
    if ((first & 0x80) == 0) {
        value = QR_TakeBits(bits, 8);
    } else if ((first & 0xC0) == 0x80) {
        if (bits->left < 16) return 0;
        value = QR_TakeBits(bits, 16) & 0x3FFF;
    } else if ((first & 0xE0) == 0xC0) {
        if (bits->left < 24) return 0;
        value = QR_TakeBits(bits, 24) & 0x1FFFFF;
    } else {
        return -1;
    }
    if (value > kMaxEciValue || !TextFits(7)) return -1;
    AppendByte('\\');
    AppendDigits(value, 6);
    return bits->left;
}

i32 QR_SetFnc1First() {
    if (g_qrData.length != 0) return -1;
    g_qrSymbol.fnc1Mode = 1;
    return 0;
}

i32 QR_DecodeFnc1Second(QR_BITS *bits) {
    if (bits == nullptr) return -1;
    if (g_qrData.length != 0) return -1;
    g_qrSymbol.fnc1Mode = 2;
    if (bits->left < 8) return 0;
    const i32 a = QR_TakeBits(bits, 8);
    if (a < 100) return AppendDigits(a, 2) ? bits->left : -1;
    const i32 letter = a - 100;
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (!isLetter) return -1;
    return AppendByte(static_cast<u8>(letter)) ? bits->left : -1;
}

i32 QR_ReadStructuredAppend(QR_BITS *bits) {
    if (bits == nullptr) return -1;
    if (bits->left < 16) {
        bits->left -= 16;
        return bits->left;
    }
    const i32 position = QR_TakeBits(bits, 8);
    const i32 parity = QR_TakeBits(bits, 8);
    if (g_qrSymbol.sa != nullptr) {
        g_qrSymbol.sa->index = position >> 4;
        g_qrSymbol.sa->count = (position & 15) + 1;
        g_qrSymbol.sa->parity = parity;
        g_qrSymbol.sa->present = 1;
    }
    return bits->left;
}

i32 QR_CheckDataHeader(QR_BITS *bits) {
    if (bits == nullptr) return -1;
    const i32 mode = g_qrData.headerMode & 0xFF;
    if (mode == 255 && (bits->left < 8 || QR_PeekBits(bits, 8) != 0xFF)) return -1;
    if (mode == 254) {
        const i32 expected = (g_qrData.headerMode >> 8) & 0xFF;
        if (bits->left < 16 || QR_PeekBits(bits, 8) != 0xFE || QR_PeekBits(bits, 16) != (0xFE00 | expected)) {
            return -1;
        }
        QR_TakeBits(bits, 16);
        return bits->left;
    }
    if (bits->left >= 16 && QR_PeekBits(bits, 16) == 0xFFE9) {
        if (!TextFits(7)) return -1;
        for (const u8 c : kDataHeaderPrefix) AppendByte(c);
        QR_TakeBits(bits, 16);
    }
    if (mode == 255) {
        if (bits->left < 8) return -1;
        QR_TakeBits(bits, 8);
    }
    return bits->left;
}

// ---- AIM identifier.

void QR_SetAimModifier() {
    if (g_qrSymbol.kind == kQrKindModel1) {
        g_qrAimModifier = '0';
        return;
    }
    const i32 fnc1 = g_qrSymbol.fnc1Mode;
    if (g_qrSymbol.eciSeen == 1) {
        g_qrAimModifier = fnc1 == 1 ? '4' : fnc1 == 2 ? '6' : '2';
    } else {
        g_qrAimModifier = fnc1 == 1 ? '3' : fnc1 == 2 ? '5' : '1';
    }
}

void QR_WriteAimId(u8 *out) {
    if (out == nullptr) return;
    out[0] = ']';
    out[1] = 'Q';
    out[2] = g_qrAimModifier;
}

void QR_StoreHeaderMode(i32 mode) { g_qrData.headerMode = mode; }

}  // namespace vexo
