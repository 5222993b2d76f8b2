// QR finder: the per-region store, the hit ring and the row search.
#include "qr/qr_finder.h"

#include <cstring>

#include "core/params.h"
#include "core/pixel.h"

namespace vexo {

QR_FINDER_STORE g_qrFinder;

namespace {

// Edge items of a line as far as the line's own counts allow.
i32 LineEdgeCount(const EDGE_LINE *line) {
    if (line == nullptr || line->edges == nullptr) return 0;
    i32 n = line->edgeCount;
    if (n > line->capacity) n = line->capacity;
    return n < 0 ? 0 : n;
}

bool ItemFalling(const EDGE_ITEM &item) { return (item.flags & kEdgeFalling) != 0; }
i32 ItemPosition(const EDGE_ITEM &item) { return static_cast<u16>(item.position); }
i32 ItemStep(const EDGE_ITEM &item) { return item.flags & 0xFF; }

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i32 MaxU8(i32 a, i32 b) { return a > b ? a : b; }
// Differences of edge positions are taken modulo 65536.
i32 Diff16(i32 a, i32 b) { return static_cast<u16>(a - b); }
i32 Signed16(i32 v) { return static_cast<i16>(v); }

// Edge i of a window falls when it has the polarity of the window's first edge.
bool EdgeFalls(int firstFalling, int i) { return ((i & 1) == 0) == (firstFalling != 0); }

void AdvanceRingIndex(u16 *index) {
    if (++*index < kQrHitRingSize) return;
    *index = 0;
    g_qrFinder.wrapClear ^= 1;
}

// First item at or after position lo; items ascend along the line.
i32 FirstItemFrom(const EDGE_ITEM *items, i32 count, i32 lo) {
    i32 a = 0, b = count;
    while (a < b) {
        const i32 mid = a + (b - a) / 2;
        if (ItemPosition(items[mid]) < lo) {
            a = mid + 1;
        } else {
            b = mid;
        }
    }
    return a;
}

// Sensor noise on ink or paper passes the framework's fixed thresholds (a step of 6) and
// splits a run of the pattern in two. Such an edge is small beside the symbol's own edges
// around it: one whose step is under a quarter of the largest step within 48 pixels is
// noise, wherever the image's contrast lies.
constexpr i32 kQrNoiseReach = 48 * 16;

bool IsNoiseEdge(const EDGE_ITEM *items, i32 count, i32 j) {
    const i32 step = ItemStep(items[j]);
    const i32 at = ItemPosition(items[j]);
    for (i32 k = j - 1; k >= 0 && Diff16(at, ItemPosition(items[k])) <= kQrNoiseReach; --k) {
        if (4 * step < ItemStep(items[k])) return true;
    }
    for (i32 k = j + 1; k < count && Diff16(ItemPosition(items[k]), at) <= kQrNoiseReach; ++k) {
        if (4 * step < ItemStep(items[k])) return true;
    }
    return false;
}

// Largest steps by buckets of 16 pixels along the line (bucket b at index b + 3, three
// empty ones on either side). The largest step within kQrNoiseReach of an edge in bucket b
// is at least the largest of buckets b - 2 .. b + 2 (wholly within reach) and at most the
// largest of b - 3 .. b + 3 (covering the reach): only an edge between the two bounds has
// its neighbours looked at one by one. A row costs one pass and a look at seven buckets an
// edge, however dense its edges.
constexpr i32 kQrBucketShift = 8;
constexpr i32 kQrBucketPad = 3;
constexpr i32 kQrBucketCount = (65536 >> kQrBucketShift) + 2 * kQrBucketPad;
static_assert(kQrNoiseReach == kQrBucketPad << kQrBucketShift);

struct StepBuckets {
    u8 peak[kQrBucketCount];
    i32 rowPeak;
};

void FillStepBuckets(const EDGE_ITEM *items, i32 count, StepBuckets *b) {
    // Items ascend along the line: only the buckets they span and their neighbours are read.
    const i32 lo = ItemPosition(items[0]) >> kQrBucketShift;
    const i32 hi = ItemPosition(items[count - 1]) >> kQrBucketShift;
    if (lo <= hi) {
        std::memset(b->peak + lo, 0, static_cast<size_t>(hi - lo + 2 * kQrBucketPad + 1));
    } else {
        std::memset(b->peak, 0, sizeof b->peak);
    }
    i32 row = 0;
    for (i32 j = 0; j < count; ++j) {
        const i32 step = ItemStep(items[j]);
        u8 &slot = b->peak[(ItemPosition(items[j]) >> kQrBucketShift) + kQrBucketPad];
        if (step > slot) slot = static_cast<u8>(step);
        if (step > row) row = step;
    }
    b->rowPeak = row;
}

bool IsNoiseEdgeBucketed(const EDGE_ITEM *items, i32 count, i32 j, const StepBuckets &b) {
    const i32 limit = 4 * ItemStep(items[j]);
    if (limit >= b.rowPeak) return false;
    const u8 *p = b.peak + (ItemPosition(items[j]) >> kQrBucketShift) + kQrBucketPad;
    const i32 inner = MaxU8(MaxU8(MaxU8(p[-2], p[-1]), MaxU8(p[0], p[1])), p[2]);
    if (limit < inner) return true;
    if (limit >= MaxU8(inner, MaxU8(p[-3], p[3]))) return false;
    return IsNoiseEdge(items, count, j);
}

// The previous line's item of the given polarity nearest to target with lo <= p < hi (ties:
// the first), among those whose step is at least a quarter of the largest there: noise
// beside the pattern's own edge is passed over. -1 when none.
i32 NearestItem(const EDGE_ITEM *items, i32 count, bool falling, i32 target, i32 lo, i32 hi) {
    const i32 first = FirstItemFrom(items, count, lo);
    i32 largest = 0;
    i32 best = -1;
    i32 bestDistance = 0;
    // The nearest of all is the answer when its own step passes; only otherwise are the
    // passing ones looked at again.
    for (i32 j = first; j < count; ++j) {
        const i32 p = ItemPosition(items[j]);
        if (p >= hi) break;
        if (ItemFalling(items[j]) != falling) continue;
        if (ItemStep(items[j]) > largest) largest = ItemStep(items[j]);
        const i32 d = Abs(p - target);
        if (best < 0 || d < bestDistance) {
            best = j;
            bestDistance = d;
        }
    }
    if (best < 0 || 4 * ItemStep(items[best]) >= largest) return best;
    best = -1;
    for (i32 j = first; j < count; ++j) {
        const i32 p = ItemPosition(items[j]);
        if (p >= hi) break;
        if (ItemFalling(items[j]) != falling || 4 * ItemStep(items[j]) < largest) continue;
        const i32 d = Abs(p - target);
        if (best < 0 || d < bestDistance) {
            best = j;
            bestDistance = d;
        }
    }
    return best;
}

void DropMatch(int i, i32 index[6], u16 matches[6], i32 distances[6]) {
    index[i] = -1;
    matches[i] = 0;
    distances[i] = 255;
}

// One previous-line item serves at most one edge: the nearer one keeps it (the later one on
// equal distances).
void ResolveSharedMatches(i32 index[6], u16 matches[6], i32 distances[6]) {
    for (int i = 0; i < 6; ++i) {
        for (int j = i + 2; j < 6; j += 2) {
            if (index[i] < 0 || index[i] != index[j]) continue;
            if (distances[i] < distances[j]) {
                DropMatch(j, index, matches, distances);
            } else {
                DropMatch(i, index, matches, distances);
            }
        }
    }
}

// Matches must increase along the window; of an out-of-order pair the farther one goes.
void EnforceIncreasing(i32 index[6], u16 matches[6], i32 distances[6]) {
    int prev = -1;
    for (int i = 0; i < 6; ++i) {
        if (index[i] < 0) continue;
        if (prev >= 0 && matches[i] < matches[prev]) {
            if (distances[prev] > distances[i]) {
                DropMatch(prev, index, matches, distances);
                prev = i;
            } else {
                DropMatch(i, index, matches, distances);
            }
            continue;
        }
        prev = i;
    }
}

// Unmatched edges look again around themselves, between their matched neighbours.
void RematchOrphans(const u16 e[6], int firstFalling, const EDGE_ITEM *items, i32 count, i32 index[6],
                    u16 matches[6], i32 distances[6]) {
    for (int i = 0; i < 6; ++i) {
        if (index[i] >= 0) continue;
        i32 lo = e[i] - 128;
        i32 hi = e[i] + 129;
        for (int l = i - 1; l >= 0; --l) {
            if (index[l] < 0) continue;
            if (matches[l] + 1 > lo) lo = matches[l] + 1;
            break;
        }
        for (int r = i + 1; r < 6; ++r) {
            if (index[r] < 0) continue;
            if (matches[r] < hi) hi = matches[r];
            break;
        }
        const i32 j = NearestItem(items, count, EdgeFalls(firstFalling, i), e[i], lo, hi);
        if (j < 0) continue;
        index[i] = j;
        matches[i] = static_cast<u16>(ItemPosition(items[j]));
        distances[i] = Abs(matches[i] - e[i]);
    }
}

// Extent of a group of deltas.
void DeltaRange(const i32 *d, int n, i32 *lo, i32 *hi) {
    *lo = d[0];
    *hi = d[0];
    for (int i = 1; i < n; ++i) {
        if (d[i] < *lo) *lo = d[i];
        if (d[i] > *hi) *hi = d[i];
    }
}

// The light (dark-on-light) or dark (light-on-dark) level of runs 1 and 3 of a window.
u8 WindowGrey(const EDGE_LINE *line, const u16 e[6], bool inverse) {
    const i32 s = line->base;
    const i32 n = line->sampleCount;
    if (n <= 0) return 0;
    i32 i1 = (e[1] + e[2] - 2 * s + 16) >> 5;
    i32 i3 = (e[3] + e[4] - 2 * s + 16) >> 5;
    i1 = i1 < 0 ? 0 : (i1 >= n ? n - 1 : i1);
    i3 = i3 < 0 ? 0 : (i3 >= n ? n - 1 : i3);
    const u8 a = line->samples[i1];
    const u8 b = line->samples[i3];
    if (inverse) return a < b ? a : b;
    return a > b ? a : b;
}

void QueueHit(const EDGE_LINE *line, const u16 e[6], bool inverse) {
    QR_FINDER_HIT &hit = g_qrFinder.ring[g_qrFinder.writeIndex];
    hit.x = static_cast<u16>((e[0] + e[1] + e[4] + e[5] + 2 * e[2] + 2 * e[3] + 4) >> 3);
    hit.y = static_cast<u16>(line->linePosition16);
    hit.readyRow = static_cast<u16>(hit.y + 2 * Diff16(e[5], e[0]));
    hit.inverse = inverse ? 1 : 0;
    hit.grey = WindowGrey(line, e, inverse);
    AdvanceRingIndex(&g_qrFinder.writeIndex);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Store and ring

void QR_FinderResetStore() {
    g_qrFinder.readIndex = 0;
    g_qrFinder.writeIndex = 0;
    g_qrFinder.wrapClear = 1;
    g_qrFinder.patternCount = 0;
    g_qrFinder.scanStart = 0;
    g_qrFinder.candidateCursor = 0;
    g_qrFinder.imageCentre = {g_image.width / 2, g_image.height / 2};
}

int QR_HitRingEmpty() {
    return g_qrFinder.readIndex == g_qrFinder.writeIndex && g_qrFinder.wrapClear != 0 ? 1 : 0;
}

int QR_HitRingFull() {
    return g_qrFinder.readIndex == g_qrFinder.writeIndex && g_qrFinder.wrapClear == 0 ? 1 : 0;
}

i32 QR_FinderProcessRow(const EDGE_LINE *previous, const EDGE_LINE *current) {
    if (current == nullptr || current->samples == nullptr) return g_qrFinder.patternCount;
    if (previous == nullptr || previous->samples == nullptr) return g_qrFinder.patternCount;
    if (QR_HitRingEmpty() == 0) QR_VerifyQueuedHits(current->linePosition);
    if (QR_HitRingFull() == 0) QR_SearchRow(previous, current);
    return g_qrFinder.patternCount;
}

void QR_VerifyQueuedHits(i32 row) {
    const i32 limit = static_cast<u16>(16 * row);
    while (QR_HitRingEmpty() == 0 && g_qrFinder.ring[g_qrFinder.readIndex].readyRow <= limit) {
        if (g_qrFinder.patternCount < kQrMaxPatterns) {
            QR_FINDER_PATTERN *slot = &g_qrFinder.patterns[g_qrFinder.patternCount];
            if (QR_VerifyHit(&g_qrFinder.ring[g_qrFinder.readIndex], slot) != 0) ++g_qrFinder.patternCount;
        }
        AdvanceRingIndex(&g_qrFinder.readIndex);
    }
}

// ---------------------------------------------------------------------------------------
// Row search

i32 QR_CollectAlternatingEdges(const EDGE_ITEM *items, i32 count, u16 *positions, i32 *firstRising) {
    if (items == nullptr || positions == nullptr || count <= 0) return 0;
    i32 n = 0;
    bool lastFalling = false;
    i32 lastStep = 0;
    StepBuckets buckets;
    FillStepBuckets(items, count, &buckets);
    for (i32 j = 0; j < count; ++j) {
        const bool falling = ItemFalling(items[j]);
        const i32 step = ItemStep(items[j]);
        if (IsNoiseEdgeBucketed(items, count, j, buckets)) continue;
        if (n > 0 && falling == lastFalling) {
            if (step > lastStep) {
                positions[n - 1] = static_cast<u16>(ItemPosition(items[j]));
                lastStep = step;
            }
            continue;
        }
        if (n >= kQrMaxRowEdges) break;
        if (n == 0 && firstRising != nullptr) *firstRising = falling ? 0 : 1;
        positions[n++] = static_cast<u16>(ItemPosition(items[j]));
        lastFalling = falling;
        lastStep = step;
    }
    return n;
}

int QR_RatioTest(const u16 e[6]) {
    const i32 c = Diff16(e[5], e[0]);
    const i32 h = Diff16(e[2], e[0]);
    const i32 g = Diff16(e[5], e[3]);
    const i32 m = Diff16(e[4], e[2]);
    const i32 k = Diff16(e[3], e[1]);
    const i32 centre = Diff16(e[3], e[2]);
    if (c > kQrMaxPatternWidth) return 0;
    if (4 * h < c || 4 * g < c || 5 * centre < c) return 0;
    if (25 * Abs(g - h) > 4 * c) return 0;
    if (25 * Abs(Signed16(e[1] + e[4] - e[2] - e[3])) > 2 * c) return 0;
    if (2 * k > 5 * h || 2 * m > 5 * h || 2 * m > 5 * g || 2 * k > 5 * g) return 0;
    if (c <= 800) {
        if (4 * h > 5 * m || 4 * g > 5 * k || 4 * h > 5 * k || 4 * g > 5 * m) return 0;
    } else {
        if (2 * m < 3 * h || 2 * k < 3 * h || 2 * m < 3 * g || 2 * k < 3 * g) return 0;
    }
    const i32 d = Abs(Signed16(e[1] + e[4] - e[0] - e[5])) + Abs(Signed16(e[2] + e[3] - e[0] - e[5])) +
                  Abs(Signed16(e[1] + e[4] - e[2] - e[3])) + Abs(Signed16(e[0] + e[5] - e[1] - e[4])) +
                  Abs(Signed16(g - h)) + Abs(Signed16(m - 2 * g)) + Abs(Signed16(k - 2 * h));
    return d <= c && d <= 400 ? 1 : 0;
}

void QR_MatchPreviousRow(const u16 e[6], int firstFalling, const EDGE_ITEM *items, i32 count, u16 matches[6],
                         i32 distances[6]) {
    i32 index[6];
    const i32 centre = (e[0] + e[5] + 1) >> 1;
    for (int i = 0; i < 6; ++i) {
        const i32 expected = (centre + 3 * e[i] + 2) >> 2;
        index[i] = items == nullptr ? -1
                                    : NearestItem(items, count, EdgeFalls(firstFalling, i), expected,
                                                  expected - 128, expected + 128);
        if (index[i] < 0) {
            matches[i] = 0;
            distances[i] = 255;
        } else {
            matches[i] = static_cast<u16>(ItemPosition(items[index[i]]));
            distances[i] = Abs(matches[i] - e[i]);
        }
    }
    if (items == nullptr) return;
    ResolveSharedMatches(index, matches, distances);
    EnforceIncreasing(index, matches, distances);
    RematchOrphans(e, firstFalling, items, count, index, matches, distances);
}

int QR_CheckRowPair(const u16 e[6], const u16 matches[6]) {
    const i32 c = Diff16(e[5], e[0]);
    if (c <= 300) return 1;
    if (matches[0] == 0 || matches[1] == 0 || matches[4] == 0 || matches[5] == 0) return 0;
    if (c > 500) {
        if (matches[2] == 0 || matches[3] == 0) return 0;
        if (QR_RatioTest(matches) != 0) return 1;
        if (c > 1300) return 0;
    }
    i32 delta[6];
    for (int i = 0; i < 6; ++i) delta[i] = matches[i] == 0 ? 255 : matches[i] - e[i];
    const int side = c <= 500 ? 2 : 3;
    i32 leftLo, leftHi, rightLo, rightHi;
    DeltaRange(delta, side, &leftLo, &leftHi);
    DeltaRange(delta + 6 - side, side, &rightLo, &rightHi);
    return (rightHi - rightLo) + (leftHi - leftLo) <= 80 && rightLo - leftHi < 26 ? 1 : 0;
}

void QR_SearchRow(const EDGE_LINE *previous, const EDGE_LINE *current) {
    const u32 word = g_params.flagsWord[kSymQr];
    const bool darkOnLight = (word & kFlag2DDarkOnLight) != 0;
    const bool lightOnDark = (word & kFlag2DLightOnDark) != 0;
    if (!darkOnLight && !lightOnDark) return;
    if (current == nullptr || current->samples == nullptr) return;
    u16 positions[kQrMaxRowEdges];
    i32 firstRising = 0;
    const i32 n = QR_CollectAlternatingEdges(current->edges, LineEdgeCount(current), positions, &firstRising);
    if (n < 6) return;
    const EDGE_ITEM *prevItems = previous != nullptr ? previous->edges : nullptr;
    const i32 prevCount = LineEdgeCount(previous);
    for (i32 i = 0; i + 6 <= n; ++i) {
        const int falling = EdgeFalls(firstRising == 0 ? 1 : 0, static_cast<int>(i)) ? 1 : 0;
        if (falling != 0 ? !darkOnLight : !lightOnDark) continue;
        const u16 *e = positions + i;
        if (QR_RatioTest(e) == 0) continue;
        u16 matches[6];
        i32 distances[6];
        QR_MatchPreviousRow(e, falling, prevItems, prevCount, matches, distances);
        if (QR_CheckRowPair(e, matches) == 0) continue;
        QueueHit(current, e, falling == 0);
        if (QR_HitRingFull() != 0) return;
    }
}

}  // namespace vexo
