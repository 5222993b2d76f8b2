#include "linear/code93.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_edge_reader.h"
#include "linear/line_search.h"
#include "linear/line_toolkit.h"

namespace vexo {

// Code 93 character patterns (the symbology standard's character table), module
// counts of bar, space, bar, space, bar, space; the start/stop character is 1 1 1 1 4 1.
constexpr u32 kCode93Patterns[kCode93Values] = {
    0x131112, 0x111213, 0x111312, 0x111411, 0x121113, 0x121212, 0x121311, 0x111114,  // 0
    0x131211, 0x141111, 0x211113, 0x211212, 0x211311, 0x221112, 0x221211, 0x231111,  // 8
    0x112113, 0x112212, 0x112311, 0x122112, 0x132111, 0x111123, 0x111222, 0x111321,  // 16
    0x121122, 0x131121, 0x212112, 0x212211, 0x211122, 0x211221, 0x221121, 0x222111,  // 24
    0x112122, 0x112221, 0x122121, 0x123111, 0x121131, 0x311112, 0x311211, 0x321111,  // 32
    0x112131, 0x113121, 0x211131, 0x121221, 0x312111, 0x311121, 0x122211,            // 40
};
static_assert(sizeof kCode93Patterns / sizeof kCode93Patterns[0] == 47);

// Derived from the patterns above: sums of neighbouring elements.
constexpr u32 kCode93PairKeys[kCode93Values] = {
    0x44223, 0x22334, 0x22443, 0x22552, 0x33224, 0x33333, 0x33442, 0x22225,  // 0
    0x44332, 0x55222, 0x32224, 0x32333, 0x32442, 0x43223, 0x43332, 0x54222,  // 8
    0x23324, 0x23433, 0x23542, 0x34323, 0x45322, 0x22235, 0x22344, 0x22453,  // 16
    0x33234, 0x44233, 0x33323, 0x33432, 0x32234, 0x32343, 0x43233, 0x44322,  // 24
    0x23334, 0x23443, 0x34333, 0x35422, 0x33244, 0x42223, 0x42332, 0x53222,  // 32
    0x23344, 0x24433, 0x32244, 0x33343, 0x43322, 0x42233, 0x34432,           // 40
};
static_assert(sizeof kCode93PairKeys / sizeof kCode93PairKeys[0] == 47);

CODE93_HISTORY g_code93History;

namespace {

constexpr char kCode93Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
static_assert(sizeof kCode93Chars == 44);

constexpr u8 kCode93Id = 22;
constexpr u8 kUnitFactor = 57;  // ten modules of a nine-module character
constexpr i32 kCodeTypeCode93 = 24;
constexpr u16 kParamsChecked[8] = {450, 550, 50, 120, 100, 700, 10, 40};
constexpr u16 kParamsUnchecked[8] = {300, 350, 80, 160, 85, 500, 40, 80};
constexpr u8 kShiftDollar = 43, kShiftPercent = 44, kShiftSlash = 45, kShiftPlus = 46;

u32 Flags() { return g_params.flagsWord[kSymCode93]; }

i32 Span(const u16 *p, int a, int b) {
    const i32 d = static_cast<i32>(p[b]) - static_cast<i32>(p[a]);
    return d < 0 ? -d : d;
}

// Two neighbouring characters of similar width W and V: min(W, V) >= 8 |W - V|.
bool SimilarPair(i32 w, i32 v) {
    const i32 diff = w > v ? w - v : v - w;
    return w > 0 && v > 0 && (w < v ? w : v) >= 8 * diff;
}

// x in modules of a nine-module character of width w, rounded.
i32 Modules(i32 x, i32 w) { return (18 * x + w) / (2 * w); }

// Weighted sum mod 47 of values[0..count-1], weights 1..maxWeight from the right.
int WeightedCheck(const u8 *values, u16 count, int maxWeight) {
    u32 sum = 0;
    int weight = 1;
    for (int k = count - 1; k >= 0; --k) {
        sum += static_cast<u32>(weight) * values[k];
        weight = weight == maxWeight ? 1 : weight + 1;
    }
    return static_cast<int>(sum % 47);
}

// Outcome of a pass that read n values: 1 delivered, 0 stored or refused (history step).
int AcceptPass(const u8 *values, u16 n, bool checked) {
    CODE93_HISTORY &h = g_code93History;
    const bool same = h.storedLength == n && Line_TextEquals(values, h.values, n);
    if (lineCleanRead == 1) {
        if (same)
            lineMultiReadFlags |= kMultiReadConfirmed;
        else
            lineMultiReadFlags &= static_cast<u16>(~(kMultiReadConfirmed | kMultiReadPending));
        Code93_Reset();
        return 1;
    }
    lineMultiReadFlags |= kMultiReadPending;
    if (same && n > 0) {
        if (h.equalCount < 0xFF) ++h.equalCount;
        // Verified reads are confirmed by four equal sightings, unverified ones by two.
        if (checked ? h.equalCount > 3 : h.equalCount < 7) {
            lineMultiReadFlags &= static_cast<u16>(~kMultiReadPending);
            lineMultiReadFlags |= kMultiReadConfirmed;
            Code93_Reset();
            return 1;
        }
        return 0;
    }
    if (n > kCode93MaxValues) return 0;
    for (u16 k = 0; k < n; ++k) h.values[k] = values[k];
    h.storedLength = n;
    h.equalCount = 1;
    return 0;
}

}  // namespace

void Code93_Reset() { g_code93History = CODE93_HISTORY{}; }

int Code93_IsEnabled() { return (Flags() & kFlagEnabled) != 0 ? 1 : 0; }

int Code93_MatchStart(const u16 *edge, u16 *, int direction) {
    const int s = direction < 0 ? -1 : 1;
    const i32 w = Span(edge, 0, 6 * s);
    if (!SimilarPair(w, Span(edge, 6 * s, 12 * s))) return 0;
    auto pair = [&](int k) { return Modules(Span(edge, (k - 1) * s, (k + 1) * s), w); };  // elements k, k + 1
    return pair(1) <= 3 && pair(2) == 2 && pair(3) == 2 && pair(4) > 3 && pair(5) >= 4 ? 1 : 0;
}

int Code93_MatchStop(const u16 *edge, int direction) {
    const int s = direction < 0 ? 1 : -1;  // inwards from the termination bar
    // The stop character itself and the character before it.
    const i32 w = Span(edge, s, 7 * s);
    if (!SimilarPair(w, Span(edge, 7 * s, 13 * s))) return 0;
    auto pair = [&](int j) { return Modules(Span(edge, j * s, (j + 2) * s), w); };
    return pair(0) <= 3 && pair(1) > 3 && pair(2) > 3 && pair(3) == 2 && pair(4) == 2 && pair(5) == 2 ? 1 : 0;
}

int Code93_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStopByPairs(state, &Code93_MatchStart, &Code93_MatchStop, 32);
}

int Code93_CheckCharsOk(const u8 *values, u16 count) {
    if (values == nullptr || count < 2) return 0;
    for (u16 k = 0; k < count; ++k)
        if (values[k] > 46) return 0;
    return WeightedCheck(values, static_cast<u16>(count - 2), 20) == values[count - 2] &&
                   WeightedCheck(values, static_cast<u16>(count - 1), 15) == values[count - 1]
               ? 1
               : 0;
}

u16 Code93_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    ctx->length = 0;
    const i32 characters = (static_cast<i32>(ctx->elementCount) - 2) / 6;
    const i32 n = characters - 2;
    if (n <= 2 || ctx->capacity < n || n > kCode93MaxValues) return 0;
    const bool checked = (Flags() & kFlagVerifyCheck) != 0;
    for (int k = 0; k < 8; ++k) g_edgeReaderParams[k] = checked ? kParamsChecked[k] : kParamsUnchecked[k];
    LINE_DECODE_CTX pass = *ctx;
    for (int firstPass = 1; firstPass >= 0; --firstPass) {
        lineCleanRead = 1;
        pass.length = 0;
        const bool read = Line_ReadSixSymbol(&pass, kCode93Id, kUnitFactor, kCode93Patterns, kCode93PairKeys,
                                             kCode93Values, firstPass) == 1;
        if (read && pass.length == n) {
            // A read from the stop holds the values last to first.
            if (firstPass == 0)
                for (i32 a = 0, b = n - 1; a < b; ++a, --b) {
                    const u8 v = pass.data[a];
                    pass.data[a] = pass.data[b];
                    pass.data[b] = v;
                }
            if (!checked || Code93_CheckCharsOk(pass.data, static_cast<u16>(n)) == 1) {
                // A read that waits for confirmation ends the line; the other direction
                // would only count the same sighting twice.
                if (AcceptPass(pass.data, static_cast<u16>(n), checked) == 0) return 0;
                ctx->direction = pass.direction;
                ctx->length = static_cast<u16>(n);
                return static_cast<u16>(n);
            }
        }
        pass.direction = static_cast<i16>(-pass.direction);
        pass.startIndex = ctx->endIndex;
        pass.endIndex = ctx->startIndex;
    }
    return 0;
}

u16 Code93_ExpandText(u8 *values, u16 n) {
    if (values == nullptr) return 0;
    u16 out = 0;
    for (u16 k = 0; k < n; ++k) {
        const u8 v = values[k];
        if (v > 46) return 0;
        if (v < kShiftDollar) {
            values[out++] = static_cast<u8>(kCode93Chars[v]);
            continue;
        }
        const u8 next = k + 1 < n ? values[k + 1] : 0;
        if (next < 10 || next > 35) continue;  // a shift without a letter is dropped
        const int letter = next - 10;        // 0 for A
        int c = 0;
        switch (v) {
            case kShiftDollar: c = letter + 1; break;
            case kShiftPlus: c = 'a' + letter; break;
            case kShiftSlash: c = next + 23; break;
            case kShiftPercent:
                if (letter <= 4) c = 0x1B + letter;
                else if (letter <= 9) c = ';' + letter - 5;
                else if (letter <= 14) c = '[' + letter - 10;
                else if (letter <= 19) c = '{' + letter - 15;
                else if (letter == 20) c = 0;
                else if (letter == 21) c = '@';
                else if (letter == 22) c = '`';
                else c = 0x7F;
                break;
            default: break;
        }
        values[out++] = static_cast<u8>(c);
        ++k;
    }
    return out;
}

int Code93_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u16 len = ctx->length;
    if (len <= 2) return 0;
    const u32 flags = Flags();
    ctx->aimLetter = 'G';
    ctx->aimModifier = '0';
    if ((flags & kFlagVerifyCheck) != 0 && Code93_CheckCharsOk(ctx->data, len) == 0) {
        ctx->errorCode = kLineErrorCheck;
        return 0;
    }
    // The check characters are always in the symbol; they are text only when asked for.
    if ((flags & kFlagTransmitCheck) == 0) len = static_cast<u16>(len - 2);
    len = Code93_ExpandText(ctx->data, len);
    if (len == 0) return 0;
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    ctx->length = len;
    ctx->symbologyId = kSymCode93;
    g_state.lastSymbologyCode = kCodeTypeCode93;
    return 1;
}

}  // namespace vexo
