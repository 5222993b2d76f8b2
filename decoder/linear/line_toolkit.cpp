#include "linear/line_toolkit.h"

#include <cstring>

#include "core/params.h"

namespace vexo {

i32 lineCleanRead;
u16 lineMultiReadFlags;

int Line_IsMultiReadPending() { return (lineMultiReadFlags & kMultiReadPending) != 0 ? 1 : 0; }
int Line_IsMultiReadConfirmed() { return (lineMultiReadFlags & kMultiReadConfirmed) != 0 ? 1 : 0; }

void Line_EmptyHistory(LINE_READ_HISTORY *h) { *h = LINE_READ_HISTORY{}; }

i16 Line_FindInTable(const i32 *table, u16 count, i32 key) {
    if (table == nullptr) return -1;
    const u16 n = count < 0x7FFF ? count : 0x7FFF;
    for (u16 i = 0; i < n; ++i)
        if (table[i] == key) return static_cast<i16>(i);
    return -1;
}

namespace {

// A DataBar character group spans at most 19 modules; the bound keeps every product and
// sum below in 32 bits.
constexpr i32 kDataBarMaxModules = 32;

// n over r by alternating multiplication and division (exact at every step).
i32 Combinations(i32 n, i32 r) {
    const i32 minDenom = n - r > r ? r : n - r;
    const i32 maxDenom = n - r > r ? n - r : r;
    i32 value = 1;
    i32 j = 1;
    for (i32 i = n; i > maxDenom; --i) {
        value *= i;
        if (j <= minDenom) value /= j++;
    }
    for (; j <= minDenom; ++j) value /= j;
    return value;
}

// Combinations of the remaining modules over the remaining elements when the element at
// `element` takes `width` modules, as ISO/IEC 24724 counts them; `narrow` says whether a
// narrow element stands at or before it.
i32 CombinationsBelow(i32 n, i32 elements, i32 element, i32 width, i32 maxWidth, bool noNarrow, bool narrow) {
    const i32 left = elements - element;  // elements from this one on
    i32 sub = Combinations(n - width - 1, left - 2);
    if (!noNarrow && !narrow && n - width - (left - 1) >= left - 1)
        sub -= Combinations(n - width - left, left - 2);
    if (left - 1 > 1) {
        i32 less = 0;
        for (i32 widest = n - width - (left - 2); widest > maxWidth; --widest)
            less += Combinations(n - width - widest - 1, left - 3);
        sub -= less * (left - 1);
    } else if (n - width > maxWidth) {
        --sub;
    }
    return sub;
}

}  // namespace

int Line_DataBarValue(const i32 *widths, int elements, int maxWidth, int noNarrow) {
    if (widths == nullptr || elements < 1 || elements > 8 || maxWidth < 1) return -1;
    i32 n = 0;
    for (int i = 0; i < elements; ++i) {
        if (widths[i] < 1 || widths[i] > kDataBarMaxModules) return -1;
        n += widths[i];
    }
    if (n > kDataBarMaxModules) return -1;
    i32 value = 0;
    bool narrowSeen = false;
    for (int element = 0; element < elements - 1; ++element) {
        for (i32 width = 1; width < widths[element]; ++width)
            value += CombinationsBelow(n, elements, element, width, maxWidth, noNarrow != 0, narrowSeen || width == 1);
        narrowSeen = narrowSeen || widths[element] == 1;
        n -= widths[element];
    }
    return value;
}

namespace {

// The 2h widths from a guess of the first one, the pair sums and the total, then shifted
// so that the narrowest element of the given parity (at most cap) is 1 module.
void PairsToWidths(const i32 *pairs, i32 *widths, int total, int h, i32 firstGuess, int parity, i32 cap) {
    if ((pairs == nullptr && h > 1) || widths == nullptr || h < 1) return;
    widths[0] = firstGuess;
    i32 sum = widths[0];
    for (int i = 0; i <= 2 * h - 3; ++i) {
        widths[i + 1] = pairs[i] - widths[i];
        sum += widths[i + 1];
    }
    widths[2 * h - 1] = total - sum;
    i32 narrowest = cap;
    for (int i = parity; i < 2 * h; i += 2) narrowest = widths[i] < narrowest ? widths[i] : narrowest;
    if (narrowest < 2) return;
    for (int i = 0; i < 2 * h; ++i) widths[i] += (i % 2 == parity) ? 1 - narrowest : narrowest - 1;
}

}  // namespace

void Line_PairsToWidthsOdd(const i32 *pairs, i32 *widths, int total, int halfCount) {
    PairsToWidths(pairs, widths, total, halfCount, 1, 1, 10);
}

void Line_PairsToWidthsEven(const i32 *pairs, i32 *widths, int total, int halfCount) {
    PairsToWidths(pairs, widths, total, halfCount, 8, 0, 8);
}

namespace {

// (10 - (sum mod 10)) mod 10 of the digits weighted alternately, the rightmost with `last`.
u16 WeightedCheckDigit(const u8 *digits, u16 count, i32 last, i32 other) {
    i32 sum = 0;
    for (u16 i = 0; i < count; ++i) sum += digits[count - 1 - i] * ((i % 2 == 0) ? last : other);
    return static_cast<u16>((10 - sum % 10) % 10);
}

}  // namespace

int Line_Gs1CheckDigit(const u8 *digits, u16 count) {
    if (digits == nullptr) return -1;
    return count == 0 ? 0 : WeightedCheckDigit(digits, count, 3, 1);
}

u16 Line_CheckDigitMod10(const u8 *digits, u16 count) {
    return digits == nullptr || count == 0 ? 0 : WeightedCheckDigit(digits, count, 3, 1);
}

u16 Line_CheckDigitWeights49(const u8 *digits, u16 count) {
    return digits == nullptr || count == 0 ? 0 : WeightedCheckDigit(digits, count, 4, 9);
}

int Line_IsLengthAllowed(u16 length, u16 a, u16 b) {
    if (length == 0) return 0;
    if (a < b) return a <= length && length <= b ? 1 : 0;
    return length == a || length == b ? 1 : 0;
}

int Line_RefuseLength(LINE_DECODE_CTX *ctx, u16 length, u32 flags) {
    if (Line_IsLengthAllowed(length, static_cast<u16>(flags & kMinLengthMask), static_cast<u16>((flags & kMaxLengthMask) >> 8)) != 0) {
        return 0;
    }
    ctx->errorCode = kLineErrorLength;
    return 1;
}

int Line_TextEquals(const u8 *x, const u8 *y, u16 count) {
    if (count == 0) return 1;
    if (x == nullptr || y == nullptr) return 0;
    return std::memcmp(x, y, count) == 0 ? 1 : 0;
}

int Line_ConfirmRead(const u8 *text, u16 length, u8 *historyFlags, u8 *stored, u16 *storedLength, u8 required) {
    if (length > kLineHistoryTextBytes || (length > 0 && text == nullptr)) return 0;
    u8 &held = historyFlags[0];
    u8 &equalCount = historyFlags[1];
    if (held != 0 && *storedLength == length && Line_TextEquals(text, stored, length)) {
        if (equalCount < 0xFF) ++equalCount;
        return equalCount >= required ? 1 : 0;
    }
    std::memset(stored, 0, kLineHistoryTextBytes);
    if (length > 0) std::memcpy(stored, text, length);
    *storedLength = length;
    held = 1;
    equalCount = 0;
    return 0;
}

int Line_AcceptRead(LINE_READ_HISTORY *h, const u8 *text, u16 length) {
    if (lineCleanRead == 1) {
        const bool same = h->storedLength == length && Line_TextEquals(text, h->text, length);
        if (same)
            lineMultiReadFlags |= kMultiReadConfirmed;
        else
            lineMultiReadFlags &= static_cast<u16>(~(kMultiReadConfirmed | kMultiReadPending));
        Line_EmptyHistory(h);
        return 1;
    }
    lineMultiReadFlags |= kMultiReadPending;
    if (Line_ConfirmRead(text, length, &h->held, h->text, &h->storedLength, kLineReadsRequired) == 0) return 0;
    Line_EmptyHistory(h);
    lineMultiReadFlags &= static_cast<u16>(~kMultiReadPending);
    lineMultiReadFlags |= kMultiReadConfirmed;
    return 1;
}

}  // namespace vexo
