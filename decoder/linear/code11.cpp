#include "linear/code11.h"

#include "core/params.h"
#include "core/state.h"
#include "linear/line_search.h"
#include "linear/line_toolkit.h"

namespace vexo {

// Code 11 patterns (the symbology's character table), five elements bar first, N = 1 and
// W = 2: 0-9, the dash, start/stop.
constexpr i32 kCode11Keys[kCode11Values] = {
    0x11112, 0x21112, 0x12112, 0x22111, 0x11212, 0x21211,  // 0-5
    0x12211, 0x11122, 0x21121, 0x21111, 0x11211, 0x11221,  // 6-9, dash, start/stop
};
static_assert(sizeof kCode11Keys / sizeof kCode11Keys[0] == 12);

// Bits 4-2 the bars from the widest, bits 1-0 the spaces from the wider: widest bar and
// wider space, two widest bars, widest bar alone, second bar and wider space.
constexpr u8 kCode11CandidateList[kCode11Candidates] = {0x12, 0x18, 0x10, 0x0A};
static_assert(sizeof kCode11CandidateList == 4);

namespace {

constexpr u8 kLocateBlock[5] = {30, 30, 6, 28, 6};
constexpr i32 kCodeTypeCode11 = 39;
constexpr char kCode11Chars[] = "0123456789-";
constexpr int kElements = 5;
constexpr i32 kNoError = 0x7FFFFFFF;

u32 Flags() { return g_params.flagsWord[kSymCode11]; }

bool IsOneWide(i32 value) { return value == 0 || value == 9 || value == kCode11Dash; }

i32 W(const u16 *p, int k) { return static_cast<i32>(p[k + 1]) - static_cast<i32>(p[k]); }

// N N W W N in reading order w[0..4]: the start's test.
bool StartShape(i32 w0, i32 w1, i32 w2, i32 w3, i32 w4) { return w4 < w2 && w2 >= w0 && w1 < w3; }
// N W W N N in line order (a start or stop read backwards).
bool ReversedShape(i32 w0, i32 w1, i32 w2, i32 w3, i32 w4) { return w4 < w2 && w2 >= w0 && w3 < w1; }

// One candidate's fit: its error, the plain deviation sum, and whether the one-wide fit gave it.
struct Code11Fit {
    i32 error = kNoError;
    i32 secondary = kNoError;
    bool oneWide = false;
    WIDTH_REFS refs{};
};

WIDTH_RECORD CharRecord(const WIDTH_CHAR &c, const u8 *classes) {
    WIDTH_RECORD r{};
    r.count = kElements;
    r.classes[0] = c.leadClass;
    r.classes[kElements + 1] = c.trailClass;
    r.widths[0] = c.leadWidth;
    r.widths[kElements + 1] = c.trailWidth;
    for (int k = 0; k < kElements; ++k) {
        r.widths[k + 1] = c.widths[k];
        r.classes[k + 1] = classes[k];
    }
    return r;
}

// References from the record's own classes, its spread applied unless it exceeds 40 % of
// the uncorrected wide-minus-narrow difference. false when they cannot be made.
bool OwnReferences(WIDTH_RECORD *r, WIDTH_REFS *out) {
    WIDTH_REFS raw{};
    if (Line_RecomputeReferences(r, &raw) == 0) return false;
    WIDTH_REFS spread{};
    Line_EstimateSpread(r, &spread);
    if (4 * raw.barDifference < 10 * spread.spreadA || 4 * raw.spaceDifference < 10 * spread.spreadB) {
        spread.spreadA = 0;
        spread.spreadB = 0;
    }
    if ((spread.spreadA != 0 || spread.spreadB != 0) && Line_CorrectWidths(r, spread.spreadA, spread.spreadB) == 0)
        return false;
    *out = WIDTH_REFS{};
    if (Line_RecomputeReferences(r, out) == 0) return false;
    out->spreadA = spread.spreadA;
    out->spreadB = spread.spreadB;
    return true;
}

Code11Fit Score(const WIDTH_RECORD &r, const WIDTH_REFS &refs, bool oneWide) {
    Code11Fit f;
    f.error = Line_ScoreWidths(&r, &refs, &f.secondary);
    f.oneWide = oneWide;
    f.refs = refs;
    return f;
}

// Classes of a candidate mask over the ranked elements (order: bars widest first, then spaces).
void MaskClasses(const u8 *order, u8 mask, u8 *classes) {
    for (int j = 0; j < kElements; ++j) classes[order[j]] = ((mask >> (kElements - 1 - j)) & 1) != 0 ? 2 : 1;
}

// The first character's one-wide fit: the lone wide bar (record slot bar) is taken as its two
// neighbours together for the references, then scored with its measured width.
Code11Fit FirstOneWideFit(WIDTH_RECORD r, int bar) {
    const i32 measured = r.widths[bar];
    r.widths[bar] = r.widths[bar - 1] + r.widths[bar + 1];
    WIDTH_REFS refs{};
    if (!OwnReferences(&r, &refs)) return Code11Fit{};
    r.widths[bar] = measured;
    return Score(r, refs, true);
}

// A later character's one-wide fit against the running references.
Code11Fit NextOneWideFit(WIDTH_RECORD r, const WIDTH_REFS &refs, int bar, i32 reference) {
    const i32 measured = r.widths[bar];
    if ((refs.spreadA != 0 || refs.spreadB != 0) && Line_CorrectWidths(&r, refs.spreadA, refs.spreadB) == 0)
        return Code11Fit{};
    r.widths[bar] = measured;
    WIDTH_REFS use = refs;
    use.wideBar = static_cast<u16>(reference * 10 > 0xFFFF ? 0xFFFF : reference * 10);
    return Score(r, use, true);
}

Code11Fit NextFit(WIDTH_RECORD r, const WIDTH_REFS &refs) {
    if ((refs.spreadA != 0 || refs.spreadB != 0) && Line_CorrectWidths(&r, refs.spreadA, refs.spreadB) == 0)
        return Code11Fit{};
    return Score(r, refs, false);
}

// Step 6: a narrow element at least as wide as a wide one of its kind refuses the read.
bool ClassesConsistent(const u16 *widths, const u8 *classes) {
    for (int w = 0; w < kElements; ++w) {
        if (classes[w] != 2) continue;
        for (int k = w & 1; k < kElements; k += 2)
            if (classes[k] == 1 && widths[k] >= widths[w]) return false;
    }
    return true;
}

// One fitted candidate as the pick keeps it.
struct Code11Choice {
    i32 error = kNoError;
    i32 secondary = kNoError;
    i32 value = -1;
    bool oneWide = false;
    u8 classes[kElements] = {};
    WIDTH_REFS refs{};

    void Take(const Code11Fit &f, i32 v, const u8 *c) {
        error = f.error;
        secondary = f.secondary;
        value = v;
        oneWide = f.oneWide;
        refs = f.refs;
        for (int k = 0; k < kElements; ++k) classes[k] = c[k];
    }
};

// The best and second-best errors over all candidates, and the stored read: the candidate
// with the smallest error below 14.
struct Code11Pick {
    Code11Choice best, stored;
    i32 secondError = kNoError;

    void Add(const Code11Fit &f, i32 value, const u8 *classes) {
        if (f.error == kNoError) return;
        if (f.error < best.error) {
            secondError = best.error;
            best.Take(f, value, classes);
        } else if (f.error < secondError) {
            secondError = f.error;
        }
        if (f.error < 14 && f.error < stored.error) stored.Take(f, value, classes);
    }
    i32 Margin() const { return secondError == kNoError ? kNoError : secondError - best.error; }
};

// Stores the accepted read in the reader state after the class test of step 6.
int Accept(i32 value, const u8 *classes, bool fromOneWide, int *oneWide) {
    WIDTH_CHAR &ch = g_widthReader.current;
    if (!ClassesConsistent(ch.widths, classes)) return 0;
    ch.acceptedValue = static_cast<u16>(value);
    ch.acceptedKey = static_cast<u32>(kCode11Keys[value]);
    for (int k = 0; k < kElements; ++k) ch.classes[k] = classes[k];
    if (fromOneWide && IsOneWide(value) && oneWide != nullptr) *oneWide = 1;
    return 1;
}

// Slot of the first bar whose class is wide (1, 3 or 5 in a record), 0 for none.
int WideBarSlot(const u8 *classes) {
    for (int k = 0; k < kElements; k += 2)
        if (classes[k] == 2) return k + 1;
    return 0;
}

}  // namespace

int Code11_MatchStart(const u16 *edge, u16 *) {
    return StartShape(W(edge, 0), W(edge, 1), W(edge, 2), W(edge, 3), W(edge, 4)) ? 1 : 0;
}
int Code11_MatchStop(const u16 *edge) {
    return StartShape(W(edge, -4), W(edge, -3), W(edge, -2), W(edge, -1), W(edge, 0)) ? 1 : 0;
}
int Code11_MatchStartReversed(const u16 *edge, u16 *) {
    return ReversedShape(W(edge, -4), W(edge, -3), W(edge, -2), W(edge, -1), W(edge, 0)) ? 1 : 0;
}
int Code11_MatchStopReversed(const u16 *edge) {
    return ReversedShape(W(edge, 0), W(edge, 1), W(edge, 2), W(edge, 3), W(edge, 4)) ? 1 : 0;
}

int Code11_IsEnabled() { return (Flags() & kFlagEnabled) != 0 ? 1 : 0; }

int Code11_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr) return 0;
    return Line_FindStartStopAlt(state, kLocateBlock, &Code11_MatchStart, &Code11_MatchStartReversed,
                                 &Code11_MatchStopReversed, &Code11_MatchStop);
}

int Code11_ReadFirst(WIDTH_REFS *refs, int *oneWide) {
    const WIDTH_CHAR &ch = g_widthReader.current;
    if (refs == nullptr || ch.elementCount != kElements) return 0;
    u8 order[kElements];
    Line_RankElements(ch.widths, kElements, order);
    Code11Pick pick;
    for (u8 mask : kCode11CandidateList) {
        u8 classes[kElements];
        MaskClasses(order, mask, classes);
        const i32 key = (classes[0] << 16) | (classes[1] << 12) | (classes[2] << 8) | (classes[3] << 4) | classes[4];
        const i32 value = Line_FindInTable(kCode11Keys, kCode11Values, key);
        if (value < 0 || value == kCode11StartStop) continue;
        WIDTH_RECORD r = CharRecord(ch, classes);
        WIDTH_RECORD own = r;
        WIDTH_REFS use{};
        Code11Fit fit = OwnReferences(&own, &use) ? Score(own, use, false) : Code11Fit{};
        if (IsOneWide(value)) {
            // A tie goes to the one-wide fit: the plain fit of a lone wide bar against
            // references made from itself is always close.
            const Code11Fit alt = FirstOneWideFit(r, order[0] + 1);
            if (alt.error <= fit.error) fit = alt;
        }
        pick.Add(fit, value, classes);
    }
    if (pick.best.error == kNoError) return 0;
    const i32 margin = pick.Margin();
    if (pick.stored.value >= 0) {
        if (!((margin > 5 && pick.stored.secondary <= 10) || (margin > 29 && pick.stored.secondary < 16))) return 0;
        if (Accept(pick.stored.value, pick.stored.classes, pick.stored.oneWide, oneWide) == 0) return 0;
        *refs = pick.stored.refs;
        return 1;
    }
    // No fit below 14: only a one-wide fit of 0, 9 or the dash may still read.
    if (!(pick.best.oneWide && IsOneWide(pick.best.value))) return 0;
    const i32 e = pick.best.error;
    if (!((e < 26 && margin > 13) || (e >= 26 && e <= 29 && margin > 29))) return 0;
    if (Accept(pick.best.value, pick.best.classes, true, oneWide) == 0) return 0;
    *refs = pick.best.refs;
    return 1;
}

int Code11_ReadNext(WIDTH_REFS *refs, i16 spreadA, i16 spreadB, int *oneWide, u16 reference, int isStop) {
    const WIDTH_CHAR &ch = g_widthReader.current;
    if (refs == nullptr || oneWide == nullptr || ch.elementCount != kElements) return 0;
    WIDTH_REFS stored = *refs;
    stored.spreadA = spreadA;
    stored.spreadB = spreadB;
    u8 order[kElements];
    Line_RankElements(ch.widths, kElements, order);
    const int wideSlot = order[0] + 1;
    const bool afterOneWide = *oneWide != 0 && IsOneWide(g_widthReader.previous.acceptedValue);
    bool hypothesisWon = false;
    Code11Pick pick;
    for (u8 mask : kCode11CandidateList) {
        u8 classes[kElements];
        MaskClasses(order, mask, classes);
        const i32 key = (classes[0] << 16) | (classes[1] << 12) | (classes[2] << 8) | (classes[3] << 4) | classes[4];
        const i32 value = Line_FindInTable(kCode11Keys, kCode11Values, key);
        if (value < 0 || (value == kCode11StartStop && isStop == 0)) continue;
        const WIDTH_RECORD r = CharRecord(ch, classes);
        Code11Fit fit;
        if (hypothesisWon || (*oneWide != 0 && IsOneWide(value))) {
            fit = NextOneWideFit(r, stored, wideSlot, reference);
        } else {
            fit = NextFit(r, stored);
            if (IsOneWide(value)) {
                const Code11Fit alt = NextOneWideFit(r, stored, wideSlot, reference);
                if (alt.error < fit.error) fit = alt;
            }
        }
        hypothesisWon = hypothesisWon || (fit.oneWide && fit.error != kNoError && IsOneWide(value));
        pick.Add(fit, value, classes);
    }
    if (pick.best.error == kNoError) return 0;
    const i32 margin = pick.Margin();
    if (pick.stored.value >= 0) {
        if (margin <= 5 || pick.stored.secondary >= 6) return 0;
        return Accept(pick.stored.value, pick.stored.classes, pick.stored.oneWide, oneWide);
    }
    const i32 e = pick.best.error;
    if (isStop != 0) {
        const i32 secondaryLimit = afterOneWide ? 6 : 5;
        if (pick.best.value != kCode11StartStop || e >= 31 || margin <= 5 || pick.best.secondary >= secondaryLimit) return 0;
        return Accept(pick.best.value, pick.best.classes, false, oneWide);
    }
    if (!(afterOneWide || (pick.best.oneWide && IsOneWide(pick.best.value)))) return 0;
    if (!((e < 26 && margin > 13) || (e >= 26 && e <= 29 && margin > 29))) return 0;
    return Accept(pick.best.value, pick.best.classes, pick.best.oneWide, oneWide);
}

namespace {

// (wideBar - 20 spreadA + 5) / 10: the width a one-wide character's wide bar is given in
// the reader state. 0 when it is not positive.
u16 OneWideSlotWidth(const WIDTH_REFS &refs) {
    const i32 v = (static_cast<i32>(refs.wideBar) - 20 * static_cast<i32>(refs.spreadA) + 5) / 10;
    return v > 0 && v <= 0xFFFF ? static_cast<u16>(v) : 0;
}

// (2 wideBar - narrowBar - 20 spreadA) / 10: the reference handed to the next character.
i32 RunningReference(const WIDTH_REFS &refs) {
    return (2 * static_cast<i32>(refs.wideBar) - static_cast<i32>(refs.narrowBar) - 20 * static_cast<i32>(refs.spreadA)) /
           10;
}

// In one-wide mode after a 0, 9 or dash: the reference moves towards its wide bar (first
// character: takes it), whose slot is rewritten. 0 when the values are not positive.
bool FollowOneWide(const WIDTH_REFS &refs, i32 *reference, bool first) {
    WIDTH_CHAR &c = g_widthReader.current;
    const int slot = WideBarSlot(c.classes);
    if (slot == 0) return *reference > 0;
    const i32 width = c.widths[slot - 1];
    *reference = first ? width : (*reference + width) / 2;
    const u16 rewritten = OneWideSlotWidth(refs);
    if (rewritten == 0 || *reference <= 0) return false;
    c.widths[slot - 1] = rewritten;
    return true;
}

}  // namespace

u16 Code11_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    if (edges <= 17 || edges / 6 > ctx->capacity) return 0;
    WIDTH_REFS refs{};
    if (Line_MeasureStartGiven(ctx, kWidthIdCode11, 0x11221, 4, kElements, 1, kElements) == 0) return 0;
    int oneWide = 0;
    if (Code11_ReadFirst(&refs, &oneWide) == 0) return 0;
    u16 count = 0;
    ctx->data[count++] = static_cast<u8>(g_widthReader.current.acceptedValue);
    const u8 hint = g_widthReader.current.trailClass;
    i32 reference = 0;
    if (oneWide != 0) {
        if (!FollowOneWide(refs, &reference, true)) return 0;
    } else {
        reference = RunningReference(refs);
        if (reference <= 0) return 0;
    }
    const i16 d = ctx->direction < 0 ? -1 : 1;
    i32 at = 2 * (kElements + 1);
    for (i32 r = edges - 13; r >= 5; r -= kElements + 1, at += kElements + 1) {
        const i32 p = ctx->startIndex + at * d;
        if (p < 0 || p >= ctx->edgeCount) return 0;
        const i32 available = d > 0 ? ctx->edgeCount - p : p + 1;
        g_widthReader.previous = g_widthReader.current;
        if (Line_LoadCharWidths(&ctx->edgesBase[p], d, kElements, hint, available) == 0) return 0;
        if (reference > 0xFFFF) return 0;
        if (r == 5) {
            // The stop ends the line: its second element stands in for the gap after it.
            WIDTH_CHAR &c = g_widthReader.current;
            c.trailWidth = c.widths[1];
            c.widths[4] = c.widths[0];
            c.trailClass = 1;
            if (Code11_ReadNext(&refs, refs.spreadA, refs.spreadB, &oneWide, static_cast<u16>(reference), 1) == 0)
                return 0;
            break;
        }
        if (Code11_ReadNext(&refs, refs.spreadA, refs.spreadB, &oneWide, static_cast<u16>(reference), 0) == 0) return 0;
        if (count >= ctx->capacity) return 0;
        const u16 value = g_widthReader.current.acceptedValue;
        ctx->data[count++] = static_cast<u8>(value);
        const bool followed = oneWide != 0 && IsOneWide(value);
        if (followed && !FollowOneWide(refs, &reference, false)) return 0;
        if (Line_UpdateReferences(&refs, 0) == 0) return 0;
        if (!followed) {
            reference = RunningReference(refs);
            if (reference <= 0) return 0;
        }
    }
    ctx->length = count;
    return count;
}

namespace {

// Weighted sum from the rightmost of the first n values, weights 1..maxWeight repeating.
u32 WeightedSum(const char *values, u16 n, u32 maxWeight) {
    u32 sum = 0;
    for (u16 k = 0; k < n; ++k) sum += ((n - 1u - k) % maxWeight + 1u) * static_cast<u8>(values[k]);
    return sum;
}

}  // namespace

u16 Code11_CheckC(const char *values, u16 n) {
    return values == nullptr ? 0 : static_cast<u16>(WeightedSum(values, n, 10) % 11);
}
u16 Code11_CheckK(const char *values, u16 n) {
    return values == nullptr ? 0 : static_cast<u16>(WeightedSum(values, n, 9) % 11);
}
u16 Code11_CheckMod9(const char *values, u16 n) {
    return values == nullptr ? 0 : static_cast<u16>(WeightedSum(values, n, 9) % 9);
}

int Code11_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr) return 0;
    u8 *v = ctx->data;
    u16 len = ctx->length;
    if (len <= 1) return 0;
    for (u16 k = 0; k < len; ++k)
        if (v[k] > kCode11Dash) return 0;
    const u32 flags = Flags();
    const u32 mode = (flags & kCode11CheckMask) >> kCode11CheckShift;
    ctx->aimLetter = 'H';
    char modifier = mode >= 4 ? '1' : '0';
    // Modes 4 and 5 check one digit up to 10 characters, else two (K or mod 9).
    u32 checks = mode == 1 ? 1 : (mode == 2 || mode == 3) ? 2 : (mode == 4 || mode == 5) ? (len <= 10 ? 1 : 2) : 0;
    const bool mod9 = mode == 3 || mode == 5;
    const char *c = reinterpret_cast<const char *>(v);
    if (checks == 2) {
        if (len == 2) return 0;
        const u16 second = mod9 ? Code11_CheckMod9(c, len - 1) : Code11_CheckK(c, len - 1);
        if (Code11_CheckC(c, len - 2) != v[len - 2] || second != v[len - 1]) {
            ctx->errorCode = kLineErrorCheck;
            return 0;
        }
        if (mode == 2 || mode == 3) modifier = '1';
    } else if (checks == 1 && Code11_CheckC(c, len - 1) != v[len - 1]) {
        ctx->errorCode = kLineErrorCheck;
        return 0;
    }
    if (checks != 0 && (flags & kFlagTransmitCheck) == 0) {
        len = static_cast<u16>(len - checks);
        modifier = '3';
    }
    if (Line_RefuseLength(ctx, len, flags) != 0) return 0;
    for (u16 k = 0; k < len; ++k) v[k] = static_cast<u8>(kCode11Chars[v[k]]);
    ctx->length = len;
    ctx->aimModifier = modifier;
    ctx->symbologyId = kSymCode11;
    g_state.lastSymbologyCode = kCodeTypeCode11;
    return 1;
}

}  // namespace vexo
