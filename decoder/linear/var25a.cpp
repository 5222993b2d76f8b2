#include "core/params.h"
#include "linear/line_toolkit.h"
#include "linear/two_of_five.h"
#include "linear/var25a_fixed8.h"

namespace vexo {

WIDTH_GROUP g_var25aBars;
WIDTH_GROUP g_var25aSpaces;

namespace {

constexpr i32 kMinGap = 204;          // 0.2 of the wider class
constexpr i32 kMaxEdges = 256;
constexpr i32 kMinEdges = 20;
constexpr i32 kAhead = 18;            // edges a search position needs after it
constexpr i32 kCharElements = 6;      // five elements and the gap after them
constexpr i32 kStartElements = 4;
constexpr i32 kLocateSteps = 4096;    // more than any line holds characters and phases

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i32 Max(i32 a, i32 b) { return a > b ? a : b; }

// a and b differ by less than half of the larger.
bool WithinHalf(i32 a, i32 b) { return Abs(a - b) * 1024 < 512 * Max(a, b); }

void ClearResults(WIDTH_GROUP *g) {
    g->pattern = 0;
    g->gap = 0;
    g->meanWide = 0;
    g->meanNarrow = 0;
}

// Number of wide elements by the widest relative gap between neighbours in width order;
// -1 when a split's wider element is 0 wide.
i32 BestSplit(WIDTH_GROUP *g, const i16 *idx) {
    i32 best = 0, wide = 0;
    for (i32 s = g->count - 1; s >= 1; --s) {
        const i32 larger = g->widths[idx[s - 1]], smaller = g->widths[idx[s]];
        if (larger == 0) return -1;
        const i32 gap = (larger - smaller) * 1024 / larger;
        if (gap >= g->minGap && 3 * gap > 2 * best) {
            best = gap;
            wide = s;
        }
    }
    g->gap = static_cast<u16>(best);
    return wide;
}

u32 PatternOf(const WIDTH_GROUP *g, const i16 *idx, i32 wide) {
    u8 cls[8];
    for (i32 k = 0; k < g->count; ++k) cls[k] = 1;
    for (i32 k = 0; k < wide; ++k) cls[idx[k]] = 2;
    u32 pattern = 0;
    for (i32 k = 0; k < g->count; ++k) pattern = (pattern << 4) | cls[k];
    return pattern;
}

int SplitClasses(WIDTH_GROUP *g, const i16 *idx, i32 wide) {
    i32 sum = 0;
    for (i32 k = 0; k < wide; ++k) sum += g->widths[idx[k]];
    const i32 mw = sum / wide;
    if (g->refWide != 0 && !WithinHalf(mw, g->refWide)) return 0;
    if (g->refNarrow != 0 && (mw - g->refNarrow) * 1024 < 204 * mw) return 0;
    sum = 0;
    for (i32 k = wide; k < g->count; ++k) sum += g->widths[idx[k]];
    const i32 rest = g->count - wide;
    const i32 mn = rest > 0 ? sum / rest : 0;
    if (g->refWide != 0 && (g->refWide - mn) * 1024 < 204 * g->refWide) return 0;
    if (g->refNarrow != 0 && !WithinHalf(mn, g->refNarrow)) return 0;
    g->meanWide = static_cast<u16>(mw);
    g->meanNarrow = static_cast<u16>(mn);
    g->pattern = PatternOf(g, idx, wide);
    return 1;
}

// All elements in one class, told narrow or wide by the references alone.
int OneClass(WIDTH_GROUP *g) {
    i32 sum = 0;
    for (i32 k = 0; k < g->count; ++k) sum += g->widths[k];
    const i32 u = sum / g->count;
    const i32 rw = g->refWide, rn = g->refNarrow;
    bool narrow = rn != 0 && (u <= rn || (u - rn) * 1024 <= 203 * u);
    if (!narrow && rw != 0 && (rw - u) * 1024 >= 410 * rw) narrow = true;
    u32 pattern = 0;
    if (narrow) {
        if (rw != 0 && (rw - u) * 1024 < 204 * rw) return 0;
        if (rn != 0 && !WithinHalf(u, rn)) return 0;
        g->meanNarrow = static_cast<u16>(u);
        for (i32 k = 0; k < g->count; ++k) pattern = (pattern << 4) | 1;
    } else {
        if (rw != 0 && (u - rw) * 1024 >= 410 * u) return 0;
        g->meanWide = static_cast<u16>(u);
        for (i32 k = 0; k < g->count; ++k) pattern = (pattern << 4) | 2;
    }
    g->pattern = pattern;
    return 1;
}

// Width of element k counted from edge s in direction d, or -1 outside the n edges.
i32 ElementAt(const u16 *e, i32 n, i32 s, i32 d, i32 k) {
    const i32 a = s + k * d, b = s + (k + 1) * d;
    if (a < 0 || b < 0 || a >= n || b >= n) return -1;
    return Abs(static_cast<i32>(e[b]) - static_cast<i32>(e[a]));
}

u16 Mean2(i32 a, i32 b) { return static_cast<u16>((a + b) / 2); }

void SetupGroup(WIDTH_GROUP *g, u16 refNarrow, u16 maxWide, u16 count) {
    *g = WIDTH_GROUP{};
    g->refNarrow = refNarrow;
    g->maxWide = maxWide;
    g->count = count;
    g->minGap = kMinGap;
}

// The search over the line.
struct Line {
    const u16 *e;
    i32 n;
    i32 W(i32 from, i32 to) const { return static_cast<i32>(e[to]) - static_cast<i32>(e[from]); }
    i32 El(i32 k) const { return W(k, k + 1); }
};

bool Agree(i32 prev, i32 next) { return 5 * next >= 4 * prev && 6 * prev >= 5 * next; }

// End edge of the run of similar six-element spans from j (j + 6 when the second differs).
i32 RunEnd(const Line &L, i32 j) {
    i32 e = j + kCharElements;
    i32 prev = L.W(j, e);
    while (e + kCharElements <= L.n - 1 && Agree(prev, L.W(e, e + kCharElements))) {
        prev = L.W(e, e + kCharElements);
        e += kCharElements;
    }
    return e;
}

// Mirrored symbol: start after the run, stop before it.
bool Backward(LINE_LOCATE_STATE *st, const Line &L, i32 j, i32 e) {
    if (j < 4 || e + 3 > L.n - 1) return false;
    if (!Var25a_MatchStartReversed(&L.e[e + 2])) return false;
    if (e + 4 <= L.n - 1 && L.El(e + 3) <= L.W(e - 1, e + 3)) return false;
    if (!Var25a_MatchStopReversed(&L.e[j - 4])) return false;
    if (j >= 5 && L.El(j - 5) <= 2 * L.W(j - 4, j - 2)) return false;
    st->startIndex = static_cast<u16>(e + 3);
    st->endIndex = static_cast<u16>(j - 4);
    return true;
}

bool Forward(LINE_LOCATE_STATE *st, const Line &L, i32 j, i32 e) {
    if (j < 4 || e + 3 > L.n - 1) return false;
    if (!Var25a_MatchStop(&L.e[e + 2])) return false;
    if (!Var25a_MatchStart(&L.e[j - 4])) return false;
    if (j >= 5 && L.El(j - 5) <= L.W(j - 4, j)) return false;
    if (e + 4 <= L.n - 1 && L.El(e + 3) <= 2 * L.W(e + 1, e + 3)) return false;
    st->startIndex = static_cast<u16>(j - 4);
    st->endIndex = static_cast<u16>(e + 3);
    return true;
}

int Leave(LINE_LOCATE_STATE *st, i32 phase, i32 pos, int answer) {
    st->phase = static_cast<u16>(phase);
    st->searchPos = static_cast<u16>(pos);
    return answer;
}

}  // namespace

void Var25a_SortByWidth(const WIDTH_GROUP *g, i16 *indices, int count) {
    if (g == nullptr || indices == nullptr || count > 8) return;
    for (int pass = 0; pass + 1 < count; ++pass)
        for (int k = 0; k + 1 < count - pass; ++k)
            if (g->widths[indices[k]] < g->widths[indices[k + 1]]) {
                const i16 t = indices[k];
                indices[k] = indices[k + 1];
                indices[k + 1] = t;
            }
}

int Var25a_ClassifyGroup(WIDTH_GROUP *g) {
    if (g == nullptr) return 0;
    ClearResults(g);
    if (g->count < 1 || g->count > 8) return 0;
    i16 idx[8];
    for (i16 k = 0; k < static_cast<i16>(g->count); ++k) idx[k] = k;
    Var25a_SortByWidth(g, idx, g->count);
    const i32 wide = BestSplit(g, idx);
    if (wide < 0 || wide < g->minWide || wide > g->maxWide) return 0;
    if (wide > 0) return SplitClasses(g, idx, wide);
    return OneClass(g);
}

int Var25a_ReadDigit(u8 *out) {
    if (out == nullptr) return 0;
    if (Var25a_ClassifyGroup(&g_var25aBars) == 0 || Var25a_ClassifyGroup(&g_var25aSpaces) == 0) return 0;
    const u32 b = g_var25aBars.pattern, s = g_var25aSpaces.pattern;
    const i32 key = static_cast<i32>(((b >> 8) & 0xF) << 16 | ((s >> 4) & 0xF) << 12 | ((b >> 4) & 0xF) << 8 |
                                     (s & 0xF) << 4 | (b & 0xF));
    const i16 digit = Line_FindInTable(kTwoOfFiveKeys, kTwoOfFiveDigits, key);
    if (digit < 0) return 0;
    *out = static_cast<u8>(digit);
    g_var25aBars.refWide = g_var25aBars.meanWide;
    g_var25aBars.refNarrow = g_var25aBars.meanNarrow;
    g_var25aSpaces.refWide = g_var25aSpaces.meanWide;
    g_var25aSpaces.refNarrow = g_var25aSpaces.meanNarrow;
    return 1;
}

int Var25a_IsEnabled() { return (g_params.flagsWord[kSymVar25a] & kFlagEnabled) != 0 ? 1 : 0; }

int Var25a_Locate(LINE_LOCATE_STATE *st) {
    if (st == nullptr || st->edges == nullptr) return 0;
    const Line L{st->edges, st->edgeCount};
    i32 phase = st->phase, pos = st->searchPos;
    for (i32 step = 0; step < kLocateSteps; ++step) {
        if (pos + kAhead >= L.n - 1) {
            phase += 2;
            pos = phase;
        }
        if (L.n < kMinEdges || phase > 5 || pos + kAhead >= L.n - 1) return Leave(st, phase, pos, 0);
        const i32 j = pos;
        const i32 e = RunEnd(L, j);
        const bool found = e - j > 11 && (Backward(st, L, j, e) || Forward(st, L, j, e));
        // The run must really begin at j: no character span before it.
        if (found && (j < kCharElements || !Agree(L.W(j, j + kCharElements), L.W(j - kCharElements, j))))
            return Leave(st, phase, e, 1);
        pos = e;
    }
    return Leave(st, phase, pos, 0);
}

u16 Var25a_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    const i32 edges = ctx->elementCount;
    ctx->length = 0;
    if (edges > kMaxEdges || edges < kMinEdges) return 0;
    const i32 n = (edges - 7) / kCharElements;
    if (n <= 1 || n > ctx->capacity) return 0;
    const u16 *e = ctx->edgesBase;
    const i32 count = ctx->edgeCount, s = ctx->startIndex, d = ctx->direction < 0 ? -1 : 1;
    // Elements of the line from the start on, in reading direction.
    const i32 lineElements = (d > 0 ? count - s : s + 1) - 1;
    i32 start[kStartElements];
    for (i32 k = 0; k < kStartElements; ++k)
        if ((start[k] = ElementAt(e, count, s, d, k)) < 0) return 0;
    SetupGroup(&g_var25aBars, Mean2(start[0], start[2]), 3, 3);
    SetupGroup(&g_var25aSpaces, Mean2(start[1], start[3]), 2, 2);
    i32 length = 0;
    // A digit read beyond the n-th answers 0 and is not written.
    for (i32 k = kStartElements; length <= n && k + 5 < lineElements - 1; k += kCharElements) {
        for (i32 b = 0; b < 3; ++b) g_var25aBars.widths[b] = static_cast<u16>(ElementAt(e, count, s, d, k + 2 * b));
        g_var25aSpaces.widths[0] = static_cast<u16>(ElementAt(e, count, s, d, k + 1));
        g_var25aSpaces.widths[1] = static_cast<u16>(ElementAt(e, count, s, d, k + 3));
        const i32 gap = ElementAt(e, count, s, d, k + 5);
        g_var25aSpaces.widths[2] = static_cast<u16>(gap);
        const WIDTH_GROUP &sp = g_var25aSpaces;
        if ((sp.refNarrow != 0 && gap >= 8 * sp.refNarrow) || (sp.refWide != 0 && gap >= 4 * sp.refWide)) break;
        u8 digit = 0;
        if (Var25a_ReadDigit(&digit) == 0) break;
        if (length == n) return 0;
        ctx->data[length++] = digit;
    }
    if (length != n) return 0;
    ctx->length = static_cast<u16>(n);
    return static_cast<u16>(n);
}

}  // namespace vexo
