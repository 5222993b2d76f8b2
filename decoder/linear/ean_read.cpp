// EAN/UPC symbols on a scan line: locating by guards and quiet zones, characters by their
// pair sums and spread-model score, halves and whole symbols in either direction, and the
// decode slots with their confirmation store.
#include <cstring>
#include <initializer_list>

#include "core/params.h"
#include "linear/ean_upc.h"
#include "linear/line_edge_reader.h"
#include "linear/line_toolkit.h"

namespace vexo {

// Sets L (entries 0-9) and G (10-19) of ISO/IEC 15420, space first; set R has the widths of
// set L and is read as L.
constexpr u32 kEanPatterns[kEanEntries] = {
    0x3211, 0x2221, 0x2122, 0x1411, 0x1132, 0x1231, 0x1114, 0x1312, 0x1213, 0x3112,  // L 0
    0x1123, 0x1222, 0x2212, 0x1141, 0x2311, 0x1321, 0x4111, 0x2131, 0x3121, 0x2113,  // G 10
};
static_assert(sizeof kEanPatterns / sizeof kEanPatterns[0] == 20);

// Derived from the patterns: the three sums of neighbouring widths. 1 and 7, 2 and 8, 11 and
// 17, 12 and 18 share a key; a lookup finds the first.
constexpr i32 kEanPairKeys[kEanEntries] = {
    0x532, 0x443, 0x334, 0x552, 0x245, 0x354, 0x225, 0x443, 0x334, 0x423,  // L 0
    0x235, 0x344, 0x433, 0x255, 0x542, 0x453, 0x522, 0x344, 0x433, 0x324,  // G 10
};
static_assert(sizeof kEanPairKeys / sizeof kEanPairKeys[0] == 20);

namespace {
constexpr i32 PairKeyOf(u32 p) {
    const i32 a = static_cast<i32>((p >> 12) & 0xF), b = static_cast<i32>((p >> 8) & 0xF);
    const i32 c = static_cast<i32>((p >> 4) & 0xF), d = static_cast<i32>(p & 0xF);
    return (a + b) * 256 + (b + c) * 16 + (c + d);
}
constexpr bool PairKeysMatchPatterns() {
    for (int i = 0; i < kEanEntries; ++i)
        if (kEanPairKeys[i] != PairKeyOf(kEanPatterns[i])) return false;
    return true;
}
static_assert(PairKeysMatchPatterns());
}  // namespace

// The left-half parities of EAN-13 by first digit (ISO/IEC 15420), 64 + pattern.
constexpr i32 kEan13FirstDigit[10] = {64, 75, 77, 78, 83, 89, 92, 85, 86, 90};
static_assert(sizeof kEan13FirstDigit / sizeof kEan13FirstDigit[0] == 10);

// UPC-E parities by check digit (ISO/IEC 15420): number system 0, and 1 (the complement).
constexpr i32 kUpceParity[2][10] = {
    {56, 52, 50, 49, 44, 38, 35, 42, 41, 37},
    {7, 11, 13, 14, 19, 25, 28, 21, 22, 26},
};
static_assert(sizeof kUpceParity / sizeof kUpceParity[0][0] == 20);

EAN_READ_STORE g_ean13Store;
EAN_READ_STORE g_ean8Store;
EAN_READ_STORE g_upceStore;

namespace {

// The character decision: an accepted score is below 200 and taken at once below 61.
constexpr i32 kEanAccept = 200;
constexpr i32 kEanAtOnce = 61;
constexpr i32 kEanTwinUndecided = 39;  // the largest margin that takes no candidate cleanly
constexpr i32 kNoScore = 1 << 30;

u16 Distance(u16 a, u16 b) { return static_cast<u16>(a > b ? a - b : b - a); }
i32 Abs(i32 v) { return v < 0 ? -v : v; }
bool IsG(u8 v) { return v >= 10; }
u8 ChangeSet(u8 v) { return static_cast<u8>(v >= 10 ? v - 10 : v + 10); }

// The guard's three elements against a neighbouring character: 7 G <= 4 K and K <= 3 G.
bool GuardFits(i32 g, i32 k) { return 7 * g <= 4 * k && k <= 3 * g; }

// Characters of four elements from edge `from` (relative), each within a fifth of the one
// before it.
bool CharactersRegular(const u16 *e, int from, int count) {
    i32 previous = 0;
    for (int k = 0; k < count; ++k) {
        const i32 width = e[from + 4 * k + 4] - e[from + 4 * k];
        if (k > 0 && Abs(width - previous) * 5 > previous) return false;
        previous = width;
    }
    return true;
}

// EAN-8's quiet zone beside the guard (q3 the three elements outside it, q1 the first one,
// qg the first element and the guard's three together).
bool Ean8QuietFits(i32 q3, i32 q1, i32 qg, i32 k) {
    return 7 * q3 >= 15 * k || (7 * q1 >= 5 * k && (7 * qg <= 6 * k || 7 * qg >= 8 * k));
}

bool EanCandidateFits(const u16 *e, i32 i, i32 n, int extra, int shift) {
    const int L = 43 + extra;
    const int chars = (L - 11) / 8;
    const bool ean13 = extra != 0;
    const i32 k1 = e[i + 7] - e[i + 3];
    if (!GuardFits(e[i + 3] - e[i], k1)) return false;
    if (i >= 3) {
        const i32 q3 = e[i] - e[i - 3];
        if (ean13 ? 3 * q3 < 2 * k1 : !Ean8QuietFits(q3, e[i] - e[i - 1], e[i + 3] - e[i - 1], k1)) return false;
    }
    const i32 kl = e[i + L - 3] - e[i + L - 7];
    if (!GuardFits(e[i + L] - e[i + L - 3], kl)) return false;
    if (i + L + 3 < n) {
        const i32 q3 = e[i + L + 3] - e[i + L];
        if (ean13 ? 3 * q3 < 2 * kl
                  : !Ean8QuietFits(q3, e[i + L + 1] - e[i + L], e[i + L + 1] - e[i + L - 3], kl))
            return false;
    }
    if (!GuardFits(e[i + shift + 23] - e[i + shift + 20], e[i + shift + 19] - e[i + shift + 15])) return false;
    return CharactersRegular(e + i, 3, chars) && CharactersRegular(e + i, 3 + 4 * chars + 5, chars);
}

// UPC-E's end guard (six elements) against its neighbouring character: 5/7 to 9/7.
bool EndGuardFits(i32 end, i32 k) { return 7 * end <= 9 * k && 5 * k <= 7 * end; }

bool UpceForwardFits(const u16 *e, i32 i, i32 n) {
    const i32 g = e[i + 3] - e[i];
    if (!GuardFits(g, e[i + 7] - e[i + 3])) return false;
    if (i > 0 && e[i] - e[i - 1] < g) return false;
    const i32 end = e[i + 33] - e[i + 27];
    if (!EndGuardFits(end, e[i + 27] - e[i + 23])) return false;
    if (i + 34 < n && 2 * (e[i + 34] - e[i + 33]) < end) return false;
    return CharactersRegular(e + i, 3, 6);
}

bool UpceReversedFits(const u16 *e, i32 i, i32 n) {
    const i32 g = e[i + 33] - e[i + 30];
    if (!GuardFits(g, e[i + 30] - e[i + 26])) return false;
    if (i + 34 < n && e[i + 34] - e[i + 33] < g) return false;
    const i32 end = e[i + 6] - e[i];
    if (!EndGuardFits(end, e[i + 10] - e[i + 6])) return false;
    if (i > 0 && 2 * (e[i] - e[i - 1]) < end) return false;
    return CharactersRegular(e + i, 6, 6);
}

struct Scored {
    i32 score = kNoScore;
    int entry = -1;
    u8 level = 5;
};

// The decision after every candidate was scored: 0 fails, 1 takes cleanly, 2 marginally.
int DecideCharacter(const Scored &best, const Scored &second, bool accepted) {
    const i32 m = second.score == kNoScore ? kNoScore : second.score - best.score;
    if (accepted) {
        if (m > 39) return 1;
        return m <= 14 ? 0 : 2;
    }
    if (best.score < 250 && m > 100) return 1;
    if (best.score > 399) return 0;
    return m < 31 ? 0 : 2;
}

void Take(const Scored &c, u8 *spreadLevel) {
    g_edgeReader.acceptedValue = static_cast<u16>(c.entry);
    g_edgeReader.acceptedPattern = kEanPatterns[c.entry];
    *spreadLevel = c.level;
}

// Scores one candidate entry on the measurement.
Scored ScoreEntry(SIX_MEASURE *m, int entry, u8 level) {
    const u32 p = kEanPatterns[entry];
    for (int k = 0; k < 4; ++k) m->modules[k + 1] = static_cast<u8>((p >> (4 * (3 - k))) & 0xF);
    Scored c;
    c.entry = entry;
    c.level = static_cast<u8>(Line_BestSpread(m, level, &c.score));
    return c;
}

// Ranks a scored candidate.
void RankEntry(const Scored &c, Scored *best, Scored *second, Scored *accepted) {
    if (c.score < best->score) {
        *second = *best;
        *best = c;
    } else if (c.score < second->score) {
        *second = c;
    }
    if (c.score < kEanAccept && c.score < accepted->score) *accepted = c;
}

// First and third module counts less second and fourth: twins differ here by four.
i32 PatternBalance(u32 p) {
    return static_cast<i32>((p >> 12) & 0xF) + static_cast<i32>((p >> 4) & 0xF) - static_cast<i32>((p >> 8) & 0xF) -
           static_cast<i32>(p & 0xF);
}

// Which side of the twins' middle a balance (tenths of the unit, ten modules) lies on: 1
// within a module of the upper twin or beyond, -1 of the lower, 0 between.
int TwinSide(i32 balance, i32 mid2, i32 unit) {
    if (2 * static_cast<i64>(balance) >= static_cast<i64>(mid2 + 2) * unit) return 1;
    if (2 * static_cast<i64>(balance) <= static_cast<i64>(mid2 - 2) * unit) return -1;
    return 0;
}

// Which of the twins entry and entry + 6 to score: a spread of one module in every element
// turns one into the other and both score alike, but the balance of the loaded widths lies
// within a module of one twin's unless the ink spread is heavy. Heavy spread shows in the
// element in front (of known modules), which grows as the second and fourth elements do
// while the first and third shrink: a balance corrected by it that points at the other twin
// leaves the choice to the scores. Answers the entry to keep, or -1 to score both.
int ClearTwin(u16 unit, int entry) {
    const EDGE_READER_STATE &s = g_edgeReader;
    const i32 u = static_cast<i32>(unit);
    const i32 raw = 10 * (static_cast<i32>(s.elementWidths[0]) + s.elementWidths[2] - s.elementWidths[1] -
                          s.elementWidths[3]);
    const i32 spread = 10 * static_cast<i32>(s.beforeWidth) - static_cast<i32>(s.beforeModules) * u;
    const i32 a = PatternBalance(kEanPatterns[entry]);
    const i32 b = PatternBalance(kEanPatterns[entry + 6]);
    const int side = TwinSide(raw, a + b, u);
    const int corrected = TwinSide(raw + 4 * spread, a + b, u);
    if (side == 0 || corrected == -side) return -1;
    return (side > 0) == (a > b) ? entry : entry + 6;
}

}  // namespace

int Ean_DecodeCharacter(u16 unit, u8 *spreadLevel) {
    EDGE_READER_STATE &s = g_edgeReader;
    if (unit == 0 || s.loadedCount != 4 || spreadLevel == nullptr) return -1;
    SIX_MEASURE m = Line_MeasureLoaded(unit);
    Line_PairCandidates(unit, 0);
    s.acceptedPattern = 0;
    Scored best, second, accepted;
    for (u32 combo = 0; combo < 8; ++combo) {
        i32 key = 0;
        bool valid = true;
        for (int j = 0; j < 3 && valid; ++j) {
            const u8 c = s.pairCandidates[j][(combo >> (2 - j)) & 1];
            valid = c != 0;
            key = key * 16 + c;
        }
        if (!valid) continue;
        const i16 hit = Line_FindInTable(kEanPairKeys, kEanEntries, key);
        if (hit < 0) continue;
        // Twins share the pair sums and may score alike (2212 and 3121 differ by 40 on
        // clean widths): both are scored before either is taken at once.
        const bool twin = hit == 1 || hit == 2 || hit == 11 || hit == 12;
        const Scored one = ScoreEntry(&m, hit, *spreadLevel);
        if (!twin) {
            RankEntry(one, &best, &second, &accepted);
        } else {
            // Twins whose scores do not part cleanly are told apart by their balance.
            const Scored other = ScoreEntry(&m, hit + 6, *spreadLevel);
            const i32 apart = one.score > other.score ? one.score - other.score : other.score - one.score;
            const int keep = apart <= kEanTwinUndecided ? ClearTwin(unit, hit) : -1;
            if (keep != hit + 6) RankEntry(one, &best, &second, &accepted);
            if (keep != hit) RankEntry(other, &best, &second, &accepted);
        }
        if (accepted.score < kEanAtOnce) {
            Take(accepted, spreadLevel);
            return accepted.entry;
        }
    }
    if (best.entry < 0) return -1;
    const bool had = accepted.entry >= 0;
    const int decision = DecideCharacter(best, second, had);
    if (decision == 0) return -1;
    Take(decision == 1 && had ? accepted : best, spreadLevel);
    if (decision == 2) lineCleanRead = 0;
    return g_edgeReader.acceptedValue;
}

int Ean_ReadHalf(const u16 *edges, int elementCount, u8 *out, int direction) {
    if (edges == nullptr || out == nullptr || elementCount < 9) return 0;
    const int d = direction < 0 ? -1 : 1;
    EDGE_READER_STATE &s = g_edgeReader;
    Line_LoadSixWidths(edges, static_cast<i16>(d), 2);
    s.acceptedPattern = 0x11;
    u8 level = 5;
    const int chars = elementCount / 4 - 1;
    u32 previous = 0;
    int read = 0;
    for (int k = 0; k < chars; ++k) {
        const int at = 2 + 4 * k;  // the character's first edge, in steps
        const u16 before = Distance(edges[(at - 1) * d], edges[at * d]);
        Line_LoadSixWidths(&edges[at * d], static_cast<i16>(d), 4);
        const u32 current = s.totalWidth;
        const u32 unit = ((current + (k == 0 ? current : previous)) * 730u) >> 10;
        if (unit == 0 || unit > 0xFFFF) return 0;
        Line_SetSixFrame(before, Distance(edges[(at + 4) * d], edges[(at + 5) * d]), static_cast<u16>(unit));
        const int entry = Ean_DecodeCharacter(static_cast<u16>(unit), &level);
        if (entry < 0) return 0;
        out[k] = static_cast<u8>(entry);
        previous = current;
        ++read;
    }
    return read == (elementCount - 5) / 4 ? read : 0;
}

namespace {

bool SymbolOnLine(const LINE_DECODE_CTX *ctx, int elements) {
    if (ctx == nullptr || ctx->edgesBase == nullptr || ctx->data == nullptr || ctx->capacity < kEanTextRoom)
        return false;
    const i32 lo = ctx->startIndex < ctx->endIndex ? ctx->startIndex : ctx->endIndex;
    const i32 hi = ctx->startIndex < ctx->endIndex ? ctx->endIndex : ctx->startIndex;
    return hi - lo == elements && hi < ctx->edgeCount;
}

// Reverses count digits and changes their sets, as after a read from the other end.
void ReverseAndChangeSets(u8 *d, int count) {
    for (int a = 0, b = count - 1; a < b; ++a, --b) {
        const u8 t = d[a];
        d[a] = d[b];
        d[b] = t;
    }
    for (int k = 0; k < count; ++k) d[k] = ChangeSet(d[k]);
}

bool AllInL(const u8 *d, int count) {
    for (int k = 0; k < count; ++k)
        if (IsG(d[k])) return false;
    return true;
}

void Reduce(u8 *d, int count) {
    for (int k = 0; k < count; ++k) d[k] = static_cast<u8>(d[k] % 10);
}

// The two halves of an EAN-13 or EAN-8 candidate into d[0..2h-1].
bool ReadHalves(const LINE_DECODE_CTX *ctx, int elements, int halfElements, u8 *d, int forward) {
    const u16 *e = ctx->edgesBase + ctx->startIndex;
    const int half = (halfElements - 5) / 4;
    if (forward != 0)
        return Ean_ReadHalf(e + 1, halfElements, d, 1) == half &&
               Ean_ReadHalf(e + halfElements + 1, halfElements, d + half, 1) == half;
    if (Ean_ReadHalf(e + elements - 1, halfElements, d, -1) != half ||
        Ean_ReadHalf(e + halfElements, halfElements, d + half, -1) != half)
        return false;
    ReverseAndChangeSets(d, 2 * half);
    return true;
}

// A symbol read from the right (digit 0 or 1 in G) back into reading order; the orientation
// and the width of seven modules from the two guard elements at its end.
bool OrientHalves(const LINE_DECODE_CTX *ctx, u8 *d, int count, int elements, i16 *orientation, u32 *width) {
    const u16 *e = ctx->edgesBase + ctx->startIndex;
    u32 two = 0;
    if (IsG(d[0])) {
        if (!IsG(d[count - 1])) return false;
        ReverseAndChangeSets(d, count);
        *orientation = -1;
        two = static_cast<u32>(e[2] - e[0]);
    } else {
        if (IsG(d[count - 1])) return false;
        *orientation = 1;
        two = static_cast<u32>(e[elements] - e[elements - 2]);
    }
    *width = two * 7 / 2;
    return true;
}

u8 MainCheckDigit(const u8 *d, int count, int firstWeight) {
    u32 sum = 0;
    for (int k = 0; k < count; ++k) sum += d[k] * ((k % 2 == 0) ? firstWeight : 4 - firstWeight);
    return static_cast<u8>((10 - sum % 10) % 10);
}

}  // namespace

int Ean13_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward) {
    if (!SymbolOnLine(ctx, kEan13Elements) || ctx->startIndex > ctx->endIndex) return 0;
    u8 *d = ctx->data;
    if (!ReadHalves(ctx, kEan13Elements, 29, d + 1, forward)) return 0;
    if (!OrientHalves(ctx, d + 1, 12, kEan13Elements, orientation, width)) return 0;
    const i16 first = Line_FindInTable(kEan13FirstDigit, 10, 64 + Ean_ParityOf(d + 1, 6));
    if (first < 0 || !AllInL(d + 7, 6)) return 0;
    d[0] = static_cast<u8>(first);
    Reduce(d + 1, 6);
    return d[12] == MainCheckDigit(d, 12, 1) ? 13 : 0;
}

int Ean8_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward) {
    if (!SymbolOnLine(ctx, kEan8Elements) || ctx->startIndex > ctx->endIndex) return 0;
    u8 *d = ctx->data;
    if (!ReadHalves(ctx, kEan8Elements, 21, d, forward)) return 0;
    const bool reversed = IsG(d[0]);
    if (reversed ? Ean_ParityOf(d, 8) != 0xFF : !AllInL(d + 1, 7)) return 0;
    if (!OrientHalves(ctx, d, 8, kEan8Elements, orientation, width)) return 0;
    Reduce(d, 8);
    return d[7] == MainCheckDigit(d, 7, 3) ? 8 : 0;
}

namespace {

// The UPC-A equivalent's weighted sum of a UPC-E by its last digit.
u32 UpceCheckSum(const u8 *d) {
    const u32 ns = d[0], d1 = d[1], d2 = d[2], d3 = d[3], d4 = d[4], d5 = d[5], d6 = d[6];
    if (d6 <= 2) return 3 * ns + d1 + 3 * d2 + d6 + 3 * d3 + d4 + 3 * d5;
    if (d6 == 3) return 3 * ns + d1 + 3 * d2 + d3 + d4 + 3 * d5;
    if (d6 == 4) return 3 * ns + d1 + 3 * d2 + d3 + 3 * d4 + 3 * d5;
    return 3 * ns + d1 + 3 * d2 + d3 + 3 * d4 + d5 + 3 * d6;
}

}  // namespace

int Upce_ReadSymbol(LINE_DECODE_CTX *ctx, i16 *orientation, u32 *width, int forward) {
    if (!SymbolOnLine(ctx, kUpceElements)) return 0;
    const int dir = ctx->direction < 0 ? -1 : 1;
    const u16 *base = ctx->edgesBase;
    const i32 start = ctx->startIndex;
    u8 *d = ctx->data;
    if (forward != 0) {
        if (Ean_ReadHalf(base + start + dir, 29, d + 1, dir) != 6) return 0;
    } else {
        if (Ean_ReadHalf(base + start + 29 * dir, 29, d + 1, -dir) != 6) return 0;
        ReverseAndChangeSets(d + 1, 6);
    }
    const int ns = IsG(d[1]) ? 0 : 1;
    const i16 check = Line_FindInTable(kUpceParity[ns], 10, Ean_ParityOf(d + 1, 6));
    if (check < 0) return 0;
    d[0] = static_cast<u8>(ns);
    d[7] = static_cast<u8>(check);
    Reduce(d + 1, 6);
    const u16 *e = base + (start < ctx->endIndex ? start : ctx->endIndex);
    *orientation = static_cast<i16>(dir);
    *width = static_cast<u32>(dir < 0 ? e[4] - e[1] : e[32] - e[29]) * 7 / 3;
    return d[7] == (10 - UpceCheckSum(d) % 10) % 10 ? 8 : 0;
}

i32 Ean_ParityOf(const u8 *entries, int count) {
    i32 p = 0;
    for (int k = 0; k < count; ++k) p = p * 2 + (IsG(entries[k]) ? 1 : 0);
    return p;
}

int Ean_ConfirmRead(EAN_READ_STORE *store, const u8 *digits, u16 length) {
    if (store == nullptr || digits == nullptr || length > kEanStoreDigits) return 0;
    const bool same = store->agreeing != 0 && store->length == length && Line_TextEquals(store->digits, digits, length);
    if (lineCleanRead == 1) {
        if (same)
            lineMultiReadFlags |= kMultiReadConfirmed;
        else
            lineMultiReadFlags &= static_cast<u16>(~(kMultiReadConfirmed | kMultiReadPending));
        *store = EAN_READ_STORE{};
        return 1;
    }
    lineMultiReadFlags |= kMultiReadPending;
    if (store->agreeing != 0 && store->length > length) return 0;  // a longer read stays
    if (same) {
        // The fourth equal marginal read delivers.
        const bool deliver = store->agreeing >= 3;
        if (store->agreeing < 254) ++store->agreeing;
        if (!deliver) return 0;
        *store = EAN_READ_STORE{};
        lineMultiReadFlags &= static_cast<u16>(~kMultiReadPending);
        lineMultiReadFlags |= kMultiReadConfirmed;
        return 1;
    }
    *store = EAN_READ_STORE{};
    std::memcpy(store->digits, digits, length);
    store->length = length;
    store->agreeing = 1;
    return 0;
}

namespace {

bool Enabled(int id) { return (g_params.flagsWord[id] & kFlagEnabled) != 0; }

struct EAN_RECORD {
    int (*read)(LINE_DECODE_CTX *, i16 *, u32 *, int);
    int elements;
    EAN_READ_STORE *store;
};

// The add-on search of a forward attempt on the side the orientation gives; the digits go
// behind the main ones. *searched tells whether a search was made.
u16 SearchAddOn(const LINE_DECODE_CTX *ctx, const EAN_RECORD &rec, int main, i16 orientation, u32 W,
                bool *searched) {
    const u16 *base = ctx->edgesBase;
    const i32 n = ctx->edgeCount;
    const i32 lo = ctx->startIndex < ctx->endIndex ? ctx->startIndex : ctx->endIndex;
    const i32 hi = lo + rec.elements;
    u8 *out = ctx->data + main;
    *searched = false;
    if (orientation > 0) {
        *searched = true;
        return Ean_ReadAddOn(base + hi - 1, n - (hi - 1), 1, W, out);
    }
    if (rec.elements == kEan13Elements) return 0;  // a reversed EAN-13 gets no add-on from its line
    *searched = true;
    return Ean_ReadAddOn(base + lo + 1, lo + 2, -1, W, out);
}

u32 AddOnWord(const EAN_RECORD &rec, const u8 *digits) {
    if (rec.elements == kEan13Elements) return g_params.flagsWord[digits[0] == 0 ? kSymUpcA : kSymEan13];
    return g_params.flagsWord[rec.elements == kEan8Elements ? kSymEan8 : kSymUpcE];
}

u16 DecodeSlot(LINE_DECODE_CTX *ctx, const EAN_RECORD &rec) {
    if (!SymbolOnLine(ctx, rec.elements)) return 0;
    u16 addOn = 0;
    bool seen = false;
    for (const int forward : {1, 0}) {
        lineCleanRead = 1;
        i16 orientation = 1;
        u32 W = 0;
        const int main = rec.read(ctx, &orientation, &W, forward);
        if (main == 0) continue;
        ctx->direction = orientation;
        if (forward != 0) {
            bool searched = false;
            addOn = SearchAddOn(ctx, rec, main, orientation, W, &searched);
            seen = searched && addOnSeen != 0;
        }
        const u16 length = static_cast<u16>(main + addOn);
        if ((AddOnWord(rec, ctx->data) & (kFlagAddOn2 | kFlagAddOn5)) != 0 && addOn == 0 && seen) return 0;
        if (Ean_ConfirmRead(rec.store, ctx->data, length) == 1) return length;
    }
    return 0;
}

}  // namespace

void Ean13_Reset() { g_ean13Store = EAN_READ_STORE{}; }
void Ean8_Reset() { g_ean8Store = EAN_READ_STORE{}; }
void Upce_Reset() { g_upceStore = EAN_READ_STORE{}; }

int Ean13_IsEnabled() {
    return Enabled(kSymEan13) || Enabled(kSymIssn) || Enabled(kSymIsbn) || Enabled(kSymUpcA) ? 1 : 0;
}
int Ean8_IsEnabled() { return Enabled(kSymEan8) ? 1 : 0; }
int Upce_IsEnabled() { return Enabled(kSymUpcE) ? 1 : 0; }

int Ean_LocateGuards(LINE_LOCATE_STATE *state, int extra, int shift) {
    if (state == nullptr || state->edges == nullptr) return 0;
    const i32 n = state->edgeCount;
    const i32 L = 43 + extra;
    if (L >= n) return 0;
    for (i32 i = state->nextPos; i <= n - 1 - L; i += 2) {
        if (!EanCandidateFits(state->edges, i, n, extra, shift)) continue;
        state->startIndex = static_cast<u16>(i);
        state->endIndex = static_cast<u16>(i + L);
        return 1;
    }
    return 0;
}

int Ean13_Locate(LINE_LOCATE_STATE *state) { return Ean_LocateGuards(state, 16, 8); }
int Ean8_Locate(LINE_LOCATE_STATE *state) { return Ean_LocateGuards(state, 0, 0); }

int Upce_Locate(LINE_LOCATE_STATE *state) {
    if (state == nullptr || state->edges == nullptr) return 0;
    const i32 n = state->edgeCount;
    if (n <= kUpceElements) return 0;
    for (i32 i = state->nextPos; i <= n - 1 - kUpceElements; i += 2) {
        if (UpceForwardFits(state->edges, i, n)) {
            state->startIndex = static_cast<u16>(i);
            state->endIndex = static_cast<u16>(i + kUpceElements);
            return 1;
        }
        if (UpceReversedFits(state->edges, i, n)) {
            state->startIndex = static_cast<u16>(i + kUpceElements);
            state->endIndex = static_cast<u16>(i);
            return 1;
        }
    }
    return 0;
}

u16 Ean13_Decode(LINE_DECODE_CTX *ctx) { return DecodeSlot(ctx, {&Ean13_ReadSymbol, kEan13Elements, &g_ean13Store}); }
u16 Ean8_Decode(LINE_DECODE_CTX *ctx) { return DecodeSlot(ctx, {&Ean8_ReadSymbol, kEan8Elements, &g_ean8Store}); }
u16 Upce_Decode(LINE_DECODE_CTX *ctx) { return DecodeSlot(ctx, {&Upce_ReadSymbol, kUpceElements, &g_upceStore}); }

}  // namespace vexo
