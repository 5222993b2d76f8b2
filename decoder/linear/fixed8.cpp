#include "core/params.h"
#include "core/state.h"
#include "linear/code128.h"
#include "linear/line_toolkit.h"
#include "linear/var25a_fixed8.h"

namespace vexo {

namespace {

constexpr i32 kValues = 100;       // Code 128 values 0-99 carry two digits each
constexpr i32 kCharModules = 11;
constexpr i32 kGuardBarModules = 11;   // start and stop bars together
constexpr i32 kGuardSpaceModules = 5;  // start and stop spaces together
constexpr i32 kCharacters = 4;
constexpr i32 kFirstChar = 4;          // elements of the start
constexpr i32 kAhead = 28;  // 32 edges from the start's first edge, which lies 4 before the run
constexpr i32 kMinRun = 24, kMaxRun = 30;
constexpr i32 kLocateSteps = 4096;
constexpr i32 kOffsets[2] = {40, 50};  // rounding offsets of the pair sums, 1/100 module
constexpr u8 kCheckWeights[7] = {7, 4, 1, 8, 5, 2, 9};
static_assert(sizeof kCheckWeights == 7);

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// Element k of a pattern, mirrored (dir -1) around the pointer.
i32 At(const u16 *w, int k, int dir) { return w[k * dir]; }

int StartShape(const u16 *w, int dir) {
    const i32 w0 = At(w, 0, dir), w1 = At(w, 1, dir), w2 = At(w, 2, dir), w3 = At(w, 3, dir);
    return 3 * w2 < w0 && w1 < w3 && 2 * (w2 + w1) < w0 + w1 && 3 * (w2 + w1) < w0 + w1 + w2 + w3 ? 1 : 0;
}

// The pointer at the stop's last bar; reading-order element -k lies k before it.
int StopShape(const u16 *w, int dir) {
    const i32 w0 = At(w, 0, dir), m1 = At(w, -1, dir), m2 = At(w, -2, dir), m3 = At(w, -3, dir), m4 = At(w, -4, dir);
    if (!(2 * m2 < w0 && m4 < w0 && m2 < m4)) return 0;
    if (!(Abs(m1 - m3) * 1024 < 256 * m1 && Abs(m1 - m3) * 1024 < 256 * m3)) return 0;
    return Abs(w0 + m1 - 2 * (m2 + m3)) * 1024 < 256 * (w0 + m1) ? 1 : 0;
}

u32 Nibble(u32 pattern, int k, int count) { return (pattern >> (4 * (count - 1 - k))) & 0xF; }
i32 BarModules(i32 v) { return static_cast<i32>(Nibble(kCode128Patterns[v], 0, 6) + Nibble(kCode128Patterns[v], 2, 6) + Nibble(kCode128Patterns[v], 4, 6)); }

// Pair sums rounded to modules: the value whose key and bar width fit, else -1.
i32 ByPairSums(const u16 *c, i64 m, i64 bars) {
    const i64 u = m * 100 / kCharModules;  // one module in 1/100 pixel
    if (u <= 0) return -1;
    for (const i32 offset : kOffsets) {
        i32 key = 0;
        for (int k = 0; k < 5; ++k) {
            const i64 sum = (static_cast<i64>(c[k]) + c[k + 1]) * 10000 / u;
            const i64 modules = (sum + offset) / 100;
            if (modules > 15) {
                key = -1;
                break;
            }
            key = key << 4 | static_cast<i32>(modules);
        }
        const i16 v = key < 0 ? -1 : Line_FindInTable(reinterpret_cast<const i32 *>(kCode128PairKeys), kValues, key);
        if (v < 0) continue;
        const i64 e = BarModules(v) * 100 - 125;
        if (m * e / kCharModules < bars * 100 && bars * 100 < (m * 250 + m * e) / kCharModules) return v;
    }
    return -1;
}

// Each element rounded by the module estimates: the pattern's value, else -1.
i32 ByModules(const u16 *c, i32 a, i32 b) {
    i32 key = 0;
    for (int k = 0; k < 6; ++k) {
        const i32 mod = k % 2 == 0 ? a : b;
        const i32 n = (c[k] + mod / 2) / mod;
        if (n > 15) return -1;
        key = key << 4 | n;
    }
    return Line_FindInTable(reinterpret_cast<const i32 *>(kCode128Patterns), kValues, key);
}

bool CheckHolds(const u8 *d) { return Fixed8_CheckDigit(d) == d[7]; }

struct Candidate {
    i32 start, end;  // edge indexes
};

bool ForwardAt(const LINE_LOCATE_STATE *st, i32 j, i32 k, Candidate *c) {
    const u16 *w = st->widths;
    const i32 last = st->edgeCount - 1;  // elements 0 .. last - 1
    if (j < 4) return false;
    if (j >= 5 && !(static_cast<i32>(w[j - 4]) + w[j - 3] + w[j - 2] + w[j - 1] < 2 * w[j - 5])) return false;
    if (Fixed8_MatchStart(&w[j - 4]) == 0) return false;
    if (k - j > kMinRun) {
        if (!(w[k - 2] < w[k - 1]) || Fixed8_MatchStop(&w[k - 2]) == 0) return false;
        *c = {j - 4, k - 1};
        return true;
    }
    if (k + 4 > last - 1) return false;
    if (k + 5 <= last - 1 && !(w[k + 4] < w[k + 5])) return false;
    if (Fixed8_MatchStop(&w[k + 4]) == 0) return false;
    *c = {j - 4, k + 5};
    return true;
}

bool BackwardAt(const LINE_LOCATE_STATE *st, i32 j, i32 k, Candidate *c) {
    const u16 *w = st->widths;
    const i32 last = st->edgeCount - 1;
    i32 end = 0;
    if (k - j > kMinRun || j < 5) {
        if (j + 5 > last - 1 || !(w[j + 1] < w[j]) || Fixed8_MatchStopReversed(&w[j + 1]) == 0) return false;
        end = j + 1;
    } else {
        if (j > 5 && !(w[j - 5] < w[j - 6])) return false;
        if (Fixed8_MatchStopReversed(&w[j - 5]) == 0) return false;
        end = j - 5;
    }
    if (k + 3 > last - 1) return false;
    if (k + 5 <= last && !(static_cast<i32>(w[k]) + w[k + 1] + w[k + 2] + w[k + 3] < w[k + 4])) return false;
    if (Fixed8_MatchStartReversed(&w[k + 3]) == 0) return false;
    *c = {k + 4, end};
    return true;
}

bool Agree(i32 prev, i32 next) { return 5 * next >= 4 * prev && 6 * prev >= 5 * next; }

i32 Span(const LINE_LOCATE_STATE *st, i32 from) { return static_cast<i32>(st->edges[from + 6]) - st->edges[from]; }

i32 RunEnd(const LINE_LOCATE_STATE *st, i32 j) {
    i32 e = j + 6;
    i32 prev = Span(st, j);
    while (e + 6 <= st->edgeCount - 1 && Agree(prev, Span(st, e))) {
        prev = Span(st, e);
        e += 6;
    }
    return e;
}

int Leave(LINE_LOCATE_STATE *st, i32 phase, i32 pos, int answer) {
    st->phase = static_cast<u16>(phase);
    st->searchPos = static_cast<u16>(pos);
    return answer;
}

}  // namespace

int Fixed8_MatchStart(const u16 *widths) { return widths != nullptr ? StartShape(widths, 1) : 0; }
int Fixed8_MatchStartReversed(const u16 *widths) { return widths != nullptr ? StartShape(widths, -1) : 0; }
int Fixed8_MatchStop(const u16 *widths) { return widths != nullptr ? StopShape(widths, 1) : 0; }
int Fixed8_MatchStopReversed(const u16 *widths) { return widths != nullptr ? StopShape(widths, -1) : 0; }

int Fixed8_CheckDigit(const u8 *d) {
    if (d == nullptr) return -1;
    i32 r = 0;
    for (int k = 0; k < 7; ++k) r += kCheckWeights[k] * d[k];
    r %= 11;
    return r == 0 ? 5 : r == 1 ? 0 : 11 - r;
}

int Fixed8_ReadForward(const u16 *p, u8 *out) {
    if (p == nullptr || out == nullptr) return 0;
    i32 a = (static_cast<i32>(p[0]) + p[2] + p[28] + p[30] + p[32]) / kGuardBarModules;
    i32 b = (static_cast<i32>(p[1]) + p[3] + p[29] + p[31]) / kGuardSpaceModules;
    u8 digits[kFixed8Digits];
    i64 prevM = 0;
    for (int ch = 0; ch < kCharacters; ++ch) {
        const u16 *c = p + kFirstChar + 6 * ch;
        if (a < 1 || b < 1) return 0;
        i64 m = 0;
        for (int k = 0; k < 6; ++k) m += c[k];
        const i64 bars = static_cast<i64>(c[0]) + c[2] + c[4];
        i32 v = ByPairSums(c, m, bars);
        if (v < 0) v = ByModules(c, a, b);
        if (v < 0) return 0;
        digits[2 * ch] = static_cast<u8>(v / 10);
        digits[2 * ch + 1] = static_cast<u8>(v % 10);
        const i32 barModules = BarModules(v);
        i64 na = bars / barModules, nb = (static_cast<i64>(c[1]) + c[3] + c[5]) / (kCharModules - barModules);
        if (ch > 0) {
            if (prevM == 0) return 0;
            na = na * m / prevM;
            nb = nb * m / prevM;
        }
        a = static_cast<i32>(na);
        b = static_cast<i32>(nb);
        prevM = m;
    }
    if (!CheckHolds(digits)) return 0;
    for (int k = 0; k < kFixed8Digits; ++k) out[k] = static_cast<u8>('0' + digits[k]);
    return kFixed8Digits;
}

int Fixed8_ReadReversed(const u16 *widths, u8 *out) {
    if (widths == nullptr) return 0;
    u16 mirrored[kFixed8Elements];
    for (int k = 0; k < kFixed8Elements; ++k) mirrored[k] = widths[kFixed8Elements - 1 - k];
    return Fixed8_ReadForward(mirrored, out);
}

int Fixed8_IsEnabled() { return (g_params.flagsWord[kSymFixed8] & kFlagEnabled) != 0 ? 1 : 0; }

int Fixed8_Locate(LINE_LOCATE_STATE *st) {
    if (st == nullptr || st->edges == nullptr || st->widths == nullptr) return 0;
    const i32 n = st->edgeCount;
    if (st->widthCount + 1 < n) return 0;  // a width for every element the search reads
    i32 phase = st->phase, pos = st->searchPos;
    for (i32 step = 0; step < kLocateSteps; ++step) {
        if (n < pos + kAhead) {
            ++phase;
            pos = phase;
        }
        if (phase > 5 || n < pos + kAhead) return Leave(st, phase, pos, 0);
        const i32 j = pos;
        const i32 k = RunEnd(st, j);
        Candidate c{};
        const bool run = k - j >= kMinRun && k - j <= kMaxRun;
        if (run && (phase % 2 == 0 ? ForwardAt(st, j, k, &c) : BackwardAt(st, j, k, &c))) {
            st->startIndex = static_cast<u16>(c.start);
            st->endIndex = static_cast<u16>(c.end);
            return Leave(st, phase, k, 1);
        }
        pos = k;
    }
    return Leave(st, phase, pos, 0);
}

u16 Fixed8_Decode(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr || ctx->data == nullptr || ctx->edgesBase == nullptr) return 0;
    ctx->length = 0;
    if (ctx->widthCount != kFixed8Elements || ctx->capacity < kFixed8Digits) return 0;
    const i32 s = ctx->startIndex, d = ctx->direction > 0 ? 1 : -1;
    const i32 far = s + kFixed8Elements * d;
    if (s >= ctx->edgeCount || far < 0 || far >= ctx->edgeCount) return 0;
    // Widths in line order from the symbol's lower edge.
    const i32 low = d > 0 ? s : far;
    u16 w[kFixed8Elements];
    for (int k = 0; k < kFixed8Elements; ++k)
        w[k] = static_cast<u16>(ctx->edgesBase[low + k + 1] - ctx->edgesBase[low + k]);
    const int got = d > 0 ? Fixed8_ReadForward(w, ctx->data) : Fixed8_ReadReversed(w, ctx->data);
    if (got != kFixed8Digits) return 0;
    ctx->length = kFixed8Digits;
    return kFixed8Digits;
}

int Fixed8_Verify(LINE_DECODE_CTX *ctx) {
    if (ctx == nullptr) return 0;
    ctx->symbologyId = kSymFixed8;
    ctx->aimLetter = 'X';
    ctx->aimModifier = '0';
    if (ctx->length == 0) return 0;
    g_state.lastSymbologyCode = 1;
    return 1;
}

}  // namespace vexo
