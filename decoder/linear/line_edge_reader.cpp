#include "linear/line_edge_reader.h"

#include <initializer_list>

#include "linear/line_toolkit.h"

namespace vexo {

EDGE_READER_STATE g_edgeReader;
u16 g_edgeReaderParams[8];

namespace {

// Column of the correction table by (neighbour modules - 1, element modules - 1); rows and
// columns beyond 4 repeat the last ones.
constexpr i8 kSpreadColumns[4][9] = {
    {-1, 0, 1, 3, 3, 3, 3, 3, 3},
    {0, -1, 2, 4, 4, 4, 4, 4, 4},
    {1, 2, -1, -1, -1, -1, -1, -1, -1},
    {3, 4, -1, -1, -1, -1, -1, -1, -1},
};
static_assert(sizeof kSpreadColumns == 36);

// Width correction in 1/256 module by spread level (0..10) and column.
constexpr u8 kSpreadCorrections[kSixLevels][5] = {
    {3, 3, 1, 3, 1},      {7, 7, 1, 7, 1},      {13, 13, 1, 13, 1},   {20, 22, 1, 22, 1},
    {28, 31, 3, 31, 3},   {35, 41, 6, 41, 6},   {41, 51, 8, 52, 10},  {46, 61, 13, 63, 15},
    {51, 70, 17, 75, 20}, {53, 79, 22, 83, 26}, {54, 85, 27, 93, 33},
};
static_assert(sizeof kSpreadCorrections == 55);

constexpr i32 kNoScore = 1 << 30;
constexpr int kSixPairs = 5;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

u16 Distance(u16 a, u16 b) { return static_cast<u16>(a > b ? a - b : b - a); }

// Module count of digit k (0 = most significant) of a six-digit pattern.
u8 Digit(u32 pattern, int k) { return static_cast<u8>((pattern >> (4 * (5 - k))) & 0xF); }

i32 ElementTerm(const i32 *corrected, const u8 *modules, int first, int elements) {
    i32 expected = 0;
    i32 sum = 0;
    for (int i = first; i < elements; i += 2) {
        expected += modules[i];
        sum += corrected[i];
    }
    if (sum <= 0) return kNoScore / 4;
    i32 dev = 0;
    for (int i = first; i < elements; i += 2) {
        const i32 share = static_cast<i32>(static_cast<i64>(corrected[i]) * expected * 100 / sum);
        const i32 want = modules[i] * 100;
        const i32 d = Abs(share - want);
        const bool lenient = (modules[i] == 1 && share < 100) || (modules[i] == 4 && share > 400);
        dev += lenient ? d / 3 : d;
    }
    return dev;
}

struct Candidate {
    i32 score = kNoScore;
    u16 value = 0;
    u32 pattern = 0;
    u8 level = 0;
};

i16 FindKey(const u32 *keys, u16 count, u32 key) {
    for (u16 i = 0; i < count; ++i)
        if (keys[i] == key) return static_cast<i16>(i);
    return -1;
}

void Commit(const Candidate &c, u8 *spreadLevel) {
    g_edgeReader.acceptedValue = c.value;
    g_edgeReader.acceptedPattern = c.pattern;
    *spreadLevel = c.level;
}

}  // namespace

SIX_MEASURE Line_MeasureLoaded(u16 unit) {
    const EDGE_READER_STATE &s = g_edgeReader;
    SIX_MEASURE m{};
    m.elements = static_cast<u8>(s.loadedCount < 2 ? 2 : (s.loadedCount > 6 ? 6 : s.loadedCount));
    m.unit = unit;
    m.width[0] = 10 * s.beforeWidth;
    m.modules[0] = s.beforeModules;
    for (int i = 0; i < m.elements; ++i) m.width[i + 1] = 10 * s.elementWidths[i];
    m.width[m.elements + 1] = 10 * s.afterWidth;
    m.modules[m.elements + 1] = s.afterModules;
    return m;
}

u32 Line_ReverseDigits(u32 value, int digits) {
    u32 out = 0;
    for (int k = 0; k < digits; ++k) {
        out = (out << 4) | (value & 0xF);
        value >>= 4;
    }
    return out;
}

int Line_SpreadColumn(int neighbourModules, int elementModules) {
    if (neighbourModules < 1 || elementModules < 1) return -1;
    const int row = (neighbourModules > 4 ? 4 : neighbourModules) - 1;
    const int col = (elementModules > 9 ? 9 : elementModules) - 1;
    return kSpreadColumns[row][col];
}

int Line_SpreadCorrection(int level, int column) {
    if (level < 0 || level >= kSixLevels || column < 0 || column > 4) return 0;
    return kSpreadCorrections[level][column];
}

void Line_LoadSixWidths(const u16 *edges, i16 direction, u8 count) {
    EDGE_READER_STATE &s = g_edgeReader;
    if (count > kSixMaxElements) count = kSixMaxElements;
    const int d = direction < 0 ? -1 : 1;
    u32 total = 0;
    for (int k = 0; k < count; ++k) {
        s.elementWidths[k] = Distance(edges[k * d], edges[(k + 1) * d]);
        total += s.elementWidths[k];
    }
    for (int k = 0; k + 1 < count; ++k)
        s.pairSums[k] = static_cast<u16>(s.elementWidths[k] + s.elementWidths[k + 1]);
    s.totalWidth = static_cast<u16>(total > 0xFFFF ? 0xFFFF : total);
    s.loadedCount = count;
}

void Line_PairBand(u32 v, int wide, u8 out[2]) {
    struct Band {
        u32 below;
        u8 first, second;
    };
    // Thousandths of a module; a band between two whole counts offers both.
    static constexpr Band kBands[] = {{2300, 2, 0}, {2800, 2, 3}, {3200, 3, 0}, {3800, 3, 4}, {4100, 4, 0},
                                      {4600, 4, 5}, {4800, 5, 0}, {5600, 5, 6}, {6500, 6, 7}};
    static_assert(sizeof kBands / sizeof kBands[0] == 9);
    out[0] = 7;
    out[1] = 0;
    for (const Band &b : kBands) {
        if (v < b.below) {
            out[0] = b.first;
            out[1] = b.second;
            break;
        }
    }
    if (wide == 0 && v >= 4600) {
        out[0] = 5;
        out[1] = 0;
    }
}

u32 Line_PairCandidates(u16 unit, int wide) {
    EDGE_READER_STATE &s = g_edgeReader;
    if (unit == 0) {
        for (auto &c : s.pairCandidates) c[0] = c[1] = 0;
        return 0;
    }
    const u32 scale = 2560000u / unit;
    for (int k = 0; k + 1 < s.loadedCount && k < kSixMaxElements - 1; ++k) {
        const u64 v = (static_cast<u64>(s.pairSums[k]) * scale) >> 8;
        Line_PairBand(v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(v), wide, s.pairCandidates[k]);
    }
    return scale;
}

i32 Line_PairDeviation(const i32 *corrected, const u8 *modules, i32 unit, int elements) {
    if (unit <= 0 || elements < 2 || elements > 6) return kNoScore / 4;
    i32 dev = 0;
    for (int i = 0; i + 1 < elements; ++i) {
        const i32 f = static_cast<i32>(static_cast<i64>(corrected[i] + corrected[i + 1]) * 100 / unit);
        const i32 e = (modules[i] + modules[i + 1]) * 100;
        dev += (e == 200 && f < 200) ? (200 - f) / 3 : Abs(f - e);
    }
    return dev + ElementTerm(corrected, modules, 0, elements) + ElementTerm(corrected, modules, 1, elements);
}

i32 Line_SpreadDeviation(const SIX_MEASURE *m, int level) {
    const int n = m->elements >= 2 && m->elements <= 6 ? m->elements : 6;
    i32 corrected[6];
    for (int i = 1; i <= n; ++i) {
        i32 g = 0;
        for (const int nb : {i - 1, i + 1}) {
            const int col = Line_SpreadColumn(m->modules[nb], m->modules[i]);
            if (col < 0) continue;
            const i32 c = Line_SpreadCorrection(level, col);
            g += m->modules[i] < m->modules[nb] ? c : -c;
        }
        corrected[i - 1] = (m->width[i] * 256 - m->unit * g + 128) / 256;
    }
    return Line_PairDeviation(corrected, m->modules + 1, m->unit, n);
}

int Line_BestSpread(const SIX_MEASURE *m, int startLevel, i32 *deviation) {
    int level = startLevel < 0 ? 0 : (startLevel > 10 ? 10 : startLevel);
    i32 d = Line_SpreadDeviation(m, level);
    bool moved = false;
    while (level < 10) {
        const i32 up = Line_SpreadDeviation(m, level + 1);
        if (up >= d) break;
        d = up;
        ++level;
        moved = true;
    }
    while (!moved && level > 0) {
        const i32 down = Line_SpreadDeviation(m, level - 1);
        if (down >= d) break;
        d = down;
        --level;
    }
    if (deviation != nullptr) *deviation = d;
    return level;
}

int Line_DecideSixChar(i32 best, i32 second, int hadAccepted, const u16 *q) {
    const i32 margin = Abs(best - second);
    const i32 q1 = q[kSixLoose];
    const i32 q2 = q[kSixMargin];
    const i32 q3 = q[kSixLooseMargin];
    if (hadAccepted != 0) {
        if (margin >= q2) return 1;
        return margin >= q2 - 40 ? 2 : 0;
    }
    if (best < q1 && margin > q3) return 1;
    if (best <= q1 + 149 && margin >= q3 - 79) return 2;
    return 0;
}

void Line_SetSixFrame(u16 beforeWidth, u16 afterWidth, u16 unit) {
    EDGE_READER_STATE &s = g_edgeReader;
    s.beforeWidth = beforeWidth;
    s.beforeModules = static_cast<u8>(s.acceptedPattern & 0xF);
    if (s.beforeModules == 0) s.beforeModules = 1;
    u32 after = unit != 0 ? (unit / 2u + 10u * afterWidth) / unit : 4;
    if (after < 1) after = 1;
    if (after > 4) after = 4;
    s.afterWidth = afterWidth;
    s.afterModules = static_cast<u8>(after);
}

int Line_ReadSixChar(u16 unit, u8 *spreadLevel, const u32 *patterns, const u32 *pairKeys, u16 count, int forward) {
    EDGE_READER_STATE &s = g_edgeReader;
    if (unit == 0 || s.loadedCount < 6 || patterns == nullptr || pairKeys == nullptr || spreadLevel == nullptr)
        return 0;
    Line_PairCandidates(unit, 1);
    SIX_MEASURE m = Line_MeasureLoaded(unit);
    const u16 *q = g_edgeReaderParams;
    Candidate best, second, accepted;
    for (u32 combo = 0; combo < (1u << kSixPairs); ++combo) {
        u32 key = 0;
        bool valid = true;
        for (int j = 0; j < kSixPairs && valid; ++j) {
            const int pick = (combo >> (kSixPairs - 1 - j)) & 1;
            const u8 c = s.pairCandidates[j][pick];
            valid = c != 0;
            key = (key << 4) | c;
        }
        if (!valid) continue;
        if (forward == 0) key = Line_ReverseDigits(key, kSixPairs);
        const i16 index = FindKey(pairKeys, count, key);
        if (index < 0) continue;
        Candidate c;
        c.value = static_cast<u16>(index);
        c.pattern = forward != 0 ? patterns[index] : Line_ReverseDigits(patterns[index], 6);
        for (int k = 0; k < 6; ++k) m.modules[k + 1] = Digit(c.pattern, k);
        c.level = static_cast<u8>(Line_BestSpread(&m, *spreadLevel, &c.score));
        if (c.score < best.score) {
            second = best;
            best = c;
        } else if (c.score < second.score) {
            second = c;
        }
        if (c.score < accepted.score && c.score < q[kSixAccept]) {
            accepted = c;
            if (c.score <= q[kSixAtOnce]) {
                Commit(c, spreadLevel);
                return 1;
            }
        }
    }
    const bool had = accepted.score != kNoScore;
    const int decision = Line_DecideSixChar(best.score, second.score, had ? 1 : 0, q);
    if (decision == 0) return 0;
    Commit(had ? accepted : best, spreadLevel);
    if (decision == 2) lineCleanRead = 0;
    return 1;
}

int Line_ReadSixSymbol(LINE_DECODE_CTX *ctx, u8 symbologyId, u8 unitFactor, const u32 *patterns,
                       const u32 *pairKeys, u16 count, int firstPass) {
    (void)symbologyId;  // only Code 93 reads whole symbols here
    if (ctx == nullptr || ctx->edgesBase == nullptr || ctx->data == nullptr) return 0;
    const i32 d = ctx->direction < 0 ? -1 : 1;
    const i32 n = ctx->edgeCount;
    const u16 *e = ctx->edgesBase;
    i32 p = ctx->startIndex + (firstPass != 0 ? 0 : d);
    auto onLine = [n](i32 idx) { return idx >= 0 && idx < n; };
    if (!onLine(p) || !onLine(p + 6 * d)) return 0;
    Line_LoadSixWidths(&e[p], static_cast<i16>(d), 6);
    g_edgeReader.acceptedPattern = firstPass != 0 ? 0x111141u : 0x141111u;
    u8 level = 5;
    u16 length = 0;
    p += 6 * d;
    for (i32 left = static_cast<i32>(ctx->elementCount) - 14; left >= 5; left -= 6, p += 6 * d) {
        if (!onLine(p - d) || !onLine(p + 7 * d)) return 0;
        const u32 previous = g_edgeReader.totalWidth;
        const u16 before = Distance(e[p - d], e[p]);
        Line_LoadSixWidths(&e[p], static_cast<i16>(d), 6);
        const u32 unit = (g_edgeReader.totalWidth + previous) * unitFactor * 5u / 512u;
        if (unit == 0 || unit > 0xFFFF) return 0;
        Line_SetSixFrame(before, Distance(e[p + 6 * d], e[p + 7 * d]), static_cast<u16>(unit));
        if (Line_ReadSixChar(static_cast<u16>(unit), &level, patterns, pairKeys, count, firstPass) != 1) return 0;
        if (length >= ctx->capacity) return 0;
        ctx->data[length++] = static_cast<u8>(g_edgeReader.acceptedValue);
    }
    ctx->length = length;
    return 1;
}

}  // namespace vexo
