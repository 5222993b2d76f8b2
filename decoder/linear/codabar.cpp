#include "linear/codabar.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/width_reader.h"

namespace vexo {

// Codabar patterns (the symbology standard's character table), seven elements bar
// first, N = 1 and W = 2: 0-9, - $ : / . +, A B C D.
constexpr i32 kCodabarKeys[kCodabarValues] = {
    0x1111122, 0x1111221, 0x1112112, 0x2211111, 0x1121121, 0x2111121, 0x1211112, 0x1211211,  // 0-7
    0x1221111, 0x2112111, 0x1112211, 0x1122111, 0x2111212, 0x2121112, 0x2121211, 0x1121212,  // 8 9 - $ : / . +
    0x1122121, 0x1212112, 0x1112122, 0x1112221,                                              // A B C D
};
static_assert(sizeof kCodabarKeys / sizeof kCodabarKeys[0] == 20);

// One bar and one space wide (five), three bars, and one bar with two spaces (the letters).
constexpr u8 kCodabarCandidateList[kCodabarCandidates] = {0x44, 0x70, 0x42, 0x24, 0x22, 0x46, 0x26};
static_assert(sizeof kCodabarCandidateList == 7);

constexpr char kCodabarChars[33] = "0123456789-$:/.+ABCDTN*Eabcdtn*e";

LINE_READ_HISTORY g_codabarHistory;
u8 g_codabarStopLetter;

namespace {

constexpr u8 kLocateBlock[5] = {24, 24, 8, 22, 5};
constexpr int kStride = 8;
constexpr i32 kCodeTypeCodabar = 26;

u32 Flags() { return g_params.flagsWord[kSymCodabar]; }

// x and y within k: min x k >= max x 100.
bool Near(i32 x, i32 y, i32 k) { return (x < y ? x : y) * k >= (x < y ? y : x) * 100; }

// Tolerances of the letter rules: the start, the stop, and the reversed stop's D case.
struct LetterRule {
    i32 aB1B3, aB1B4;        // A: b1 against b3 and b4
    i32 dB1B2, dB1B4, dB2B4; // D
    i32 bcB1B2, bcB1B3, bcB2B3;
    bool stop;               // the stop's extra conditions on the wide bar
};

constexpr LetterRule kStartRule = {140, 140, 140, 140, 140, 150, 150, 150, false};
constexpr LetterRule kStopRule = {155, 155, 150, 155, 140, 150, 155, 150, true};
constexpr LetterRule kStopReversedRule = {155, 155, 140, 155, 150, 150, 155, 150, true};

// The letter value of b1 s1 b2 s2 b3 s3 b4 (w[0..6]), 0 for none.
u8 Letter(const i32 *w, const LetterRule &r) {
    const i32 b1 = w[0], s1 = w[1], b2 = w[2], s2 = w[3], b3 = w[4], s3 = w[5], b4 = w[6];
    const bool spacesA = 5 * s1 < 4 * s2 && 5 * s1 < 4 * s3 && Near(s2, s3, 140);
    const bool spacesCD = 13 * s1 < 10 * s2 && 13 * s1 < 10 * s3 && Near(s2, s3, 140);
    const bool onlyB2 = (r.stop ? 13 * b1 < 10 * b2 : 5 * b1 < 4 * b2) && 6 * b3 < 5 * b2 &&
                        (r.stop ? 6 * b4 < 5 * b2 : 5 * b4 < 4 * b2);
    if (onlyB2) return Near(b1, b3, r.aB1B3) && Near(b1, b4, r.aB1B4) && Near(b3, b4, 140) && spacesA ? 16 : 0;
    const bool onlyB3 = 5 * b1 < 4 * b3 && 5 * b2 < 4 * b3 && (r.stop ? 6 * b4 < 5 * b3 : 5 * b4 < 4 * b3);
    if (onlyB3) return Near(b1, b2, r.dB1B2) && Near(b1, b4, r.dB1B4) && Near(b2, b4, r.dB2B4) && spacesCD ? 19 : 0;
    const bool onlyB4 = 5 * b1 < 4 * b4 && 6 * b2 < 5 * b4 && 6 * b3 < 5 * b4 && Near(b1, b2, r.bcB1B2) &&
                        Near(b1, b3, r.bcB1B3) && Near(b2, b3, r.bcB2B3);
    if (!onlyB4) return 0;
    if (5 * s3 < 4 * s1 && 5 * s3 < 4 * s2 && Near(s1, s2, 140)) return 17;
    return spacesCD ? 18 : 0;
}

// Widths of the seven elements in reading order: forward from p[base] upwards, reversed
// from p[base + 1] downwards.
void Seven(const u16 *p, int base, int dir, i32 *w) {
    for (int k = 0; k < 7; ++k) {
        const int a = dir > 0 ? base + k : base - k;
        w[k] = static_cast<i32>(p[a + 1]) - p[a];
    }
}

u8 MinMax(const u16 *w, int first, bool widest) {
    u8 best = static_cast<u8>(first);
    for (int k = first; k < 7; k += 2)
        if (widest ? w[k] > w[best] : w[k] < w[best]) best = static_cast<u8>(k);
    return best;
}

}  // namespace

int Codabar_MatchStart(const u16 *edge, u16 *letter) {
    i32 w[7];
    Seven(edge, 0, 1, w);
    const u8 v = Letter(w, kStartRule);
    if (v != 0 && letter != nullptr) *letter = v;
    return v != 0 ? 1 : 0;
}

int Codabar_MatchStartReversed(const u16 *edge, u16 *letter) {
    i32 w[7];
    Seven(edge, 0, -1, w);
    const u8 v = Letter(w, kStartRule);
    if (v != 0 && letter != nullptr) *letter = v;
    return v != 0 ? 1 : 0;
}

int Codabar_MatchStop(const u16 *edge) {
    i32 w[7];
    Seven(edge, -6, 1, w);
    const u8 v = Letter(w, kStopRule);
    if (v != 0) g_codabarStopLetter = v;
    return v != 0 ? 1 : 0;
}

int Codabar_MatchStopReversed(const u16 *edge) {
    i32 w[7];
    Seven(edge, 6, -1, w);
    const u8 v = Letter(w, kStopReversedRule);
    if (v != 0) g_codabarStopLetter = v;
    return v != 0 ? 1 : 0;
}

void Codabar_Reset() { Line_EmptyHistory(&g_codabarHistory); }

int Codabar_IsEnabled() { return (Flags() & kFlagEnabled) != 0 ? 1 : 0; }

int Codabar_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStopAlt(state, kLocateBlock, &Codabar_MatchStart, &Codabar_MatchStartReversed,
                                 &Codabar_MatchStopReversed, &Codabar_MatchStop);
}

int Codabar_SetStartReferences(const LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->edgesBase == nullptr) return 0;
    const u16 letter = ctx->locateValue;
    if (letter < 16 || letter > 19) return 0;
    const i16 d = ctx->direction < 0 ? -1 : 1;
    const i32 p = ctx->startIndex;
    const i32 available = p >= ctx->edgeCount ? 0 : (d > 0 ? ctx->edgeCount - p : p + 1);
    if (available < 9) return 0;
    const u16 *e = &ctx->edgesBase[p];
    WIDTH_CHAR &c = g_widthReader.current;
    c = WIDTH_CHAR{};
    c.elementCount = 7;
    for (int k = 0; k < 7; ++k) {
        const i32 w = static_cast<i32>(e[(k + 1) * d]) - e[k * d];
        c.widths[k] = static_cast<u16>(w < 0 ? -w : w);
    }
    c.acceptedKey = static_cast<u32>(kCodabarKeys[letter]);
    c.acceptedValue = letter;
    Line_UnpackKey(c.acceptedKey, c.classes, 7, 4);
    // A reference bar in the outer bar's place and a reference space before the character.
    const int bar = letter == 16 ? 6 : letter == 17 ? 4 : 2;
    const int space = letter <= 17 ? 5 : 3;
    c.widths[0] = c.widths[bar];
    c.leadWidth = c.widths[space];
    c.leadClass = c.classes[space];
    const u16 gap = static_cast<u16>(e[7 * d] > e[8 * d] ? e[7 * d] - e[8 * d] : e[8 * d] - e[7 * d]);
    c.trailWidth = gap;
    const u32 s1 = c.widths[1], s2 = c.widths[3], s3 = c.widths[5];
    const u32 mid = letter == 17 ? (s3 + (s1 + s2) / 2) / 2 : (s1 + (s2 + s3) / 2) / 2;
    c.trailClass = gap > mid ? 2 : 1;
    return 1;
}

int Codabar_CheckMod16(const u8 *values, u16 length) {
    if (values == nullptr || length < 3) return 0;
    u32 sum = 0;
    for (u16 k = 0; k < length; ++k) sum += values[k];
    const u8 check = values[length - 2];
    return (16 - (sum - check) % 16) % 16 == check ? 1 : 0;
}

u16 Codabar_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 23 || ctx->capacity < edges / kStride) return 0;
    lineCleanRead = 1;
    WIDTH_REFS refs{};
    if (Codabar_SetStartReferences(ctx) == 0) return 0;
    const u8 hint = g_widthReader.current.trailClass;
    Line_SetWidthTolerances(18, 30, 6, 20, 5, 50, 3, 4);
    WIDTH_READER_SETUP setup;
    Line_InitWidthReader(&setup, kSymCodabar, 0, 0, 4, 3, kCodabarKeys, kCodabarValues, 4, kCodabarCandidateList, 0, 5);
    const i16 d = ctx->direction < 0 ? -1 : 1;
    auto edgesFrom = [ctx, d](i32 at) -> i32 {
        const i32 p = ctx->startIndex + at * d;
        return p < 0 || p >= ctx->edgeCount ? 0 : (d > 0 ? ctx->edgeCount - p : p + 1);
    };
    auto load = [ctx, d, hint, &edgesFrom](i32 at) {
        const i32 available = edgesFrom(at);
        return available > 0 && Line_LoadCharWidths(&ctx->edgesBase[ctx->startIndex + at * d], d, 7, hint, available) == 1;
    };
    u16 count = 0;
    ctx->data[count++] = static_cast<u8>(ctx->locateValue);
    const u16 *e = &ctx->edgesBase[ctx->startIndex];
    const i32 span = e[7 * d] > e[0] ? e[7 * d] - e[0] : e[0] - e[7 * d];
    const bool large = (span + 6) / 12 >= 32;
    i32 at = kStride;
    if (large) {
        if (!load(at)) return 0;
        const WIDTH_CHAR &c = g_widthReader.current;
        const u8 nb = MinMax(c.widths, 0, false), wb = MinMax(c.widths, 0, true);
        const u8 ns = MinMax(c.widths, 1, false), ws = MinMax(c.widths, 1, true);
        refs = WIDTH_REFS{static_cast<u16>(10 * c.widths[nb]), static_cast<u16>(10 * c.widths[wb]),
                          static_cast<u16>(10 * c.widths[ns]), static_cast<u16>(10 * c.widths[ws]), 0, 0,
                          static_cast<u16>(c.widths[wb] - c.widths[nb]), static_cast<u16>(c.widths[ws] - c.widths[ns])};
        if (Line_ReadWidthChar(&refs, &setup) == 0) return 0;
        ctx->data[count++] = static_cast<u8>(g_widthReader.current.acceptedValue);
        at += kStride;
    }
    for (; at < edges - 1; at += kStride) {
        if (large && count + 1 == edges / kStride) {
            if (count >= ctx->capacity) return 0;
            ctx->data[count++] = g_codabarStopLetter;
            break;
        }
        if (Line_UpdateReferences(&refs, 1) == 0) return 0;
        g_widthReader.previous = g_widthReader.current;
        if (ctx->option3 != 0) {
            const u32 size = ctx->option2 == 1 ? refs.narrowSpace + refs.wideBar + 3u * refs.narrowBar + 2u * refs.wideSpace
                                               : (refs.narrowBar + refs.narrowSpace) / 2u;
            if (ctx->option3 * size < 10u * g_widthReader.previous.trailWidth) return 0;
        }
        if (!load(at)) return 0;
        if (at + kStride >= edges) {
            // The stop: what follows it is the quiet zone.
            WIDTH_CHAR &c = g_widthReader.current;
            c.trailWidth = c.widths[3];
            c.trailClass = 2;
            g_widthReader.tolerances[kWidthLoose] = 0;
            setup.endCandidate = kCodabarCandidates;
        }
        if (Line_ReadWidthChar(&refs, &setup) == 0 || count >= ctx->capacity) return 0;
        ctx->data[count++] = static_cast<u8>(g_widthReader.current.acceptedValue);
    }
    if (count < 2 || ctx->data[count - 1] < kCodabarLetterA) return 0;
    if (Line_AcceptRead(&g_codabarHistory, ctx->data, count) == 0) return 0;
    ctx->length = count;
    return count;
}

int Codabar_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u8 *v = ctx->data;
    u16 len = ctx->length;
    if (len <= 3) return 0;
    for (u16 k = 0; k < len; ++k)
        if (v[k] >= kCodabarValues) return 0;
    const u32 flags = Flags();
    ctx->aimLetter = 'F';
    char modifier = '0';
    if ((flags & kFlagVerifyCheck) != 0) {
        if (Codabar_CheckMod16(v, len) == 0) {
            ctx->errorCode = kLineErrorCheck;
            return 0;
        }
        modifier = '2';
        if ((flags & kFlagTransmitCheck) == 0) {
            v[len - 2] = v[len - 1];
            --len;
            modifier = '4';
        }
    }
    if ((flags & kFlagStripStartStop) != 0) {
        for (u16 k = 0; k + 2 < len; ++k) v[k] = v[k + 1];
        len = static_cast<u16>(len - 2);
    } else {
        const u32 style = (flags & kCodabarStyleMask) >> kCodabarStyleShift;
        if ((style & 2) != 0) v[0] = static_cast<u8>(v[0] + 8);
        v[len - 1] = static_cast<u8>(v[len - 1] + 4 * style);
    }
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    for (u16 k = 0; k < len; ++k) v[k] = static_cast<u8>(kCodabarChars[v[k]]);
    ctx->length = len;
    ctx->aimModifier = modifier;
    ctx->symbologyId = kSymCodabar;
    g_state.lastSymbologyCode = kCodeTypeCodabar;
    return 1;
}

}  // namespace vexo
