#include "linear/code128.h"

#include <initializer_list>

#include "core/params.h"
#include "linear/line_edge_reader.h"
#include "linear/line_search.h"
#include "linear/line_toolkit.h"

namespace vexo {

CODE128_STATE g_code128;

// Bar and space widths in modules of the symbol characters 0..105 and the stop (ISO/IEC 15417,
// table of symbol character patterns), one hex digit an element.
constexpr u32 kCode128Patterns[kCode128Values + 1] = {
    0x212222, 0x222122, 0x222221, 0x121223, 0x121322, 0x131222, 0x122213, 0x122312,  // 0
    0x132212, 0x221213, 0x221312, 0x231212, 0x112232, 0x122132, 0x122231, 0x113222,  // 8
    0x123122, 0x123221, 0x223211, 0x221132, 0x221231, 0x213212, 0x223112, 0x312131,  // 16
    0x311222, 0x321122, 0x321221, 0x312212, 0x322112, 0x322211, 0x212123, 0x212321,  // 24
    0x232121, 0x111323, 0x131123, 0x131321, 0x112313, 0x132113, 0x132311, 0x211313,  // 32
    0x231113, 0x231311, 0x112133, 0x112331, 0x132131, 0x113123, 0x113321, 0x133121,  // 40
    0x313121, 0x211331, 0x231131, 0x213113, 0x213311, 0x213131, 0x311123, 0x311321,  // 48
    0x331121, 0x312113, 0x312311, 0x332111, 0x314111, 0x221411, 0x431111, 0x111224,  // 56
    0x111422, 0x121124, 0x121421, 0x141122, 0x141221, 0x112214, 0x112412, 0x122114,  // 64
    0x122411, 0x142112, 0x142211, 0x241211, 0x221114, 0x413111, 0x241112, 0x134111,  // 72
    0x111242, 0x121142, 0x121241, 0x114212, 0x124112, 0x124211, 0x411212, 0x421112,  // 80
    0x421211, 0x212141, 0x214121, 0x412121, 0x111143, 0x111341, 0x131141, 0x114113,  // 88
    0x114311, 0x411113, 0x411311, 0x113141, 0x114131, 0x311141, 0x411131, 0x211412,  // 96
    0x211214, 0x211232, 0x2331112,  // 104
    0,
};
static_assert(sizeof kCode128Patterns / sizeof kCode128Patterns[0] == 108);

// Derived from the patterns above: sums of neighbouring elements, one hex digit each.
constexpr u32 kCode128PairKeys[kCode128Values + 1] = {
    0x33444, 0x44334, 0x44443, 0x33345, 0x33454, 0x44344, 0x34434, 0x34543,  // 0
    0x45433, 0x43334, 0x43443, 0x54333, 0x23455, 0x34345, 0x34454, 0x24544,  // 8
    0x35434, 0x35543, 0x45532, 0x43245, 0x43354, 0x34533, 0x45423, 0x43344,  // 16
    0x42344, 0x53234, 0x53343, 0x43433, 0x54323, 0x54432, 0x33335, 0x33553,  // 24
    0x55333, 0x22455, 0x44235, 0x44453, 0x23544, 0x45324, 0x45542, 0x32444,  // 32
    0x54224, 0x54442, 0x23346, 0x23564, 0x45344, 0x24435, 0x24653, 0x46433,  // 40
    0x44433, 0x32464, 0x54244, 0x34424, 0x34642, 0x34444, 0x42235, 0x42453,  // 48
    0x64233, 0x43324, 0x43542, 0x65322, 0x45522, 0x43552, 0x74222, 0x22346,  // 56
    0x22564, 0x33236, 0x33563, 0x55234, 0x55343, 0x23435, 0x23653, 0x34325,  // 64
    0x34652, 0x56323, 0x56432, 0x65332, 0x43225, 0x54422, 0x65223, 0x47522,  // 72
    0x22366, 0x33256, 0x33365, 0x25633, 0x36523, 0x36632, 0x52333, 0x63223,  // 80
    0x63332, 0x33355, 0x35533, 0x53333, 0x22257, 0x22475, 0x44255, 0x25524,  // 88
    0x25742, 0x52224, 0x52442, 0x24455, 0x25544, 0x42255, 0x52244, 0x32553,  // 96
    0x32335, 0x32355, 0x564223,  // 104
    0,
};
static_assert(sizeof kCode128PairKeys / sizeof kCode128PairKeys[0] == 108);

namespace {

// Thresholds of the character reader for Code 128.
constexpr u16 kCode128Params[8] = {450, 600, 50, 120, 120, 750, 10, 40};
constexpr u32 kStopReadBackward = 0x111332;  // the stop's first six elements, last first
constexpr int kValueSlots = kCode128MaxCount + 4;

u16 Distance(u16 a, u16 b) { return static_cast<u16>(a > b ? a - b : b - a); }

bool InRange(u32 t, u32 lo, u32 hi) { return lo <= t && t <= hi; }

// The scratch pair sums in 1/128 module: the first six widths make one 11-module character.
void ScaledPairs(int pairs, u32 *t) {
    u32 sum = 0;
    for (int k = 0; k < 6; ++k) sum += g_code128.elementWidth[k];
    const u64 q = sum != 0 ? 5767168u / sum : 0;
    for (int k = 0; k < pairs; ++k) t[k] = static_cast<u32>((q * g_code128.pairSum[k]) >> 12);
}

// Widths of `count` elements from edge, stepping by d, into the scratch.
void MeasureInto(const u16 *edge, int d, int count) {
    for (int k = 0; k < count; ++k) g_code128.elementWidth[k] = Distance(edge[k * d], edge[(k + 1) * d]);
    for (int k = 0; k + 1 < count; ++k)
        g_code128.pairSum[k] = static_cast<u16>(g_code128.elementWidth[k] + g_code128.elementWidth[k + 1]);
}

// Width k (1-based) of the scratch.
u16 W(int k) { return g_code128.elementWidth[k - 1]; }

// Two width estimates of one character agree within a factor of two.
bool Agree(i32 a, i32 b) {
    const i32 diff = a > b ? a - b : b - a;
    return diff * 2 <= (a > b ? a : b);
}

// The 13-module stop scaled to one 11-module character.
i32 StopAsCharacter(i32 span) { return (span * 110 + 65) / 130; }

}  // namespace

void Code128_Reset() {
    CODE128_STATE &s = g_code128;
    for (CODE128_VOTE &v : s.votes) v = CODE128_VOTE{};
    s.expectedCount = 0;
    s.startFound = 0;
    s.stopFound = 0;
    s.direction = 0;
}

int Code128_IsEnabled() {
    for (const int id : {kSymCode128, kSymGs1128, kSymCode128Fnc1Second, kSymCode128Form0})
        if ((g_params.flagsWord[id] & kFlagEnabled) != 0) return 1;
    return 0;
}

u16 Code128_ClassifyStart() {
    u32 t[5];
    ScaledPairs(5, t);
    if (!InRange(t[0], 282, 486) || !InRange(t[1], 154, 358)) return 0;
    if (InRange(t[2], 538, 742) && InRange(t[3], 538, 742) && InRange(t[4], 283, 485)) return 103;
    if (!InRange(t[2], 283, 485)) return 0;
    if (InRange(t[3], 283, 485)) return InRange(t[4], 538, 742) ? 104 : 0;
    return InRange(t[3], 538, 742) && InRange(t[4], 538, 742) ? 105 : 0;
}

int Code128_MatchStart(const u16 *edge, u16 *startValue, int direction) {
    const int d = direction < 0 ? -1 : 1;
    MeasureInto(edge, d, 6);
    const u16 w1 = W(1), w2 = W(2), w3 = W(3), w4 = W(4), w5 = W(5), w6 = W(6);
    const bool shape = (w5 <= w1 && w3 < w1 && w2 < w6 && w2 < w4 && w4 != w6) ||
                       (w3 < w1 && w1 < w5 && w3 < w5 && w2 < w4 && w2 < w6);
    if (!shape) return 0;
    const u16 value = Code128_ClassifyStart();
    g_code128.startValue = value;
    if (value == 0) return 0;
    if (startValue != nullptr) *startValue = value;
    return 1;
}

int Code128_ClassifyStop() {
    u32 t[6];
    ScaledPairs(6, t);
    return InRange(t[0], 537, 742) && InRange(t[1], 666, 870) && InRange(t[2], 410, 614) &&
                   InRange(t[3], 154, 358) && InRange(t[4], 154, 358) && InRange(t[5], 154, 614)
               ? 1
               : 0;
}

int Code128_MatchStop(const u16 *edge, int direction) {
    const int d = direction < 0 ? -1 : 1;
    MeasureInto(edge - 7 * d, d, 7);  // from the stop's first bar to its final bar's outer edge
    const u16 w1 = W(1), w2 = W(2), w3 = W(3), w4 = W(4), w5 = W(5), w6 = W(6), w7 = W(7);
    const bool shape = w5 < w3 && w5 < w1 && w1 < w3 && w7 < w5 + w3 && w6 < w2 && w4 < w2;
    return shape ? Code128_ClassifyStop() : 0;
}

int Code128_Locate(LINE_LOCATE_STATE *state) {
    CODE128_STATE &s = g_code128;
    s.partialMode = 0;
    LINE_LOCATE_STATE copy = *state;
    const int found = Line_FindStartStopByPairs(&copy, Code128_MatchStart, Code128_MatchStop, 26);
    // An exhausted search stays exhausted: keeping its place only saves the rescan.
    state->phase = copy.phase;
    state->searchPos = copy.searchPos;
    if (found == 1) {
        s.startFound = 1;
        s.stopFound = 1;
        *state = copy;
        return 1;
    }
    if (state->found == 1) return 0;
    s.partialMode = 1;
    return Code128_LocatePartial(state);
}

int Code128_LocatePartial(LINE_LOCATE_STATE *state) {
    CODE128_STATE &s = g_code128;
    s.startFound = 0;
    s.stopFound = 0;
    s.direction = 0;
    const i32 n = state->edges != nullptr ? state->edgeCount : 0;
    if (n <= 7) return 0;
    const u16 *e = state->edges;
    auto span = [e](i32 from, i32 to) { return static_cast<i32>(e[to]) - static_cast<i32>(e[from]); };

    i32 estimate = 0;
    i32 left = 0;
    bool leftStop = false;
    bool leftStart = false;
    // Neither guard fits once fewer than seven edges are left, nor may the quiet test read
    // beyond the last edge.
    for (i32 i = 0; i + 6 < n; i += 2) {
        if (i >= 2 && span(i - 2, i) <= span(i, i + 6)) continue;
        if (i + 7 < n && Code128_MatchStop(&e[i], -1) != 0) {
            state->endIndex = static_cast<u16>(i);
            state->startIndex = static_cast<u16>(n - 1);
            s.stopFound = 1;
            s.direction = -1;
            estimate = StopAsCharacter(span(i, i + 7));
            leftStop = true;
        } else if (Code128_MatchStart(&e[i], &state->locateValue, 1) != 0) {
            state->startIndex = static_cast<u16>(i);
            state->endIndex = static_cast<u16>(n - 1);
            s.startFound = 1;
            s.direction = 1;
            estimate = span(i, i + 6);
            leftStart = true;
        } else {
            continue;
        }
        left = i;
        break;
    }

    bool right = false;
    for (i32 k = (n % 2 == 0) ? n - 1 : n - 2; k > left && k > 6; k -= 2) {
        const bool quiet = k + 2 >= n || span(k, k + 2) > span(k - 6, k);
        if (k >= 8 && !leftStop) {
            if (!quiet) continue;
            if (Code128_MatchStop(&e[k], 1) != 0) {
                const i32 w2 = StopAsCharacter(span(k - 7, k));
                if (estimate != 0 && !Agree(estimate, w2)) continue;
                state->endIndex = static_cast<u16>(k);
                if (!leftStart) state->startIndex = 0;
                s.stopFound = 1;
                s.direction = 1;
                right = true;
                break;
            }
        }
        if (leftStart || !quiet) continue;
        u16 value = 0;
        if (Code128_MatchStart(&e[k], &value, -1) == 0) continue;
        if (estimate != 0 && !Agree(estimate, span(k - 6, k))) continue;
        state->locateValue = value;
        state->startIndex = static_cast<u16>(k);
        if (!leftStop) state->endIndex = 0;
        s.startFound = 1;
        s.direction = -1;
        right = true;
        break;
    }
    if (!right && !leftStart && !leftStop) return 0;
    state->nextPos = static_cast<u16>(n);
    return 1;
}

int Code128_CheckValues(const u8 *values, int n) {
    if (n < 2) return 0;
    u32 sum = values[0];
    for (int i = 1; i <= n - 2; ++i) sum += static_cast<u32>(i) * values[i];
    return values[n - 1] == sum % 103 ? 1 : 0;
}

namespace {

bool OnLine(i32 index, i32 n) { return index >= 0 && index < n; }

// The two candidates of a position change places (value, votes and marginal flag).
void SwapCandidates(CODE128_VOTE &e) {
    const CODE128_VOTE o = e;
    e.value1 = o.value2, e.votes1 = o.votes2, e.marginal1 = o.marginal2;
    e.value2 = o.value1, e.votes2 = o.votes1, e.marginal2 = o.marginal1;
}

// The next group of characters from the anchor: m elements (even, at most avail) spanning j
// characters of width W, within 12 %; a group two elements longer that fits better wins.
// 1 found, 0 no group within the elements, -1 a group longer than maxJ characters.
int FindGroup(const u16 *e, i32 n, i32 anchor, int step, i32 avail, u32 W, int maxJ, i32 *m, int *j, u32 *D) {
    if (W == 0 || !OnLine(anchor, n)) return 0;
    auto deviation = [W](u32 d, int chars) {
        const i64 v = static_cast<i64>(d) - static_cast<i64>(chars) * W;
        return v < 0 ? -v : v;
    };
    const i64 tolerance = 12 * static_cast<i64>(W);
    int chars = 1;
    for (i32 k = 2; k <= avail; k += 2) {
        const i32 to = anchor + k * step;
        if (!OnLine(to, n)) return 0;
        u32 d = Distance(e[anchor], e[to]);
        const i64 dev = deviation(d, chars);
        if (dev * 100 <= tolerance) {
            const i32 further = anchor + (k + 2) * step;
            if (k + 2 <= avail && OnLine(further, n) && deviation(Distance(e[anchor], e[further]), chars) < dev) {
                k += 2;
                d = Distance(e[anchor], e[further]);
            }
            *m = k;
            *j = chars;
            *D = d;
            return 1;
        }
        if (d > static_cast<u64>(chars) * W) {
            if (chars >= maxJ) return -1;
            ++chars;
        }
    }
    return 0;
}

}  // namespace

int Code128_SkipDamaged(const u16 *edges, u16 edgeCount, i32 *anchor, i32 *remaining, int step, u32 W,
                        int *position) {
    int skipped = 0;
    // Every round consumes at least two elements or ends.
    while (*remaining > 2) {
        i32 m = 0;
        int j = 0;
        u32 d = 0;
        if (FindGroup(edges, edgeCount, *anchor, step, *remaining - 1, W, 2, &m, &j, &d) != 1) return 0;
        if (m == 6 && j == 1) {
            *position += skipped;
            return 1;
        }
        skipped += j;
        *remaining -= m;
        *anchor += m * step;
        if (skipped > 2) return 0;
    }
    return 0;
}

int Code128_CountCharacters(const LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->edgesBase == nullptr) return 0;
    const u16 *e = ctx->edgesBase;
    const i32 n = ctx->edgeCount;
    const int s = ctx->direction < 0 ? -1 : 1;
    const i32 start = ctx->startIndex;
    const i32 end = ctx->endIndex;
    i32 avail = (start > end ? start - end : end - start) - 6;
    i32 anchor = start + 6 * s;
    if (avail < 3 || !OnLine(anchor, n) || !OnLine(end, n)) return 0;
    u32 W = Distance(e[start], e[anchor]);
    int count = 0;
    while (avail >= 2) {
        i32 m = 0;
        int j = 0;
        u32 d = 0;
        const int r = FindGroup(e, n, anchor, s, avail, W, 3, &m, &j, &d);
        if (r < 0) return 0;
        if (r == 0) break;
        count += j;
        W = d / static_cast<u32>(j);
        anchor += m * s;
        avail -= m;
    }
    return anchor + s == end ? count : 0;
}

int Code128_ReadCharacters(const LINE_DECODE_CTX *ctx, int forward, u16 elementCount, u8 *values, u8 *marginal) {
    for (int i = 0; i < kValueSlots; ++i) values[i] = kCode128Unknown;
    for (int i = 0; i < kCode128MaxCount; ++i) marginal[i] = 0;
    const u16 *e = ctx->edgesBase;
    const i32 n = ctx->edgeCount;
    if (e == nullptr) return 0;
    const int lineDir = ctx->direction < 0 ? -1 : 1;
    const int s = forward != 0 ? lineDir : -lineDir;
    EDGE_READER_STATE &r = g_edgeReader;
    i32 anchor = 0;
    i32 rem = 0;
    int pos = 0;
    if (forward != 0) {
        const i32 start = ctx->startIndex;
        const u16 v = ctx->locateValue;
        if (!OnLine(start, n) || !OnLine(start + 6 * s, n) || v >= kCode128Values) return 0;
        Line_LoadSixWidths(&e[start], static_cast<i16>(s), 6);
        r.acceptedValue = v;
        r.acceptedPattern = kCode128Patterns[v];
        values[0] = static_cast<u8>(v);
        anchor = start + 6 * s;
        rem = static_cast<i32>(elementCount) - 6;
        pos = 1;
    } else {
        const i32 end = ctx->endIndex;
        if (!OnLine(end, n) || !OnLine(end + 7 * s, n)) return 0;
        Line_LoadSixWidths(&e[end + s], static_cast<i16>(s), 6);
        r.acceptedPattern = kStopReadBackward;
        anchor = end + 7 * s;
        rem = static_cast<i32>(elementCount) - 7;
    }
    u8 level = 5;
    // A read ends at the largest count decode accepts, so that no position leaves the arrays
    // or the vote table.
    while (rem >= 7 && pos < kCode128MaxCount) {
        const EDGE_READER_STATE kept = r;
        if (g_code128.partialMode != 0) {
            if (Code128_SkipDamaged(e, static_cast<u16>(n), &anchor, &rem, s, kept.totalWidth, &pos) != 1 || rem < 7 ||
                pos >= kCode128MaxCount)
                break;
        }
        if (!OnLine(anchor - s, n) || !OnLine(anchor + 6 * s, n)) break;
        const u16 before = Distance(e[anchor - s], e[anchor]);
        Line_LoadSixWidths(&e[anchor], static_cast<i16>(s), 6);
        rem -= 6;
        const u32 unit = ((static_cast<u32>(r.totalWidth) + kept.totalWidth) * 470u) >> 10;
        // The element after the symbol's last character is not on a line that ends there: it
        // stands for the quiet zone.
        const u16 after = OnLine(anchor + 7 * s, n) ? Distance(e[anchor + 6 * s], e[anchor + 7 * s])
                                                    : static_cast<u16>(unit * 4 / 10);
        Line_SetSixFrame(before, after, static_cast<u16>(unit));
        lineCleanRead = 1;
        if (Line_ReadSixChar(static_cast<u16>(unit), &level, kCode128Patterns, kCode128PairKeys, kCode128Values,
                             forward) == 1) {
            values[pos] = static_cast<u8>(r.acceptedValue);
            marginal[pos] = lineCleanRead == 0 ? 1 : 0;
        } else {
            r = kept;
        }
        ++pos;
        anchor += 6 * s;
    }
    return pos;
}

void Code128_AddVotes(const u8 *values, const u8 *marginal, int first, int n, int step) {
    for (int i = 0; i < n; ++i) {
        const int at = first + i * step;
        const u8 v = values[i];
        if (v == kCode128Unknown || at < 0 || at >= kCode128VotePositions) continue;
        const u8 mark = marginal[i] != 0 ? 1 : 0;
        CODE128_VOTE &e = g_code128.votes[at];
        if (e.votes1 == 0) {
            e.value1 = v;
            e.votes1 = 1;
            e.marginal1 = mark;
        } else if (v == e.value1) {
            if (e.votes1 < 255) ++e.votes1;
            e.marginal1 |= mark;
        } else if (e.votes2 != 0 && v == e.value2) {
            if (e.votes2 < 255) ++e.votes2;
            e.marginal2 |= mark;
            if (e.votes2 >= e.votes1) SwapCandidates(e);
        } else {
            e.value2 = v;
            e.votes2 = 1;
            e.marginal2 = mark;
        }
    }
}

namespace {

void MergeCandidate(CODE128_VOTE &e, u8 v, u8 count, u8 mark) {
    if (e.votes1 != 0 && v == e.value1) {
        e.votes1 = static_cast<u8>(e.votes1 + count > 255 ? 255 : e.votes1 + count);
        if (mark == 0) e.marginal1 = 0;
    } else if (e.votes2 != 0 && v == e.value2) {
        e.votes2 = static_cast<u8>(e.votes2 + count > 255 ? 255 : e.votes2 + count);
        if (mark == 0) e.marginal2 = 0;
    } else if (e.votes1 < count) {
        e.value2 = e.value1, e.votes2 = e.votes1, e.marginal2 = e.marginal1;
        e.value1 = v, e.votes1 = count, e.marginal1 = mark;
    } else if (e.votes2 < count) {
        e.value2 = v, e.votes2 = count, e.marginal2 = mark;
        return;
    }
    if (e.votes1 < e.votes2) SwapCandidates(e);
}

}  // namespace

void Code128_MergeVotes(int count) {
    if (count < 1 || count > kCode128MaxCount) return;
    for (int i = 0; i < count; ++i) {
        const CODE128_VOTE &top = g_code128.votes[kCode128VotePositions - count + i];
        if (top.votes1 == 0) continue;
        MergeCandidate(g_code128.votes[i], top.value1, top.votes1, top.marginal1);
        if (top.votes2 != 0) MergeCandidate(g_code128.votes[i], top.value2, top.votes2, top.marginal2);
    }
}

namespace {

// Copies n values (the check value last) into the caller's buffer; the count delivered
// leaves the check value out. 0 when the buffer cannot hold them.
u16 Deliver(LINE_DECODE_CTX *ctx, const u8 *values, int n) {
    if (ctx->data == nullptr || n < 2 || n > ctx->capacity) return 0;
    for (int i = 0; i < n; ++i) ctx->data[i] = values[i];
    ctx->length = static_cast<u16>(n - 1);
    return static_cast<u16>(n - 1);
}

// A whole line read forward: delivered when every value is known and clean and the check
// holds (answer > 0); -1 when the read goes on to the votes with *entered positions.
int AcceptWholeLine(LINE_DECODE_CTX *ctx, const u8 *val, const u8 *marginal, int n, int *entered) {
    CODE128_STATE &s = g_code128;
    *entered = n;
    if (s.partialMode != 0 || n != s.expectedCount) return -1;
    for (int i = 0; i < n; ++i)
        if (val[i] == kCode128Unknown || marginal[i] != 0) return -1;
    if (Code128_CheckValues(val, n) == 0) {
        *entered = n - 1;  // the failed check value stays out of the votes
        return -1;
    }
    bool same = s.votes[0].votes1 != 0;
    for (int i = 0; i < n && same; ++i) same = s.votes[i].votes1 != 0 && s.votes[i].value1 == val[i];
    if (same) {
        lineMultiReadFlags |= kMultiReadConfirmed;
    } else {
        lineMultiReadFlags &= static_cast<u16>(~(kMultiReadConfirmed | kMultiReadPending));
    }
    const u16 delivered = Deliver(ctx, val, n);
    Code128_Reset();
    return delivered;
}

}  // namespace

u16 Code128_DeliverVotes(LINE_DECODE_CTX *ctx) {
    CODE128_STATE &s = g_code128;
    const int c = s.expectedCount;
    if (c < 2 || c > kCode128MaxCount) return 0;
    u8 cand[kCode128MaxCount];
    for (int i = 0; i < c; ++i) {
        const CODE128_VOTE &v = s.votes[i];
        if (v.votes1 < 2 || v.votes1 <= 2 * v.votes2 || (v.marginal1 != 0 && v.votes1 < 4)) return 0;
        cand[i] = v.value1;
    }
    if (Code128_CheckValues(cand, c) == 0) return 0;
    const u16 delivered = Deliver(ctx, cand, c);
    if (delivered == 0) return 0;
    lineMultiReadFlags = static_cast<u16>((lineMultiReadFlags & ~kMultiReadPending) | kMultiReadConfirmed);
    Code128_Reset();
    return delivered;
}

namespace {

// Step 4: the read from the start. 1 delivered (*out set), 0 nothing more on this line,
// -1 go on.
int ReadForward(LINE_DECODE_CTX *ctx, u16 *out) {
    CODE128_STATE &s = g_code128;
    u16 count = 0;
    if (s.stopFound != 0) {
        const u16 span = Distance(ctx->startIndex, ctx->endIndex);
        count = span > 6 ? static_cast<u16>(span - 6) : 0;
    } else {
        count = ctx->direction <= 0 ? static_cast<u16>(ctx->startIndex + 1)
                                    : static_cast<u16>(ctx->edgeCount - ctx->startIndex);
    }
    u8 val[kValueSlots];
    u8 marginal[kCode128MaxCount];
    const int n = Code128_ReadCharacters(ctx, 1, count, val, marginal);
    int m = n;
    const int whole = AcceptWholeLine(ctx, val, marginal, n, &m);
    if (whole >= 0) {
        *out = static_cast<u16>(whole);
        return 1;
    }
    if (m > s.expectedCount && s.expectedCount != 0) {
        Code128_Reset();
        return 0;
    }
    if (m > 0) {
        if (m > 10) lineMultiReadFlags |= kMultiReadPending;
        Code128_AddVotes(val, marginal, 0, m, 1);
    }
    return -1;
}

// Step 5: the read from the stop. 0 nothing more on this line, -1 go on.
int ReadBackward(LINE_DECODE_CTX *ctx) {
    CODE128_STATE &s = g_code128;
    u16 count = 0;
    if (s.startFound != 0) {
        count = static_cast<u16>(Distance(ctx->startIndex, ctx->endIndex) + 1);
    } else {
        count = ctx->direction <= 0 ? static_cast<u16>(ctx->edgeCount - ctx->endIndex)
                                    : static_cast<u16>(ctx->endIndex + 1);
    }
    u8 val[kValueSlots];
    u8 marginal[kCode128MaxCount];
    const int n = Code128_ReadCharacters(ctx, 0, count, val, marginal);
    int first = 0;
    if (s.expectedCount != 0) {
        if (n > s.expectedCount) {
            Code128_Reset();
            return 0;
        }
        if (n == 0) return -1;
        first = s.expectedCount - 1;
    } else {
        if (n == 0) return 0;
        first = kCode128VotePositions - 1;
    }
    if (n > 10) lineMultiReadFlags |= kMultiReadPending;
    Code128_AddVotes(val, marginal, first, n, -1);
    return -1;
}

}  // namespace

u16 Code128_Decode(LINE_DECODE_CTX *ctx) {
    CODE128_STATE &s = g_code128;
    for (int i = 0; i < 8; ++i) g_edgeReaderParams[i] = kCode128Params[i];
    if (ctx == nullptr || (s.startFound == 0 && s.stopFound == 0)) return 0;
    if (s.partialMode != 0) ctx->direction = s.direction < 0 ? -1 : 1;
    if (s.startFound != 0 && s.stopFound != 0) {
        const int c = s.partialMode != 0 ? Code128_CountCharacters(ctx) : (ctx->elementCount - 2) / 6 - 1;
        if (c < 2 || c > kCode128MaxCount) return 0;
        if (s.expectedCount == 0) {
            s.expectedCount = static_cast<u16>(c);
            Code128_MergeVotes(c);
        } else if (s.expectedCount != c) {
            Code128_Reset();
            return 0;
        }
        lineMultiReadFlags |= kMultiReadPending;
    }
    if (s.startFound != 0) {
        u16 delivered = 0;
        const int r = ReadForward(ctx, &delivered);
        if (r >= 0) return delivered;
    }
    if (s.stopFound != 0 && ReadBackward(ctx) == 0) return 0;
    return s.expectedCount != 0 ? Code128_DeliverVotes(ctx) : 0;
}

}  // namespace vexo
