// GS1 DataBar omnidirectional (and truncated), stacked and Limited: the locate steps, the
// character, finder and check-pattern readers on element widths measured in pairs, and the
// joining of stacked rows seen on different lines through two vote tables.
#include "linear/databar.h"

#include <cstring>

#include "core/params.h"
#include "linear/line_toolkit.h"

namespace vexo {

namespace {

constexpr i32 Finder(i32 a, i32 b, i32 c) { return a << 16 | b << 12 | c << 8 | 1 << 4 | 1; }

// Fourteen widths written as decimal digits, two bits each, the first element highest.
constexpr i32 Pattern(u64 digits) {
    i32 key = 0;
    for (int k = 0; k < 14; ++k) {
        key |= static_cast<i32>(digits % 10) << (2 * k);
        digits /= 10;
    }
    return key;
}

template <int N>
constexpr auto PowerTable(int modulus) {
    struct T {
        u8 v[N];
    } t{};
    int p = 1;
    for (int k = 0; k < N; ++k) {
        t.v[k] = static_cast<u8>(p);
        p = p * 3 % modulus;
    }
    return t;
}

constexpr auto kOmniPowers = PowerTable<32>(79);
constexpr auto kLimitedPowers = PowerTable<28>(89);

constexpr i64 kOmniLinkOffset = 10000000000000LL;
constexpr i64 kOmniValueLimit = 19999999999999LL;
constexpr i64 kLimitedLinkOffset = 2015133531096LL;
constexpr i64 kOmniPairFactor = 4537077;
constexpr i64 kOmniCharFactor = 1597;
constexpr i64 kLimitedFactor = 2013571;

}  // namespace

const i32 kDataBarFinderKeys[kDataBarFinders] = {
    Finder(3, 8, 2), Finder(3, 5, 5), Finder(3, 3, 7), Finder(3, 1, 9), Finder(2, 7, 4),
    Finder(2, 5, 6), Finder(2, 3, 8), Finder(1, 5, 7), Finder(1, 3, 9),
};
static_assert(Finder(3, 8, 2) == 0x38211);

const DATABAR_GROUP kDataBarOmniGroupTable[kDataBarOmniGroups] = {
    // Outside characters, 16 modules.
    {0, 12, 4, 8, 1, 161, 1},
    {161, 10, 6, 6, 3, 80, 10},
    {961, 8, 8, 4, 5, 31, 34},
    {2015, 6, 10, 3, 6, 10, 70},
    {2715, 4, 12, 1, 8, 1, 126},
    // Inside characters, 15 modules.
    {0, 5, 10, 2, 7, 4, 84},
    {336, 7, 8, 4, 5, 20, 35},
    {1036, 9, 6, 6, 3, 48, 10},
    {1516, 11, 4, 8, 1, 81, 1},
};
static_assert(161 * 1 + 80 * 10 + 31 * 34 + 10 * 70 + 1 * 126 == 2841, "outside values fill 0..2840");
static_assert(4 * 84 + 20 * 35 + 48 * 10 + 81 * 1 == 1597, "inside values fill 0..1596");

const u8 *const kDataBarOmniWeights = kOmniPowers.v;
static_assert(kOmniPowers.v[4] == 2 && kOmniPowers.v[31] == 59);

const DATABAR_GROUP kDataBarLimitedGroupTable[kDataBarLimitedGroups] = {
    {0, 17, 9, 6, 3, 6538, 28},
    {183064, 13, 13, 5, 4, 875, 728},
    {820064, 9, 17, 3, 6, 28, 6454},
    {1000776, 15, 11, 5, 4, 2415, 203},
    {1491021, 11, 15, 4, 5, 203, 2408},
    {1979845, 19, 7, 8, 1, 17094, 1},
    {1996939, 7, 19, 1, 8, 1, 16632},
};
static_assert(1996939 + 16632 == kLimitedFactor, "Limited values fill 0..2013570");

const u8 *const kDataBarLimitedWeights = kLimitedPowers.v;
static_assert(kLimitedPowers.v[5] == 65);

const i32 kDataBarLimitedCheckKeys[kDataBarLimitedChecks] = {
    Pattern(11111111113311ull), Pattern(11111111123211ull), Pattern(11111111133111ull), Pattern(11111112113211ull),
    Pattern(11111112123111ull), Pattern(11111113113111ull), Pattern(11111211113211ull), Pattern(11111211123111ull),
    Pattern(11111212113111ull), Pattern(11111311113111ull), Pattern(11121111113211ull), Pattern(11121111123111ull),
    Pattern(11121112113111ull), Pattern(11121211113111ull), Pattern(11131111113111ull), Pattern(12111111113211ull),
    Pattern(12111111123111ull), Pattern(12111112113111ull), Pattern(12111211113111ull), Pattern(12121111113111ull),
    Pattern(13111111113111ull), Pattern(11111111212311ull), Pattern(11111111222211ull), Pattern(11111111232111ull),
    Pattern(11111112212211ull), Pattern(11111112222111ull), Pattern(11111113212111ull), Pattern(11111211212211ull),
    Pattern(11111211222111ull), Pattern(11111212212111ull), Pattern(11111311212111ull), Pattern(11121111212211ull),
    Pattern(11121111222111ull), Pattern(11121112212111ull), Pattern(11121211212111ull), Pattern(11131111212111ull),
    Pattern(12111111212211ull), Pattern(12111111222111ull), Pattern(12111112212111ull), Pattern(12111211212111ull),
    Pattern(12121111212111ull), Pattern(13111111212111ull), Pattern(11111111311311ull), Pattern(11111111321211ull),
    Pattern(11111112311211ull), Pattern(11121111311211ull), Pattern(12111111311211ull), Pattern(11111121112311ull),
    Pattern(11111121122211ull), Pattern(11111121132111ull), Pattern(11111122112211ull), Pattern(11121121112211ull),
    Pattern(11121121122111ull), Pattern(11121122112111ull), Pattern(11121221112111ull), Pattern(11131121112111ull),
    Pattern(12111121112211ull), Pattern(12111121122111ull), Pattern(12121121112111ull), Pattern(11112111112311ull),
    Pattern(11112111122211ull), Pattern(11112111132111ull), Pattern(11112112112211ull), Pattern(11112112122111ull),
    Pattern(11112211112211ull), Pattern(12112111112211ull), Pattern(12112111122111ull), Pattern(12112112112111ull),
    Pattern(12112211112111ull), Pattern(12122111112111ull), Pattern(13112111112111ull), Pattern(11211111112311ull),
    Pattern(11211111122211ull), Pattern(11211111132111ull), Pattern(11211112112211ull), Pattern(11211112122111ull),
    Pattern(11211113112111ull), Pattern(11211211112211ull), Pattern(11211211122111ull), Pattern(11221111112211ull),
    Pattern(21111111122211ull), Pattern(21111111132111ull), Pattern(21111112112211ull), Pattern(21111112122111ull),
    Pattern(21111113112111ull), Pattern(21111211122111ull), Pattern(21111212112111ull), Pattern(21121111122111ull),
    Pattern(21111111221211ull), };
static_assert(Pattern(11111111113311ull) == 0x55555F5);

DATABAR_STACKED_STATE g_dataBarStacked;

namespace {

// Rounded module count of a width w out of a total T of m modules (half up).
i32 Nearest(i32 w, i32 T, i32 m) { return (T + 2 * m * w) / (2 * T); }

i32 Abs(i32 v) { return v < 0 ? -v : v; }

// Widths of the n elements between n + 1 positions.
void Widths(const i32 *pos, int n, i32 *w) {
    for (int k = 0; k < n; ++k) w[k] = Abs(pos[k + 1] - pos[k]);
}

// Positions edges[base + step * k] for k = 0..n; 0 when one lies outside the list.
int Gather(const u16 *edges, u16 count, i32 base, i32 step, int n, i32 *out) {
    if (edges == nullptr) return 0;
    const i32 last = base + step * n;
    if (base < 0 || base >= count || last < 0 || last >= count) return 0;
    for (int k = 0; k <= n; ++k) out[k] = edges[base + step * k];
    return 1;
}

// Value of a character from its module widths (odd elements 0, 2, ...) against groups
// [from, to); the checksum sum gains widths times weights. -1 when it is no character.
i32 CharValue(const i32 *m, int n, const DATABAR_GROUP *groups, int from, int to, int oddNoNarrow,
              int oddTimesEven) {
    i32 odd[7], even[7];
    i32 oddSum = 0, evenSum = 0;
    const int h = n / 2;
    for (int k = 0; k < h; ++k) {
        odd[k] = m[2 * k];
        even[k] = m[2 * k + 1];
        oddSum += odd[k];
        evenSum += even[k];
    }
    for (int g = from; g < to; ++g) {
        const DATABAR_GROUP &G = groups[g];
        if (oddSum != G.oddModules || evenSum != G.evenModules) continue;
        for (int k = 0; k < h; ++k)
            if (odd[k] > G.widestOdd || even[k] > G.widestEven) return -1;
        const i32 vOdd = Line_DataBarValue(odd, h, G.widestOdd, oddNoNarrow);
        const i32 vEven = Line_DataBarValue(even, h, G.widestEven, oddNoNarrow ? 0 : 1);
        if (vOdd < 0 || vEven < 0 || vOdd >= G.oddCount || vEven >= G.evenCount) return -1;
        return oddTimesEven ? vOdd * G.evenCount + vEven + G.first : vEven * G.oddCount + vOdd + G.first;
    }
    return -1;
}

// Module widths of n elements of m modules from their positions; narrowOdd selects which
// parity holds the one-module element. 0 when a width falls outside 1..8.
int ModuleWidths(const i32 *pos, int n, i32 m, int narrowOdd, i32 *out) {
    i32 w[14];
    Widths(pos, n, w);
    const i32 T = Abs(pos[n] - pos[0]);
    if (T <= 0) return 0;
    i32 pairs[13];
    for (int k = 0; k + 1 < n; ++k) pairs[k] = Nearest(w[k] + w[k + 1], T, m);
    if (narrowOdd)
        Line_PairsToWidthsOdd(pairs, out, m, n / 2);
    else
        Line_PairsToWidthsEven(pairs, out, m, n / 2);
    for (int k = 0; k < n; ++k)
        if (out[k] < 1 || out[k] > 8) return 0;
    return 1;
}

void AddSum(const i32 *m, int n, const u8 *weights, i32 *sum) {
    if (sum == nullptr || weights == nullptr) return;
    for (int k = 0; k < n; ++k) *sum += m[k] * weights[k];
}

}  // namespace

int DataBar_ReadFinder(const i32 *pos) {
    i32 w[5];
    Widths(pos, 5, w);
    const i32 T = Abs(pos[5] - pos[0]);
    if (T <= 0) return -1;
    const i32 p0 = w[0] + w[1], p1 = w[1] + w[2], p2 = w[2] + w[3], p3 = w[3] + w[4];
    if (30 * p0 < 7 * T || 30 * p1 < 19 * T || 30 * p3 < 3 * T || 30 * p3 > 5 * T) return -1;
    const i32 e2 = Nearest(p2, T, 15) - 1;
    const i32 e1 = Nearest(p1, T, 15) - e2;
    const i32 e0 = Nearest(p0, T, 15) - e1;
    if (e0 < 1 || e0 > 15 || e1 < 1 || e1 > 15 || e2 < 1 || e2 > 15) return -1;
    return Line_FindInTable(kDataBarFinderKeys, kDataBarFinders, Finder(e0, e1, e2));
}

i32 DataBar_ReadOmniChar(const i32 *pos, int outside, const u8 *weights, i32 *sum) {
    i32 m[8];
    if (!ModuleWidths(pos, 8, outside ? 16 : 15, outside, m)) return -1;
    const i32 v = outside ? CharValue(m, 8, kDataBarOmniGroupTable, 0, 5, 1, 1)
                          : CharValue(m, 8, kDataBarOmniGroupTable, 5, 9, 0, 0);
    if (v >= 0) AddSum(m, 8, weights, sum);
    return v;
}

i32 DataBar_ReadLimitedChar(const i32 *pos, const u8 *weights, i32 *sum) {
    i32 m[14];
    if (!ModuleWidths(pos, 14, 26, 1, m)) return -1;
    const i32 v = CharValue(m, 14, kDataBarLimitedGroupTable, 0, kDataBarLimitedGroups, 1, 1);
    if (v >= 0) AddSum(m, 14, weights, sum);
    return v;
}

int DataBar_ReadLimitedCheck(const i32 *pos) {
    i32 w[14];
    Widths(pos, 14, w);
    const i32 T = Abs(pos[14] - pos[0]);
    if (T <= 0) return -1;
    i32 t[13];
    for (int k = 0; k < 13; ++k) t[k] = w[k] + w[k + 1];
    if (36 * t[10] < 5 * T || 36 * t[12] < 3 * T || 36 * t[12] > 5 * T) return -1;
    i32 e[14];
    e[13] = e[12] = 1;
    for (int k = 11; k >= 0; --k) {
        e[k] = Nearest(t[k], T, 18) - e[k + 1];
        if (e[k] < 1 || e[k] > 3) return -1;
    }
    i32 key = 0;
    for (int k = 0; k < 14; ++k) key |= e[k] << (2 * (13 - k));
    return Line_FindInTable(kDataBarLimitedCheckKeys, kDataBarLimitedChecks, key);
}

int DataBar_ChecksumToFinders(int checksum) {
    int c = checksum;
    if (c >= 8) c = c > 70 ? c + 2 : c + 1;
    return c;
}

int DataBar_WriteDigits(u64 value, u8 *out) {
    if (out == nullptr || value > 9999999999999ULL) return 0;
    u8 d[13];
    for (int k = 12; k >= 0; --k) {
        d[k] = static_cast<u8>(value % 10);
        value /= 10;
    }
    const int check = Line_Gs1CheckDigit(d, 13);
    for (int k = 0; k < 13; ++k) out[k] = static_cast<u8>('0' + d[k]);
    out[13] = static_cast<u8>('0' + check);
    return 1;
}

i64 DataBar_OmniValue(u32 leftOutside, u32 leftInside, u32 rightOutside, u32 rightInside, u32 *linked) {
    i64 v = (kOmniCharFactor * leftOutside + leftInside) * kOmniPairFactor + (kOmniCharFactor * rightOutside + rightInside);
    if (v > kOmniValueLimit) return -1;
    *linked = v >= kOmniLinkOffset ? 1 : 0;
    if (*linked) v -= kOmniLinkOffset;
    return v;
}

namespace {

bool HasRoom(const LINE_DECODE_CTX *ctx) { return ctx->data != nullptr && ctx->capacity >= kDataBarDigits; }

// The four characters of an omnidirectional symbol with their finders and checksum sum
// (mod 79 not yet taken): the digits into ctx, kind, variant and linked into its aux.
u16 FinishOmni(LINE_DECODE_CTX *ctx, int leftFinder, int rightFinder, i32 sum, u32 lo, u32 li, u32 ro, u32 ri,
               u16 variant) {
    const int c = DataBar_ChecksumToFinders(sum % 79);
    if (leftFinder != c / 9 || rightFinder != c % 9) return 0;
    u32 linked = 0;
    const i64 v = DataBar_OmniValue(lo, li, ro, ri, &linked);
    if (v < 0 || !HasRoom(ctx) || !DataBar_WriteDigits(static_cast<u64>(v), ctx->data)) return 0;
    if (ctx->aux != nullptr) {
        ctx->aux->kind = 1;
        ctx->aux->variant = variant;
        ctx->aux->linked = linked;
    }
    ctx->length = kDataBarDigits;
    return kDataBarDigits;
}

// Edge positions of a fixed-length symbol from its located start in reading order: the
// first element after the guard bar comes first. 0 when the symbol leaves the list.
int SymbolPositions(const LINE_DECODE_CTX *ctx, int n, i32 *pos) {
    const i32 d = ctx->direction < 0 ? -1 : 1;
    const i32 base = ctx->startIndex + (d > 0 ? 1 : 0);
    return Gather(ctx->edgesBase, ctx->edgeCount, base, d, n, pos);
}

void Reverse(const i32 *from, int n, i32 *to) {
    for (int k = 0; k <= n; ++k) to[k] = from[n - k];
}

// One pair read in reading order: outside character, finder, inside character (read from
// the far end towards the finder). Its sums weighted as the left and as the right pair.
bool ReadPair(const i32 *pos, DATABAR_HALF *half) {
    const int finder = DataBar_ReadFinder(pos + 8);
    if (finder < 0) return false;
    i32 inner[9];
    Reverse(pos + 13, 8, inner);
    i32 asLeft = 0, asRight = 0;
    const i32 outside = DataBar_ReadOmniChar(pos, 1, kDataBarOmniWeights, &asLeft);
    if (outside < 0) return false;
    const i32 inside = DataBar_ReadOmniChar(inner, 0, kDataBarOmniWeights + 8, &asLeft);
    if (inside < 0) return false;
    DataBar_ReadOmniChar(pos, 1, kDataBarOmniWeights + 16, &asRight);
    DataBar_ReadOmniChar(inner, 0, kDataBarOmniWeights + 24, &asRight);
    half->finder = static_cast<u16>(finder);
    half->outside = static_cast<u32>(outside);
    half->inside = static_cast<u32>(inside);
    half->sumAsLeft = static_cast<u16>(asLeft % 79);
    half->sumAsRight = static_cast<u16>(asRight % 79);
    return true;
}

// The located scan tests of a fixed-length symbol at index i of the list; 1 for a hit read
// in increasing order, -1 in decreasing order, 0 none.
using ScanTest = int (*)(const u16 *edges, u32 count, u32 i);

int OmniTest(const u16 *edges, u32 count, u32 i) {
    auto E = [&](int k) { return static_cast<i32>(edges[static_cast<i32>(i) + k]); };
    const bool increasing = i % 2 == 0;
    if (!increasing && i < 1) return 0;
    if (increasing && E(9) - E(1) < 8 * (E(1) - E(0))) return 0;
    const auto within = [](i32 a, i32 b) { return 3 * a <= 4 * b && 4 * b <= 5 * a; };
    if (!within(E(22) - E(9), E(14) - E(1)) || !within(E(30) - E(22), E(22) - E(14)) ||
        !within(E(43) - E(30), E(35) - E(22)))
        return 0;
    if (increasing) return 16 * (E(45) - E(43)) < 7 * (E(43) - E(35)) ? 1 : 0;
    (void)count;
    return 16 * (E(1) - E(-1)) < 7 * (E(9) - E(1)) && E(43) - E(35) >= 8 * (E(44) - E(43)) ? -1 : 0;
}

int LimitedTest(const u16 *edges, u32 count, u32 i) {
    auto E = [&](int k) { return static_cast<i32>(edges[static_cast<i32>(i) + k]); };
    const bool increasing = i % 2 == 0;
    if (!increasing && i < 1) return 0;
    const i32 L = E(15) - E(1), M = E(29) - E(15), R = E(43) - E(29);
    if (!(M < R && M < L && 4 * (M + R) >= 3 * (L + M) && 5 * (L + M) >= 4 * (M + R))) return 0;
    if (increasing) {
        const i32 guard = E(1) - E(0);
        if (L < 13 * guard) return 0;
        if (i >= 2) {
            const i32 Q = E(0) - E(-2);
            if (26 * Q < 5 * L || 2 * Q < 9 * guard) return 0;
        }
        const i32 right = E(45) - E(43);
        if (52 * right >= 7 * R) return 0;
        if (i + 47 < count) {
            const i32 Q2 = E(47) - E(45);
            if (26 * Q2 < 5 * R || 4 * Q2 < 9 * right) return 0;
        }
        return 1;
    }
    const i32 right = E(1) - E(-1);
    if (52 * right >= 7 * R) return 0;
    if (i >= 3) {
        const i32 Q = E(-1) - E(-3);
        if (26 * Q < 5 * L || 4 * Q < 9 * right) return 0;
    }
    const i32 guard = E(44) - E(43);
    if (L < 13 * guard) return 0;
    if (i + 46 < count) {
        const i32 Q2 = E(46) - E(44);
        if (26 * Q2 < 5 * R || 2 * Q2 < 9 * guard) return 0;
    }
    return -1;
}

int LocateFixed(LINE_LOCATE_STATE *st, ScanTest test) {
    if (st->phase == 1 || st->edges == nullptr) return 0;
    const u32 n = st->edgeCount;
    // The scan goes on from the index after the last candidate, not from past its end: a
    // reversed symbol often passes the increasing-order tests one edge before its own index,
    // and skipping the whole failed candidate would lose it. A symbol read in decreasing
    // order ends at edge i + 44, so one at the very end of the list is found too.
    for (u32 i = st->found != 0 ? st->searchPos : st->nextPos; i + 44 < n; ++i) {
        if (i % 2 == 0 && i + 45 >= n) continue;
        const int hit = test(st->edges, n, i);
        if (hit == 0) continue;
        st->startIndex = static_cast<u16>(hit > 0 ? i : i + 43);
        st->endIndex = static_cast<u16>(hit > 0 ? i + 44 : i - 1);
        st->searchPos = static_cast<u16>(i + 1);
        return 1;
    }
    st->phase = 1;
    return 0;
}

void ClearHalves() {
    g_dataBarStacked.upper = DATABAR_HALF{};
    g_dataBarStacked.lower = DATABAR_HALF{};
}

// Votes the half into a table: the index of an entry seen for the second time, else -1.
int Vote(DATABAR_VOTE *table, const DATABAR_HALF &half) {
    DATABAR_VOTE &candidate = table[kDataBarVoteEntries];
    candidate = DATABAR_VOTE{1, half.finder, half.outside, half.inside, half.sumAsLeft, half.sumAsRight};
    for (int k = 0; k < kDataBarVoteEntries; ++k) {
        DATABAR_VOTE &e = table[k];
        if (e.count == 0 || e.finder != half.finder || e.outside != half.outside || e.inside != half.inside) continue;
        const u16 before = e.count;
        if (e.count < 0xFFFF) ++e.count;
        return before == 1 ? k : -1;
    }
    int least = 0;
    for (int k = 1; k < kDataBarVoteEntries; ++k)
        if (table[k].count < table[least].count) least = k;
    table[least] = candidate;
    return -1;
}

void SetSegment(LINE_DECODE_CTX *ctx, const DATABAR_HALF &half) {
    LINE_AUX *aux = ctx->aux;
    if (aux == nullptr || aux->segments == nullptr || aux->segmentCapacity < 1) return;
    aux->segmentCount = 1;
    aux->segments[0].value1 = static_cast<i32>(half.outside);
    aux->segments[0].value2 = static_cast<i32>(half.inside);
    aux->segments[0].finder = half.finder;
    aux->segments[0].present = 1;
}

u16 Join(LINE_DECODE_CTX *ctx, u16 lf, u32 lo, u32 li, u16 sumLeft, u16 rf, u32 ro, u32 ri, u16 sumRight,
         u16 variant) {
    const u16 n = FinishOmni(ctx, lf, rf, sumLeft + sumRight, lo, li, ro, ri, variant);
    if (n != 0) {
        const DATABAR_STACKED_STATE empty{};
        g_dataBarStacked = empty;
    }
    return n;
}

}  // namespace

void DataBar_Reset() {
    g_dataBarStacked = DATABAR_STACKED_STATE{};
    DataBar_ResetExpanded();
}

int DataBar_IsEnabled() { return (g_params.flagsWord[kSymDataBar] & kFlagEnabled) != 0 ? 1 : 0; }

int DataBar_LocateLimited(LINE_LOCATE_STATE *state) { return LocateFixed(state, &LimitedTest); }

int DataBar_LocateOmni(LINE_LOCATE_STATE *state) { return LocateFixed(state, &OmniTest); }

u16 DataBar_DecodeOmni(LINE_DECODE_CTX *ctx) {
    if (ctx->aux != nullptr) ctx->aux->kind = 0;
    if (!HasRoom(ctx)) return 0;
    i32 pos[43];
    if (!SymbolPositions(ctx, 42, pos)) return 0;
    i32 rightFinder[6], leftInside[9], rightOutside[9];
    Reverse(pos + 29, 5, rightFinder);
    Reverse(pos + 13, 8, leftInside);
    Reverse(pos + 34, 8, rightOutside);
    const int lf = DataBar_ReadFinder(pos + 8);
    if (lf < 0) return 0;
    const int rf = DataBar_ReadFinder(rightFinder);
    if (rf < 0) return 0;
    i32 sum = 0;
    const i32 lo = DataBar_ReadOmniChar(pos, 1, kDataBarOmniWeights, &sum);
    if (lo < 0) return 0;
    const i32 li = DataBar_ReadOmniChar(leftInside, 0, kDataBarOmniWeights + 8, &sum);
    if (li < 0) return 0;
    const i32 ri = DataBar_ReadOmniChar(pos + 21, 0, kDataBarOmniWeights + 24, &sum);
    if (ri < 0) return 0;
    const i32 ro = DataBar_ReadOmniChar(rightOutside, 1, kDataBarOmniWeights + 16, &sum);
    if (ro < 0) return 0;
    return FinishOmni(ctx, lf, rf, sum, static_cast<u32>(lo), static_cast<u32>(li), static_cast<u32>(ro),
                      static_cast<u32>(ri), kDataBarOmni);
}

u16 DataBar_DecodeLimited(LINE_DECODE_CTX *ctx) {
    if (ctx->aux != nullptr) ctx->aux->kind = 0;
    if (!HasRoom(ctx)) return 0;
    i32 pos[43];
    if (!SymbolPositions(ctx, 42, pos)) return 0;
    const int check = DataBar_ReadLimitedCheck(pos + 14);
    if (check < 0) return 0;
    i32 sum = 0;
    const i32 left = DataBar_ReadLimitedChar(pos, kDataBarLimitedWeights, &sum);
    if (left < 0) return 0;
    const i32 right = DataBar_ReadLimitedChar(pos + 28, kDataBarLimitedWeights + 14, &sum);
    if (right < 0 || sum % 89 != check) return 0;
    i64 v = static_cast<i64>(left) * kLimitedFactor + right;
    const u32 linked = v >= kLimitedLinkOffset ? 1 : 0;
    if (linked) v -= kLimitedLinkOffset;
    if (!DataBar_WriteDigits(static_cast<u64>(v), ctx->data)) return 0;
    if (ctx->aux != nullptr) {
        ctx->aux->kind = 1;
        ctx->aux->variant = kDataBarLimited;
        ctx->aux->linked = linked;
    }
    ctx->length = kDataBarDigits;
    return kDataBarDigits;
}

int DataBar_LocateStacked(LINE_LOCATE_STATE *st) {
    ClearHalves();
    if (st->phase == 1 || st->edges == nullptr) return 0;
    const u32 n = st->edgeCount;
    const u16 *e = st->edges;
    // A pair needs the edges up to i + 21: an upper row whose guard bar ends the list is
    // read too.
    for (u32 i = st->nextPos; i + 21 < n; ++i) {
        const i32 a = e[i + 8] - e[i], f = e[i + 13] - e[i + 8], b = e[i + 21] - e[i + 13];
        if (!(3 * f <= 4 * a && 4 * a <= 5 * f && 3 * b <= 4 * f && 4 * f <= 5 * b && 3 * a <= 4 * f &&
              4 * f <= 5 * a && 3 * f <= 4 * b && 4 * b <= 5 * f))
            continue;
        i32 pos[22];
        DATABAR_HALF half{};
        bool backwards = false;
        Gather(e, static_cast<u16>(n), static_cast<i32>(i), 1, 21, pos);
        if (!ReadPair(pos, &half)) {
            Gather(e, static_cast<u16>(n), static_cast<i32>(i + 21), -1, 21, pos);
            if (!ReadPair(pos, &half)) continue;
            backwards = true;
        }
        const bool upper = i % 2 == 1;
        half.found = 1;
        const bool firstLow = upper != backwards;
        half.first = static_cast<u16>(firstLow ? i : i + 21);
        half.last = static_cast<u16>(firstLow ? i + 21 : i);
        (upper ? g_dataBarStacked.upper : g_dataBarStacked.lower) = half;
        st->startIndex = half.first;
        st->endIndex = half.last;
    }
    st->phase = 1;
    return g_dataBarStacked.upper.found || g_dataBarStacked.lower.found ? 1 : 0;
}

u16 DataBar_DecodeStacked(LINE_DECODE_CTX *ctx) {
    DATABAR_STACKED_STATE &S = g_dataBarStacked;
    const DATABAR_HALF up = S.upper, low = S.lower;
    if (up.found && low.found && up.last == low.first) {
        const u16 n = Join(ctx, up.finder, up.outside, up.inside, up.sumAsLeft, low.finder, low.outside, low.inside,
                           low.sumAsRight, kDataBarOmni);
        if (n != 0) return n;
    }
    if (up.found) {
        if (ctx->aux != nullptr) {
            ctx->aux->kind = 1;
            ctx->aux->variant = kDataBarStackedRow;
        }
        if (Vote(S.upperVotes, up) >= 0) {
            for (int k = 0; k < kDataBarVoteEntries; ++k) {
                const DATABAR_VOTE r = S.lowerVotes[k];
                if (r.count < 2) continue;
                const u16 n = Join(ctx, up.finder, up.outside, up.inside, up.sumAsLeft, r.finder, r.outside, r.inside,
                                   r.sumAsRight, kDataBarStackedRow);
                if (n != 0) return n;
            }
        }
        SetSegment(ctx, up);
    }
    if (low.found) {
        ctx->direction = -2;
        if (ctx->aux != nullptr) {
            ctx->aux->kind = 1;
            ctx->aux->variant = kDataBarStackedRow;
        }
        if (Vote(S.lowerVotes, low) >= 0) {
            for (int k = 0; k < kDataBarVoteEntries; ++k) {
                const DATABAR_VOTE l = S.upperVotes[k];
                if (l.count < 2) continue;
                const u16 n = Join(ctx, l.finder, l.outside, l.inside, l.sumAsLeft, low.finder, low.outside,
                                   low.inside, low.sumAsRight, kDataBarStackedRow);
                if (n != 0) {
                    SetSegment(ctx, low);
                    return n;
                }
            }
        }
        SetSegment(ctx, low);
    }
    return 0;
}

}  // namespace vexo
