// GS1 DataBar Expanded and Expanded stacked: runs of symbol-character pairs read on one line,
// voted into a store that lives across lines, and, once the store holds a whole consistent
// pair sequence, the checksum and the element strings of the bit stream.
#include <cstring>

#include "linear/databar.h"
#include "linear/line_toolkit.h"

namespace vexo {

namespace {

constexpr i32 Finder(i32 a, i32 b, i32 c, i32 d) { return a << 16 | b << 12 | c << 8 | d << 4 | 1; }

struct WEIGHT_ROWS {
    u8 v[2 * kExpandedFinderIds][9];
};

// Row 0 weighs the check character (nothing); row j of the others weighs element i with
// 3^(8(j - 1) + i) mod 211.
constexpr WEIGHT_ROWS MakeWeights() {
    WEIGHT_ROWS t{};
    int p = 1;
    for (int j = 0; j < 2 * kExpandedFinderIds; ++j) {
        t.v[j][0] = static_cast<u8>(j / 2);
        for (int i = 0; i < 8 && j > 0; ++i) {
            t.v[j][1 + i] = static_cast<u8>(p);
            p = p * 3 % 211;
        }
    }
    return t;
}
constexpr WEIGHT_ROWS kWeightRows = MakeWeights();
static_assert(kWeightRows.v[1][1] == 1 && kWeightRows.v[1][6] == 32 && kWeightRows.v[0][8] == 0);

constexpr u32 kMetaCount = 0xFFu;
constexpr int kMetaStreakShift = 18;
constexpr u32 kMetaStreak = 7u << kMetaStreakShift;
constexpr u32 kMetaNoRight = 1u << 21;
constexpr int kMetaSequenceShift = 22;

}  // namespace

const i32 kExpandedFinderKeys[kExpandedFinders] = {
    Finder(1, 8, 4, 1), Finder(3, 6, 4, 1), Finder(3, 4, 6, 1),
    Finder(3, 2, 8, 1), Finder(2, 6, 5, 1), Finder(2, 2, 9, 1),
};

const DATABAR_GROUP kExpandedGroupTable[kExpandedGroups] = {
    {0, 12, 5, 7, 2, 87, 4},
    {348, 10, 7, 5, 4, 52, 20},
    {1388, 8, 9, 4, 5, 30, 52},
    {2948, 6, 11, 3, 6, 10, 104},
    {3988, 4, 13, 1, 8, 1, 204},
};
static_assert(3988 + 204 == 4192, "Expanded values fill 0..4191");

const u8 kExpandedWeights[2 * kExpandedFinderIds][9] = {
#define ROW(j)                                                                                                     \
    {kWeightRows.v[j][0], kWeightRows.v[j][1], kWeightRows.v[j][2], kWeightRows.v[j][3], kWeightRows.v[j][4],      \
     kWeightRows.v[j][5], kWeightRows.v[j][6], kWeightRows.v[j][7], kWeightRows.v[j][8]}
    ROW(0),  ROW(1),  ROW(2),  ROW(3),  ROW(4),  ROW(5),  ROW(6),  ROW(7),  ROW(8),  ROW(9),  ROW(10), ROW(11),
    ROW(12), ROW(13), ROW(14), ROW(15), ROW(16), ROW(17), ROW(18), ROW(19), ROW(20), ROW(21), ROW(22), ROW(23),
#undef ROW
};

// Finder ids (2 x letter, + 1 for the second form) of symbols of 2 to 11 pairs.
const u8 kExpandedSequenceTable[kExpandedSequences][kExpandedMaxPairs] = {
    {0, 1},
    {0, 3, 2},
    {0, 5, 2, 7},
    {0, 9, 2, 7, 4},
    {0, 9, 2, 7, 6, 11},
    {0, 9, 2, 7, 8, 11, 10},
    {0, 1, 2, 3, 4, 5, 6, 7},
    {0, 1, 2, 3, 4, 5, 6, 9, 8},
    {0, 1, 2, 3, 4, 5, 6, 9, 10, 11},
    {0, 1, 2, 3, 4, 7, 6, 9, 8, 11, 10},
};
const u8 kExpandedLastFinder[kExpandedSequences] = {1, 2, 7, 4, 11, 10, 7, 8, 11, 10};

EXPANDED_STATE g_dataBarExpanded;

namespace {

i32 Abs(i32 v) { return v < 0 ? -v : v; }

bool Within(i32 a, i32 b, i32 num, i32 den) { return den * a <= num * b && den * b <= num * a; }

int EntryCount(int id) { return static_cast<int>(g_dataBarExpanded.occupancy >> (30 - 2 * id) & 3u); }

void SetEntryCount(int id, int count) {
    const u32 shift = static_cast<u32>(30 - 2 * id);
    g_dataBarExpanded.occupancy = (g_dataBarExpanded.occupancy & ~(3u << shift)) | (static_cast<u32>(count) << shift);
}

}  // namespace

int DataBar_ReadExpandedFinder(const i32 *pos, int keyOrder) {
    i32 w[5];
    for (int k = 0; k < 5; ++k) {
        const i32 width = Abs(pos[k + 1] - pos[k]);
        w[keyOrder ? k : 4 - k] = width;
    }
    const i32 T = w[0] + w[1] + w[2] + w[3] + w[4];
    if (T <= 0) return -1;
    const i32 tail = w[3] + w[4];
    if (w[0] + w[1] < tail || w[1] + w[2] < tail || w[2] + w[3] < tail) return -1;
    if (30 * (w[0] + w[1]) < 6 * T || 30 * (w[1] + w[2]) < 19 * T || 30 * tail < 3 * T || 30 * tail > 6 * T) return -1;
    i32 tenths[5];
    for (int k = 0; k < 5; ++k) tenths[k] = (T + 300 * w[k]) / (2 * T);
    int best = -1;
    i32 bestDistance = 150;
    for (int f = 0; f < kExpandedFinders; ++f) {
        i32 distance = 0;
        for (int k = 0; k < 5; ++k) distance += Abs(tenths[k] - 10 * (kExpandedFinderKeys[f] >> (16 - 4 * k) & 0xF));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = f;
        }
    }
    if (best < 0 || bestDistance > 40) return -1;
    i32 large = 0;
    for (int k = 0; k < 5; ++k) {
        const i32 d = Abs(tenths[k] - 10 * (kExpandedFinderKeys[best] >> (16 - 4 * k) & 0xF));
        if (d >= 5) large += d;
    }
    if (large > 25) return -1;
    return 2 * best + (keyOrder ? 0 : 1);
}

u32 DataBar_ReadExpandedWord(const i32 *pos) {
    i32 w[8];
    for (int k = 0; k < 8; ++k) w[k] = Abs(pos[k + 1] - pos[k]);
    const i32 T = Abs(pos[8] - pos[0]);
    if (T <= 0) return 0;
    i32 pairs[7], m[8];
    for (int k = 0; k < 7; ++k) pairs[k] = (T + 34 * (w[k] + w[k + 1])) / (2 * T);
    Line_PairsToWidthsEven(pairs, m, 17, 4);
    u32 word = 0;
    i32 sum = 0;
    for (int k = 0; k < 8; ++k) {
        if (m[k] < 1 || m[k] > 8) return 0;
        sum += m[k];
        word = word << 4 | static_cast<u32>(m[k]);
    }
    return sum == 17 ? word : 0;
}

i32 DataBar_ExpandedValue(u32 word, const u8 *weights, i32 *sum) {
    i32 odd[4], even[4];
    i32 oddSum = 0, evenSum = 0;
    for (int k = 0; k < 4; ++k) {
        odd[k] = static_cast<i32>(word >> (28 - 8 * k) & 0xF);
        even[k] = static_cast<i32>(word >> (24 - 8 * k) & 0xF);
        oddSum += odd[k];
        evenSum += even[k];
    }
    for (int g = 0; g < kExpandedGroups; ++g) {
        const DATABAR_GROUP &G = kExpandedGroupTable[g];
        if (oddSum != G.oddModules || evenSum != G.evenModules) continue;
        for (int k = 0; k < 4; ++k)
            if (odd[k] > G.widestOdd || even[k] > G.widestEven) return -1;
        const i32 vOdd = Line_DataBarValue(odd, 4, G.widestOdd, 0);
        const i32 vEven = Line_DataBarValue(even, 4, G.widestEven, 1);
        if (vOdd < 0 || vEven < 0 || vOdd >= G.oddCount || vEven >= G.evenCount) return -1;
        if (sum != nullptr && weights != nullptr)
            for (int k = 0; k < 4; ++k) *sum += odd[k] * weights[2 * k] + even[k] * weights[2 * k + 1];
        return vOdd * G.evenCount + vEven + G.first;
    }
    return -1;
}

namespace {

// Whether the left character read in symbol order from line element `first` starts on a
// space, which puts the finder in the key's order.
int KeyOrder(u32 p, int first) { return (p + static_cast<u32>(first)) % 2 == 1 ? 1 : 0; }

// One pair at edge p; the elements it consumed (13 or 21), 0 none. *mirrored tells which
// kind was read.
int ReadPair(const u16 *e, u32 n, u32 p, EXPANDED_PAIR *pair, int *mirrored) {
    if (p + 13 >= n) return 0;
    i32 P[22];
    const u32 have = p + 21 < n ? 21 : 13;
    for (u32 k = 0; k <= have; ++k) P[k] = e[p + k];
    const bool full = have == 21;
    *pair = EXPANDED_PAIR{};
    // Left character, finder, right character.
    const i32 C = P[8] - P[0], F = P[13] - P[8];
    if (Within(C, F, 13, 10)) {
        const int order = KeyOrder(p, 0);
        const i32 ones = order ? P[13] - P[11] : P[10] - P[8];
        const i32 beside = order ? P[11] - P[9] : P[12] - P[10];
        const int id = 4 * ones < beside ? DataBar_ReadExpandedFinder(P + 8, order) : -1;
        const u32 left = id >= 0 ? DataBar_ReadExpandedWord(P) : 0;
        if (left != 0) {
            pair->left = left;
            pair->finder = static_cast<u16>(id);
            *mirrored = 0;
            if (full && Within(P[13] - P[0], P[21] - P[8], 5, 4)) {
                i32 R[9];
                for (int k = 0; k <= 8; ++k) R[k] = P[21 - k];
                pair->right = DataBar_ReadExpandedWord(R);
            }
            return pair->right != 0 ? 21 : 13;
        }
    }
    // Right character, finder, left character: a pair of a symbol lying against the line.
    if (full && Within(P[13] - P[0], P[21] - P[8], 5, 4)) {
        i32 S[6], L[9];
        for (int k = 0; k <= 5; ++k) S[k] = P[13 - k];
        for (int k = 0; k <= 8; ++k) L[k] = P[21 - k];
        const int id = DataBar_ReadExpandedFinder(S, KeyOrder(p, 20));
        const u32 left = id >= 0 ? DataBar_ReadExpandedWord(L) : 0;
        if (left != 0) {
            pair->left = left;
            pair->finder = static_cast<u16>(id);
            pair->right = DataBar_ReadExpandedWord(P);
            *mirrored = 1;
            return pair->right != 0 ? 21 : 13;
        }
    }
    // Finder then character: the last pair of a symbol lying against the line, without its
    // right character.
    if (Within(P[5] - P[0], P[13] - P[5], 13, 10)) {
        i32 S[6], L[9];
        for (int k = 0; k <= 5; ++k) S[k] = P[5 - k];
        for (int k = 0; k <= 8; ++k) L[k] = P[13 - k];
        const int id = DataBar_ReadExpandedFinder(S, KeyOrder(p, 12));
        const u32 left = id >= 0 ? DataBar_ReadExpandedWord(L) : 0;
        if (left != 0) {
            pair->left = left;
            pair->finder = static_cast<u16>(id);
            *mirrored = 1;
            return 13;
        }
    }
    return 0;
}

}  // namespace

void DataBar_ResetExpanded() { g_dataBarExpanded = EXPANDED_STATE{}; }

int DataBar_LocateExpanded(LINE_LOCATE_STATE *st) {
    EXPANDED_STATE &X = g_dataBarExpanded;
    X.lineCount = 0;
    if (st->edges == nullptr) return 0;
    const u16 *e = st->edges;
    const u32 n = st->edgeCount;
    for (u32 p = st->nextPos; p + 13 < n; ++p) {
        EXPANDED_PAIR first;
        int mirrored = 0;
        int used = ReadPair(e, n, p, &first, &mirrored);
        if (used == 0) continue;
        EXPANDED_PAIR run[kExpandedMaxPairs];
        int count = 0;
        run[count++] = first;
        u32 at = p + static_cast<u32>(used);
        // A forward run ends with its pair without a right character; a mirrored one begins
        // with it (the symbol's last pair comes first on the line).
        bool open = mirrored ? true : first.right != 0;
        while (open && count < kExpandedMaxPairs) {
            EXPANDED_PAIR next;
            int nextMirrored = 0;
            const int n2 = ReadPair(e, n, at, &next, &nextMirrored);
            if (n2 == 0 || nextMirrored != mirrored) break;
            run[count++] = next;
            at += static_cast<u32>(n2);
            open = next.right != 0;
        }
        for (int k = 0; k < count; ++k) X.line[k] = mirrored ? run[count - 1 - k] : run[k];
        X.lineCount = static_cast<u16>(count);
        const u32 last = at - 1 < n ? at : n - 1;
        st->startIndex = static_cast<u16>(mirrored ? last : p);
        st->endIndex = static_cast<u16>(mirrored ? p : last);
        st->nextPos = static_cast<u16>(last + 1);
        return 1;
    }
    st->phase = 1;
    return 0;
}

namespace {

// Candidate sequences of the line's pairs (bit 9 - r for row r, as bits 31 - r of a meta
// word shifted down by 22); the largest candidate row in *longest.
u32 Candidates(int *longest) {
    EXPANDED_STATE &X = g_dataBarExpanded;
    const int n = X.lineCount;
    u32 cands = 0;
    *longest = -1;
    if (X.line[0].finder == 0) {
        const i32 v = DataBar_ExpandedValue(X.line[0].left, nullptr, nullptr);
        if (v < 0 || v > 4008) return 0;
        X.line[0].left = static_cast<u32>(v);
        const int p = (v / 211 + 3) / 2 + 1;
        const int r = p - 2;
        if (r < 0 || r >= kExpandedSequences || n > r + 2) return 0;
        for (int k = 0; k < n; ++k)
            if (kExpandedSequenceTable[r][k] != X.line[k].finder) return 0;
        *longest = r;
        return 1u << (9 - r);
    }
    for (int r = n - 2 > 0 ? n - 2 : 0; r < kExpandedSequences; ++r) {
        const int len = r + 2;
        for (int at = 0; at + n <= len; ++at) {
            bool match = true;
            for (int k = 0; k < n && match; ++k) match = kExpandedSequenceTable[r][at + k] == X.line[k].finder;
            if (match) {
                cands |= 1u << (9 - r);
                *longest = r;
                break;
            }
        }
    }
    return cands;
}

u32 Streak(u32 meta) { return (meta & kMetaStreak) >> kMetaStreakShift; }

bool MovesAhead(const EXPANDED_ENTRY &later, const EXPANDED_ENTRY &earlier) {
    const u32 a = Streak(later.meta), b = Streak(earlier.meta);
    if (a > 2) return true;
    return b <= 2 && (later.meta & kMetaCount) >= (earlier.meta & kMetaCount);
}

// Votes one pair into the store; true when the store changed its first entries.
bool VotePair(const EXPANDED_PAIR &pair, u32 cands) {
    EXPANDED_STATE &X = g_dataBarExpanded;
    const int id = pair.finder;
    EXPANDED_ENTRY *entries = X.store[id];
    const int used = EntryCount(id);
    bool changed = false;
    int matched = -1;
    for (int k = 0; k < used; ++k) {
        EXPANDED_ENTRY &en = entries[k];
        if (((en.meta >> kMetaSequenceShift) & cands) == 0 || en.left != pair.left || en.right != pair.right) continue;
        matched = k;
        if ((en.meta & kMetaCount) < kMetaCount) ++en.meta;
        en.meta |= cands << kMetaSequenceShift;
        if (Streak(en.meta) < 7) {
            en.meta += 1u << kMetaStreakShift;
            if (k != 0)
                for (int o = 0; o < used; ++o)
                    if (o != k) entries[o].meta &= ~kMetaStreak;
        }
        break;
    }
    if (matched < 0) {
        int slot = used;
        if (used < kExpandedEntries) {
            if (used == 0) changed = true;
            SetEntryCount(id, used + 1);
        } else {
            slot = kExpandedEntries - 1;
        }
        entries[slot] = EXPANDED_ENTRY{pair.left, pair.finder, pair.right,
                                       1u | (1u << kMetaStreakShift) | (pair.right == 0 ? kMetaNoRight : 0) |
                                           (cands << kMetaSequenceShift)};
        for (int o = 0; o < EntryCount(id); ++o)
            if (o != slot) entries[o].meta &= ~kMetaStreak;
    }
    const int count = EntryCount(id);
    const EXPANDED_ENTRY firstBefore = entries[0];
    auto order = [&](int a) {
        if (a + 1 < count && MovesAhead(entries[a + 1], entries[a])) {
            const EXPANDED_ENTRY t = entries[a];
            entries[a] = entries[a + 1];
            entries[a + 1] = t;
        }
    };
    if (count == 3) {
        order(1);
        order(0);
        order(1);
    } else if (count == 2) {
        order(0);
    }
    if (std::memcmp(&firstBefore, &entries[0], sizeof firstBefore) != 0 &&
        (firstBefore.left != entries[0].left || firstBefore.right != entries[0].right))
        changed = true;
    return changed;
}

// The symbol from the first entries of the store: text length, 0 when it is not whole or
// not consistent.
u16 Complete(LINE_DECODE_CTX *ctx, u32 *linked) {
    EXPANDED_STATE &X = g_dataBarExpanded;
    if (EntryCount(0) == 0) return 0;
    const i32 v = static_cast<i32>(X.store[0][0].left);
    if (v < 0 || v > 4008) return 0;
    const int N = v / 211 + 4;
    const int p = (N - 1) / 2 + 1;
    const int r = p - 2;
    if (r < 0 || r >= kExpandedSequences) return 0;
    EXPANDED_ENTRY pairs[kExpandedMaxPairs];
    for (int k = 0; k < p; ++k) {
        const int id = kExpandedSequenceTable[r][k];
        if (EntryCount(id) == 0) return 0;
        pairs[k] = X.store[id][0];
        if (k + 1 < p && pairs[k].right == 0) return 0;
    }
    const int chars = pairs[p - 1].right == 0 ? 2 * p - 1 : 2 * p;
    if (v / 211 != chars - 4) return 0;
    i32 values[2 * kExpandedMaxPairs];
    int count = 0;
    i32 sum = 0;
    for (int k = 0; k < p; ++k) {
        const int id = static_cast<int>(pairs[k].finder);
        if (k > 0) {
            values[count] = DataBar_ExpandedValue(pairs[k].left, &kExpandedWeights[2 * id][1], &sum);
            if (values[count++] < 0) return 0;
        }
        if (pairs[k].right != 0) {
            values[count] = DataBar_ExpandedValue(pairs[k].right, &kExpandedWeights[2 * id + 1][1], &sum);
            if (values[count++] < 0) return 0;
        }
    }
    if (sum % 211 != v % 211 || count != chars - 1) return 0;
    u8 bits[12 * 2 * kExpandedMaxPairs];
    for (int c = 0; c < count; ++c)
        for (int b = 0; b < 12; ++b) bits[12 * c + b] = static_cast<u8>(values[c] >> (11 - b) & 1);
    const u16 length = DataBar_DecodeExpandedBits(bits, 12 * count, chars, ctx->data, ctx->capacity);
    if (length == 0) return 0;
    *linked = bits[0];
    for (int id = 0; id < kExpandedFinderIds; ++id)
        for (EXPANDED_ENTRY &en : X.store[id]) en.meta &= ~kMetaCount;
    X.occupancy = 0;
    return length;
}

}  // namespace

u16 DataBar_DecodeExpanded(LINE_DECODE_CTX *ctx) {
    EXPANDED_STATE &X = g_dataBarExpanded;
    if (X.lineCount == 0 || ctx->data == nullptr || ctx->capacity <= 76) return 0;
    LINE_AUX *aux = ctx->aux;
    if (aux == nullptr || aux->segmentCapacity < X.lineCount || aux->segments == nullptr) return 0;
    const bool firstIsA1 = X.line[0].finder == 0;
    int longest = -1;
    const u32 cands = Candidates(&longest);
    aux->kind = 1;
    aux->variant = kDataBarExpanded;
    aux->segmentCount = X.lineCount;
    for (int k = 0; k < X.lineCount; ++k) {
        aux->segments[k] = LINE_AUX_ENTRY{};
        aux->segments[k].value1 = static_cast<i32>(X.line[k].left);
        aux->segments[k].value2 = static_cast<i32>(X.line[k].right);
        aux->segments[k].finder = X.line[k].finder;
        aux->segments[k].present = 1;
    }
    if (!firstIsA1) ctx->direction = 0;
    if (cands == 0) return 0;
    bool changed = false;
    for (int k = 0; k < X.lineCount; ++k) {
        const EXPANDED_PAIR &pair = X.line[k];
        if (pair.left == 0 && !(k == 0 && firstIsA1)) continue;
        if (pair.right == 0) {
            bool closes = false;
            for (int r = 0; r <= longest && !closes; ++r) closes = kExpandedLastFinder[r] == pair.finder;
            if (!closes) continue;
        }
        changed = VotePair(pair, cands) || changed;
    }
    if (!changed) return 0;
    u32 linked = 0;
    const u16 length = Complete(ctx, &linked);
    if (length == 0) return 0;
    aux->linked = linked;
    ctx->length = length;
    return length;
}

}  // namespace vexo
